import ctypes
import math

import numpy as np
import pytest

import hankel_transf as ht

# Worked values, ten significant digits: tolerance half a unit of the tenth.
W1, W12, W21 = 0.8376631361, [1.896646434, 0.3717551400], [0.3717551400, 1.896646434]
close = dict(rtol=5e-10, atol=0)


@pytest.mark.parametrize("method", ht.METHODS)
def test_worked_values_and_input_order(method):
    np.testing.assert_allclose(ht.transform([1.0], method=method), [W1], **close)
    np.testing.assert_allclose(ht.transform([1, 2], method=method), W12, **close)
    np.testing.assert_allclose(ht.transform((2, 1), method=method), W21, **close)
    for ints in (np.array([1, 2], np.int32), np.array([1, 2], np.uint8)):
        assert ht.transform(ints, method=method).tolist() == ht.transform([1.0, 2.0], method=method).tolist()


def test_each_method_calls_its_own_c_function(raw):
    d = [0.3, 7.9, 1.0, 2.5]
    exact, fast = ht.transform(d), ht.transform(d, method="fast")
    # the two sums differ in the last bits here, so a swapped binding cannot pass
    assert (exact != fast).all()
    assert exact.tobytes() == raw.exact(d).tobytes()
    assert fast.tobytes() == raw.fast(d).tobytes()
    x = np.array([0.0, 3.0, 0.1])
    assert ht.eval_f(x, 4.0).tolist() == [raw.exact_lib.eval_f(v, 4.0) for v in x]


def test_grid():
    assert ht.grid([1, 2]) == (12, 0.19284730395996752, (1 / (2 / math.sqrt(2))) * 1.5)
    assert ht.grid(np.array([[6.0], [3.0]])).N == 11
    assert ht.grid([2, 1, 1.5]) == ht.grid([1, 2])


@pytest.mark.parametrize("method", ht.METHODS)
def test_scaled_is_sum_times_cell_area(method):
    h = ht.grid([1, 2]).spacing
    assert ht.transform([1, 2], method, scaled=True).tolist() == \
        (ht.transform([1, 2], method) * h**2).tolist()


def test_shapes():
    flat = ht.transform([1, 2, 3, 4])
    two_d = ht.transform(np.array([[1, 3], [2, 4]]).T)      # not C-contiguous
    assert two_d.shape == (2, 2) and two_d.ravel().tolist() == flat.tolist()
    scalar = ht.transform(1)
    assert isinstance(scalar, np.float64) and np.shape(scalar) == ()
    assert math.isclose(scalar, W1, rel_tol=5e-10)
    for empty in ([], np.zeros((0, 3))):
        r = ht.transform(empty)
        assert r.dtype == np.float64 and r.shape == np.shape(empty)
    assert ht.eval_f([[0.0], [3.0]], [0.0, 4.0]).shape == (2, 2)


def test_out_and_in_place():
    want = ht.transform([1.0, 2.0, 0.5])
    d = np.array([1.0, 2.0, 0.5])
    assert ht.transform(d, out=d) is d and d.tolist() == want.tolist()
    wide = np.zeros(6)
    assert ht.transform([1, 2, 0.5], out=wide[::2]).base is wide
    assert wide.tolist() == [want[0], 0, want[1], 0, want[2], 0]


@pytest.mark.parametrize("bad", [None, "12", b"12", 1 + 2j, [1j], True, [True, False], [1, None],
                                 np.array(["1"]), np.ma.array([1.0, 2.0], mask=[0, 1])])
def test_wrong_kind_of_input_is_a_type_error(bad):
    for call in (ht.transform, ht.grid, lambda x: ht.eval_f(x, 0.0)):
        with pytest.raises(TypeError):
            call(bad)


@pytest.mark.parametrize("d, message", [
    ([1.0, -1.0], r"d\[1\] = -1\.0 is negative"),
    ([2, 0], r"d\[1\] = 0 is zero"),
    ([[1.0, 2.0, 3.0], [math.nan, 4.0, 5.0]], r"d\[1, 0\] = nan is NaN"),
    (-math.inf, r"d = -inf is infinite"),
    ([5e-324, 1.0], r"smallest distance, d\[0\] = 5e-324, is too small"),
    ([1.0, 1.7e308], r"largest distance, d\[1\] = 1\.7e\+308, is too large"),
    ([1e9, 1.0], r"largest distance, d\[0\] = 1000000000\.0, .*smallest, d\[1\] = 1\.0"),
])
def test_refused_distances_are_named(d, message):
    for call in (ht.transform, ht.grid, lambda x: ht.transform(x, method="fast")):
        with pytest.raises(ValueError, match=message):
            call(d)


def test_refused_arguments():
    with pytest.raises(ValueError, match="'slow'"):
        ht.transform([1.0], method="slow")
    with pytest.raises(TypeError, match="scaled"):
        ht.transform([1.0], scaled="yes")
    with pytest.raises(ValueError, match="no distances"):
        ht.grid([])
    with pytest.raises(ValueError, match="2147483647"):   # checked before any copy
        ht.transform(np.broadcast_to(1.0, (2**40,)))
    for out, kind in (([0.0, 0.0], TypeError), (np.zeros(2, np.float32), TypeError),
                      (np.zeros(3), ValueError), (np.zeros(2)[None, :], ValueError),
                      (np.ma.zeros(2), TypeError), (np.zeros(2).view(), None)):
        if kind is None:
            out.flags.writeable, kind = False, ValueError
        with pytest.raises(kind, match="out"):
            ht.transform([1.0, 2.0], out=out)


def test_unallocatable_table_is_a_memory_error_and_leaves_out_alone(raw):
    # bound to the fast sum by mistake, the call below would run for hours
    assert ht.transform([0.3, 7.9]).tobytes() == raw.exact([0.3, 7.9]).tobytes()
    with open("/proc/sys/vm/overcommit_memory") as f:
        if f.read().strip() == "1":
            pytest.skip("the kernel overcommits every allocation: a 1.6 TB table would be granted")
    d = np.array([1.0, 1e5])     # N = 450003: a 1.6 TB table, 7 MB for the fast method
    with pytest.raises(MemoryError, match='method="fast"'):
        ht.transform(d, out=d)
    assert d.tolist() == [1.0, 1e5]


def test_callers_gsl_error_handler_is_put_back(raw):
    set_handler = raw.exact_lib.gsl_set_error_handler
    set_handler.restype, set_handler.argtypes = ctypes.c_void_p, [ctypes.c_void_p]
    mine = ctypes.CFUNCTYPE(None, ctypes.c_char_p, ctypes.c_char_p, ctypes.c_int, ctypes.c_int)(
        lambda *args: None)
    before = set_handler(ctypes.cast(mine, ctypes.c_void_p))
    try:
        ht.transform([1.0, 2.0])
    finally:
        assert set_handler(before) == ctypes.cast(mine, ctypes.c_void_p).value


def test_docstring_examples():
    import doctest
    for module in (ht, ht._core):
        assert doctest.testmod(module, extraglobs={"hankel_transf": ht}).failed == 0
