#include "antidiagonal_check.h"

#include "constants.h"
#include "fast_loops.h"
#include "phase.h"
#include "quad_reference.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace ht_test {
namespace {

using ht::fast::dd;

std::size_t first_j(std::size_t N, std::size_t m)
{
    return m >= N ? m - (N - 1) : 0;
}

} // namespace

double kernel(double xj, double xk)
{
    return std::pow((xj * xj + xk * xk) * ht::four_pi_sq + 1.0, -0.75);
}

std::vector<double> antidiagonal_moments(const ht::fast::work &w, std::size_t N, std::size_t m,
                                         int P)
{
    std::vector<accumulator> acc(static_cast<std::size_t>(P + 1));
    for (std::size_t j = first_j(N, m); j + j <= m; ++j) {   // each unordered pair once
        const std::size_t k = m - j;
        double v = (j == k ? 1.0 : 2.0) * kernel(w.x[j], w.x[k]);
        const double de = w.e[j] + w.e[k];
        for (accumulator &a : acc) {
            a.add(v);
            v *= de;
        }
    }
    std::vector<double> out;
    for (const accumulator &a : acc)
        out.push_back(a.value());
    return out;
}

double antidiagonal_reference(const ht::fast::work &w, std::size_t N, std::size_t m, double s)
{
    accumulator acc;
    for (std::size_t j = first_j(N, m); j + j <= m; ++j) {
        const std::size_t k = m - j;
        acc.add((j == k ? 1.0 : 2.0) * kernel(w.x[j], w.x[k]) * cos_cycles(s, w.x[j], w.x[k]));
    }
    return acc.value();
}

double expansion(const ht::fast::work &w, const std::vector<double> &mom_m, int P, std::size_t m,
                 double s)
{
    const dd a0 = ht::fast::two_prod(s, w.ln.x0.hi + w.ln.x0.hi);
    const dd a = ht::fast::two_sum(a0.hi, a0.lo + s * (w.ln.x0.lo + w.ln.x0.lo));
    const dd q0 = ht::fast::two_prod(s, w.ln.h.hi);
    const dd q = ht::fast::two_sum(q0.hi, q0.lo + s * w.ln.h.lo);
    double c, sn;
    ht::fast::cis(ht::fast::reduce_phase(a, static_cast<double>(m), q), &c, &sn);
    const double ps = ht::two_pi * (s / w.sigma);
    double re = mom_m[0], im = 0.0, power = 1.0;
    for (int p = 1; p <= P; ++p) {
        power = power * ps / p;   // i^p: +1, +i, -1, -i, ...
        const double v = ((p / 2) % 2 == 0 ? power : -power) * mom_m[static_cast<std::size_t>(p)];
        (p % 2 != 0 ? im : re) += v;
    }
    return c * re - sn * im;
}

std::vector<std::size_t> sample_antidiagonals(std::size_t M, int count, std::uint64_t seed)
{
    std::mt19937_64 rng(seed);
    std::uniform_int_distribution<std::size_t> pick(0, M - 1);
    std::vector<std::size_t> m{(M - 1) / 2};
    while (static_cast<int>(m.size()) < count)
        m.push_back(pick(rng));
    return m;
}

sampled_errors check_sampled(const ht::fast::layout &L, ht::fast::work &w, int count,
                             std::uint64_t seed, double s)
{
    const int P = L.P;
    double S = 0, max_eps = 0;
    for (std::size_t m = 0; m < L.M; ++m)
        S += w.mom[0][m];
    for (std::size_t j = 0; j < L.N; ++j)
        max_eps = std::max(max_eps, std::fabs(w.e[j]));

    sampled_errors out;
    out.moments.assign(static_cast<std::size_t>(P + 1), 0.0);
    const std::vector<std::size_t> sample = sample_antidiagonals(L.M, count, seed);
    std::vector<std::vector<double>> kept;
    double sample_ref = 0;
    for (std::size_t m : sample) {
        const std::vector<double> direct = antidiagonal_moments(w, L.N, m, P);
        std::vector<double> at_m;
        for (int p = 0; p <= P; ++p) {
            const std::size_t k = static_cast<std::size_t>(p);
            at_m.push_back(w.mom[p][m]);
            out.moments[k] += std::fabs(at_m[k] - direct[k]);
        }
        const double ref = antidiagonal_reference(w, L.N, m, s);
        kept.push_back(at_m);
        sample_ref += ref;
        out.expansion += std::fabs(expansion(w, at_m, P, m, s) - ref);
        if (P > 0)
            out.expansion_short += std::fabs(expansion(w, at_m, P - 1, m, s) - ref);
    }
    for (int p = 0; p <= P; ++p)
        std::fill(w.mom[p], w.mom[p] + L.stride, 0.0);
    for (std::size_t i = 0; i < sample.size(); ++i)   // a repeated m counts once per draw
        for (int p = 0; p <= P; ++p)
            w.mom[p][sample[i]] += kept[i][static_cast<std::size_t>(p)];
    const double ht_sample = ht::fast::at_distance(L, w, s, ht::fast::avx2_fma_available());

    const double per = static_cast<double>(L.M) / static_cast<double>(sample.size());
    out.end_to_end = std::fabs(ht_sample - sample_ref) * per / S;
    for (int p = 0; p <= P; ++p)
        out.moments[static_cast<std::size_t>(p)] *= per / (S * std::pow(2.0 * max_eps, p));
    out.expansion *= per / S;
    out.expansion_short *= per / S;
    return out;
}

} // namespace ht_test
