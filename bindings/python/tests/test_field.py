"""lattice_kernel() and exponential_field(): the lattice kernel against the
continuum it stands for, seeded fields against the covariance exp(-d)."""
import math
import os
import subprocess
import sys

import numpy as np
import pytest

import hankel_transf as ht

TWO_PI = 2.0 * math.pi


def self_convolution(K, spacing, reach):
    """spacing**2 * sum_j K[j] K[j + m] at the lags m along an axis and the
    diagonal with |m| * spacing <= reach: (distances, values)."""
    n = K.shape[0]
    size = 2 * n
    spectrum = np.fft.rfft2(K, s=(size, size))
    conv = np.fft.irfft2(spectrum * spectrum, s=(size, size)) * spacing**2
    c = n - 1                                  # K's centre convolved with itself
    lags = np.arange(int(reach / spacing + 1e-9) + 1)
    diag = lags[lags * math.sqrt(2) <= reach / spacing + 1e-9]
    d = np.concatenate([lags, diag * math.sqrt(2)]) * spacing
    return d, np.concatenate([conv[c, c + lags], conv[c + diag, c + diag]])


@pytest.mark.parametrize("spacing, shape_tol", [(0.05, 1e-3), (0.1, 3e-3)])
def test_lattice_self_convolution_is_exp_over_two_pi(spacing, shape_tol):
    # Measured over d in [0.25, 3], axis and diagonal: the factor is 1.00145
    # and varies by 3.9e-4 at spacing 0.05; 1.0032 and 2.3e-3 at 0.1. Along
    # the axis at 0.05, the centre cell without its integral (value 0) makes
    # it vary by 2.8e-2, the leading term of its series alone by 3.9e-3.
    K = ht.lattice_kernel(6, spacing)
    M = round(6 / spacing)
    assert K.shape == (2 * M + 1, 2 * M + 1)
    assert (K == K[::-1]).all() and (K == K.T).all()
    d, conv = self_convolution(K, spacing, 3.0)
    factor = (TWO_PI * conv / np.exp(-d))[d >= 0.25 - 1e-9]
    spread = (factor.max() - factor.min()) / factor.mean()
    assert spread <= shape_tol, "factor from %.6f to %.6f" % (factor.min(), factor.max())
    assert abs(factor.mean() - 1) <= 0.01, "constant %.6f * exp(-d) / (2 pi)" % factor.mean()


def continuum_kernel(d):
    special = pytest.importorskip("scipy.special")
    return 2**0.25 / (TWO_PI * math.gamma(0.75)) * d**-0.25 * special.kv(0.25, d)


@pytest.mark.parametrize("half_width", [2, 8])
def test_kernel_away_from_the_centre_is_the_continuum_kernel(half_width):
    # Measured over d in [0.5, 2]: within 1.7e-3 of k for either half-width
    # (the band limit of the library's grid); with the grid fitted to the
    # lattice's own corner, half-width 2 gives 7e-2.
    spacing = 0.05
    K = ht.lattice_kernel(half_width, spacing)
    m = (K.shape[0] - 1) // 2
    i = np.arange(-m, m + 1)
    d = np.hypot(i[:, None], i[None, :]) * spacing
    middle = (d >= 0.5) & (d <= 2)
    np.testing.assert_allclose(K[middle], continuum_kernel(d[middle]), rtol=2.5e-3, atol=0)


def quadrature_disc_mass(a):
    """2 pi int_0^a k(r) r dr by adaptive quadrature of the closed form k (scipy);
    within 1.2e-14 of the values below."""
    special = pytest.importorskip("scipy.special")
    integrate = pytest.importorskip("scipy.integrate")
    c = 2**0.25 / (TWO_PI * math.gamma(0.75))
    # r = u**2 turns k(r) r dr, singular like r**-0.5 dr, into the smooth
    # k(u*u) * u*u * 2u du = c u**-0.5 K_{1/4}(u*u) * 2 u**3 du
    value, _ = integrate.quad(lambda u: TWO_PI * c * special.kv(0.25, u * u) * 2 * u**2.5,
                              0, math.sqrt(a), epsabs=0, epsrel=1.2e-14, limit=200)
    return value


# The centre cell's value, (1 - 2**0.25 / Gamma(3/4) a**0.75 K_{3/4}(a)) /
# spacing**2 with a = spacing / sqrt(pi), in 40-digit arithmetic (mpmath),
# rounded to 20 digits.
CENTRE_CELL = {
    1e-4: 58.787288479928005331,
    0.05: 2.3252480023300848509,
    0.5: 0.52456588031042973649,
    1.7724: 0.15899034128349542378,
    1.7725: 0.15897990869423644708,
    4.0: 0.052163062984873102466,
    25.0: 0.0015999971454657355627,
}


@pytest.mark.parametrize("spacing", sorted(CENTRE_CELL))
def test_centre_cell_is_the_disc_average_of_the_continuum_kernel(spacing):
    # spacing sqrt(pi) = 1.77245 (radius 1) is where the power series hands
    # over to the integral; 25 has radius 14. Measured: at most 9.1e-16 off
    # the 40-digit values.
    K = ht.lattice_kernel(spacing / 4, spacing)           # a single cell
    assert K.shape == (1, 1)
    assert K[0, 0] == pytest.approx(CENTRE_CELL[spacing], rel=2e-15, abs=0), K[0, 0].hex()
    # the mass formula itself, against the kernel integrated
    quad = quadrature_disc_mass(spacing / math.sqrt(math.pi)) / spacing**2
    assert K[0, 0] == pytest.approx(quad, rel=3e-14, abs=0)


def test_half_width_is_rounded_to_whole_cells():
    # 0.7 / 0.1 is 6.999999999999999 in binary: 7 cells each way, not 6
    assert ht.lattice_kernel(0.7, 0.1).shape == (15, 15)
    assert ht.lattice_kernel(0.74, 0.1).shape == (15, 15)
    assert ht.lattice_kernel(0.76, 0.1).shape == (17, 17)


def test_method_reaches_the_library_call():
    exact, fast = ht.lattice_kernel(2, 0.25, "exact"), ht.lattice_kernel(2, 0.25)
    assert (exact != fast).any()             # the two sums differ in the last bits
    np.testing.assert_allclose(exact, fast, rtol=1e-12, atol=0)
    a = ht.exponential_field((20, 30), 0.25, rng=7, method="exact", half_width=2)
    b = ht.exponential_field((20, 30), 0.25, rng=7, method="fast", half_width=2)
    assert (a != b).any()
    np.testing.assert_allclose(a, b, rtol=0, atol=1e-12)


def test_rng_seed_generator_and_none():
    a = ht.exponential_field((40, 50), 0.2, rng=3)
    assert a.shape == (40, 50) and a.dtype == np.float64
    assert a.tobytes() == ht.exponential_field((40, 50), 0.2, rng=np.uint8(3)).tobytes()
    g = np.random.default_rng(3)
    assert ht.exponential_field([40, 50], 0.2, rng=g).tobytes() == a.tobytes()
    # the generator was advanced: the next field is another one
    assert (ht.exponential_field((40, 50), 0.2, rng=g) != a).all()
    assert (ht.exponential_field((40, 50), 0.2) != ht.exponential_field((40, 50), 0.2)).all()


# --- seeded fields -----------------------------------------------------------
#
# For a zero-mean Gaussian field, the mean over a rectangle of positions p of
# products (F1 Z)_p (G1 Z)_p, with F1, G1 linear filters, and another such
# mean have covariance (1/|R|^2) sum_delta count(delta) [C(F1,F2)(delta)
# C(G1,G2)(delta) + C(F1,G2)(delta) C(G1,F2)(delta)], where C(F,G)(delta) =
# Cov((F Z)_p, (G Z)_{p+delta}) and count(delta) is the number of pairs in
# the rectangle that far apart. With the covariance exp(-d) this gives the
# standard deviation of each estimate below exactly, up to the lattice
# covariance's own deviation from exp(-d) (allowed for separately as BIAS).

def _filter_cov(f, g, rows, cols, spacing):
    d0 = np.arange(-(rows - 1), rows)[:, None]
    d1 = np.arange(-(cols - 1), cols)[None, :]
    return sum(cf * cg * np.exp(-spacing * np.hypot(d0 + t[0] - s[0], d1 + t[1] - s[1]))
               for s, cf in f.items() for t, cg in g.items())


def mean_product_cov(rows, cols, spacing, first, second):
    (f1, g1), (f2, g2) = first, second
    d0 = np.arange(-(rows - 1), rows)[:, None]
    d1 = np.arange(-(cols - 1), cols)[None, :]
    count = (rows - abs(d0)) * (cols - abs(d1))

    def c(f, g):
        return _filter_cov(f, g, rows, cols, spacing)
    total = count * (c(f1, f2) * c(g1, g2) + c(f1, g2) * c(g1, f2))
    return float(total.sum()) / float(rows * cols) ** 2


POINT = {(0, 0): 1.0}
# 4.5 standard deviations: p = 7e-6 per check, about 1e-4 for the whole test
Z_SCORE = 4.5


@pytest.mark.parametrize("spacing, shape, fields, bias", [
    # bias: the lattice covariance's largest measured deviation from exp(-d)
    # at lags of one cell and more (2.1e-3 at spacing 0.1, 9.3e-3 at 0.5)
    (0.1, (256, 256), 12, 2.5e-3),
    (0.5, (96, 96), 12, 1e-2),
])
def test_seeded_fields_have_covariance_exp_minus_d(spacing, shape, fields, bias):
    rng = np.random.default_rng(20240605)
    zs = np.array([ht.exponential_field(shape, spacing, rng=rng) for _ in range(fields)])
    n0, n1 = shape
    failures = []

    def check(name, estimate, expected, variance_one_field):
        tol = Z_SCORE * math.sqrt(variance_one_field / fields) + bias
        if not abs(estimate - expected) <= tol:
            failures.append("%s: %.5f, expected %.5f +- %.5f" % (name, estimate, expected, tol))

    # unit variance (the nugget term puts back what the lattice sum misses)
    check("variance", np.mean(zs * zs), 1.0,
          mean_product_cov(n0, n1, spacing, (POINT, POINT), (POINT, POINT)))
    # the average variogram over both axes, 1 - exp(-d)
    for cells in sorted({1, 2, round(0.5 / spacing), round(1 / spacing), round(2 / spacing),
                         round(3 / spacing)}):
        a, b = zs[:, :n0 - cells, :n1 - cells], zs[:, :n0 - cells, cells:]
        c = zs[:, cells:, :n1 - cells]
        gamma = 0.25 * (np.mean((a - b) ** 2) + np.mean((a - c) ** 2))
        x = {(0, 0): 1.0, (0, cells): -1.0}
        y = {(0, 0): 1.0, (cells, 0): -1.0}
        r0, r1 = n0 - cells, n1 - cells
        var = (mean_product_cov(r0, r1, spacing, (x, x), (x, x))
               + mean_product_cov(r0, r1, spacing, (y, y), (y, y))
               + 2 * mean_product_cov(r0, r1, spacing, (x, x), (y, y))) / 16
        d = cells * spacing
        check("variogram at d = %g" % d, gamma, 1 - math.exp(-d), var)
    # opposite edges, (n1 - 1) * spacing apart: uncorrelated unless the noise
    # wrapped around (then they are neighbours, correlation exp(-spacing))
    far = {(0, n1 - 1): 1.0}
    check("first and last column", np.mean(zs[:, :, 0] * zs[:, :, -1]),
          math.exp(-(n1 - 1) * spacing),
          mean_product_cov(n0, 1, spacing, (POINT, far), (POINT, far)))
    assert not failures, "; ".join(failures)


# --- refused input -----------------------------------------------------------

@pytest.mark.parametrize("shape, kind, message", [
    ((), ValueError, r"two"),
    ((5,), ValueError, r"two sizes .* not 1"),
    ((2, 3, 4), ValueError, r"two sizes .* not 3"),
    (5, ValueError, r"two lattice sizes"),
    ([[2, 3]], ValueError, r"two lattice sizes"),
    ((0, 5), ValueError, r"\(0, 5\) is empty"),
    ((5, -1), ValueError, r"\(5, -1\) is empty"),
    ((2.5, 3), TypeError, r"integers, not float"),
    ((True, 3), TypeError, r"integers, not bool"),
    ("ab", TypeError, r"shape must be two integers, not str"),
    (None, ValueError, r"two lattice sizes"),
])
def test_refused_shapes(shape, kind, message):
    with pytest.raises(kind, match=message):
        ht.exponential_field(shape, 0.1, rng=0)


@pytest.mark.parametrize("value, kind, message", [
    (0, ValueError, r"positive and finite, not 0\.0"),
    (-0.05, ValueError, r"not -0\.05"),
    (math.nan, ValueError, r"not nan"),
    (math.inf, ValueError, r"not inf"),
    ("0.1", TypeError, r"real number, not str"),
    (None, TypeError, r"real number, not NoneType"),
    (True, TypeError, r"real number, not bool"),
    (1j, TypeError, r"real number, not complex"),
])
def test_refused_spacing_and_half_width(value, kind, message):
    for call in (lambda: ht.exponential_field((4, 4), value),
                 lambda: ht.lattice_kernel(1.0, value)):
        with pytest.raises(kind, match="spacing .*" + message):
            call()
    for call in (lambda: ht.exponential_field((4, 4), 0.5, half_width=value),
                 lambda: ht.lattice_kernel(value, 0.5)):
        with pytest.raises(kind, match="half_width .*" + message):
            call()


def test_refused_rng_and_method():
    for bad in (1.5, "1", np.random.RandomState(0), True):
        with pytest.raises(TypeError, match="rng must be"):
            ht.exponential_field((4, 4), 0.5, rng=bad)
    with pytest.raises(ValueError, match="non-negative integer, not -1"):
        ht.exponential_field((4, 4), 0.5, rng=-1)
    with pytest.raises(ValueError, match="'slow'"):
        ht.exponential_field((4, 4), 0.5, method="slow")
    with pytest.raises(ValueError, match="'slow'"):
        ht.lattice_kernel(1, 0.5, method="slow")


@pytest.mark.parametrize("call, message", [
    (lambda: ht.exponential_field((10**6, 10**6), 0.05), r"1000000 x 1000000 field .* TB"),
    (lambda: ht.exponential_field((2**62, 2**62), 1.0), r"field .* more than this machine"),
    (lambda: ht.exponential_field((10, 10), 1e-300), r"half_width / spacing = 8e\+300"),
    (lambda: ht.exponential_field((10, 10), 5e-324), r"half_width / spacing = inf"),
    (lambda: ht.lattice_kernel(8, 1e-6), r"16000001 x 16000001 cells .* more than"),
])
def test_unallocatable_lattice_is_refused_before_allocating(call, message):
    with pytest.raises(ValueError, match=message):
        call()


def test_failed_allocation_is_a_value_error():
    """Under a 1.5 GB address-space limit an 8000 x 8000 field (3.1 GB of work
    space) cannot be had: numpy's MemoryError must come out as the promised
    ValueError, and the next call work."""
    if "asan" in os.environ.get("LD_PRELOAD", ""):
        pytest.skip("AddressSanitizer reserves more address space than the limit")
    if ht._field._memory_limit() < 4e9:
        pytest.skip("the field is refused before allocating on a machine this small")
    code = "\n".join([
        "import resource, hankel_transf as ht",
        "ht.exponential_field((8, 8), 1.0)",        # libraries loaded before the limit
        "resource.setrlimit(resource.RLIMIT_AS, (1500 * 2**20, 1500 * 2**20))",
        "try:",
        "    ht.exponential_field((8000, 8000), 1.0, rng=0)",
        "except ValueError as e:",
        "    print('ValueError', e)",
        "print(ht.exponential_field((8, 8), 1.0, rng=0).shape)",
    ])
    r = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=120)
    assert r.returncode == 0, r.stderr
    lines = r.stdout.splitlines()
    assert lines[0].startswith("ValueError a 8000 x 8000 field"), r.stdout
    assert lines[0].endswith("needs about 3.12 GB of work space, which could not be allocated")
    assert lines[1] == "(8, 8)"


def test_docstring_examples():
    import doctest
    assert doctest.testmod(ht._field, extraglobs={"hankel_transf": ht}).failed == 0
