// A check independent of the literal transcription: the bare sum times the
// grid's cell area incr_desired^2 is a Riemann sum of the continuum
// transform of f,
//
//     T(d) = 2^(1/4) / (2 pi Gamma(3/4)) * d^(-1/4) * K_{1/4}(d),
//
// so over the middle of a wide call the two agree, and a wrong constant
// (4 pi^2, 2 pi, sqrt 2, the exponent) that a transcription would copy
// shows. They part near the ends of a call: the grid stops at 1.5 Nyquist
// of the smallest distance (cutting off f's |x|^(-3/2) tail) and its period
// 1/incr_desired is about 3 times the largest scaled distance (aliasing).
#include "hankel_transf.h"
#include "hankel_transf_fast.h"
#include "test_util.h"

#include <gsl/gsl_sf_bessel.h>
#include <gsl/gsl_sf_gamma.h>

#include <cmath>
#include <cstdio>
#include <vector>

namespace {

using testutil::hex;

double continuum(double d)
{
    const double c = std::pow(2.0, 0.25) / (2 * M_PI * gsl_sf_gamma(0.75));
    return c * std::pow(d, -0.25) * gsl_sf_bessel_Knu(0.25, d);
}

double spacing(std::vector<double> td)
{
    int status = -1, bad = -1, N = 0, n = static_cast<int>(td.size());
    double h = 0, max_x = 0;
    DFTYieldExponGrid(&status, &bad, &N, &h, &max_x, td.data(), &n);
    EXPECT_EQ(status, HANKEL_TRANSF_GRID_OK);
    return h;
}

struct agreement {
    double max_rel = 0, mean_rel = 0;
};

// The call: its two ends plus k log-spaced distances in [0.2, 2]; the
// relative differences of sum * h^2 from T over those k.
agreement compare(void (*fn)(double *, double *, int *), double lo, double hi, int k,
                  const char *label)
{
    std::vector<double> td{lo, hi};
    for (int i = 0; i < k; ++i)
        td.push_back(0.2 * std::pow(10.0, i / (k - 1.0)));
    const double h = spacing(td);
    const std::vector<double> ht = testutil::call(fn, td);
    agreement a;
    for (std::size_t i = 2; i < td.size(); ++i) {
        const double want = continuum(td[i]);
        const double rel = std::fabs(ht[i] * h * h / want - 1.0);
        a.max_rel = std::fmax(a.max_rel, rel);
        a.mean_rel += rel / k;
        EXPECT_TRUE(std::isfinite(rel)) << label << " d = " << hex(td[i]);
    }
    std::printf("[ continuum] %s, call %g..%g, d in [0.2, 2]: max |sum h^2 / T - 1| = %.3g, "
                "mean %.3g\n", label, lo, hi, a.max_rel, a.mean_rel);
    return a;
}

} // namespace

// The plot's wide call, N = 1082: the sum exceeds T by 0.09 % on average
// (aliased images add), measured max 0.34 %, mean 0.085 %, both sums alike.
// Held to 0.5 % and 0.15 %: 4 pi^2 off by 0.8 % in both the library and a
// transcription breaks it (by 0.3 % does not).
TEST(Continuum, WideCallMatchesTheBesselTransformInTheMiddle)
{
    for (auto [fn, label] : {std::pair{&DFTYieldExpon, "direct"}, std::pair{&DFTYieldExponFast, "fast"}}) {
        const agreement a = compare(fn, 0.05, 12.0, 41, label);
        EXPECT_LE(a.max_rel, 5e-3) << label;
        EXPECT_LE(a.mean_rel, 1.5e-3) << label;
    }
}

// Five times wider on each side (N = 27002, fast method only): measured max
// 2.7e-4, mean 1e-4. Held to 4e-4 and 1.5e-4: 4 pi^2 off by 0.3 % breaks
// it (by 0.05 % does not).
TEST(Continuum, WiderCallAgreesTenTimesCloser)
{
    const agreement a = compare(&DFTYieldExponFast, 0.01, 60.0, 41, "fast");
    EXPECT_LE(a.max_rel, 4e-4);
    EXPECT_LE(a.mean_rel, 1.5e-4);
}
