// A deliberately literal transcription of the diagonal transform: arrays,
// GSL accessors and loops exactly as the algorithm states them, no hoisting,
// no validation. The library is compared with it bit for bit, so it must be
// never "improved". Every intermediate passes through rnd(), a volatile
// round trip the compiler cannot see through, so the reference keeps one
// rounding per operation even if the suite were built with contraction or
// reassociation enabled: a wrongly built library then shows up as a mismatch.
#ifndef HANKEL_TRANSF_TESTS_LITERAL_REFERENCE_H
#define HANKEL_TRANSF_TESTS_LITERAL_REFERENCE_H

#include <cmath>
#include <vector>

#include <gsl/gsl_matrix.h>

namespace literal {

inline double rnd(double v)
{
    volatile double stored = v;
    return stored;
}

inline double kernel(double x1, double x2)
{
    double r_part = rnd(rnd(x1 * x1) + rnd(x2 * x2));
    double denom_bef_power = rnd(rnd(r_part * 39.47841760435743) + 1.0);
    return pow(denom_bef_power, -0.75);
}

struct run {
    double max_x = 0, incr_desired = 0;
    int num_samp_desired_no_endpt = 0, num_samp_desired = 0;
    std::vector<double> x;
    std::vector<double> ht;
};

// Steps up to the grid; s is returned through the pointer when given.
inline run make_grid(const std::vector<double> &td_vec, std::vector<double> *s_out = nullptr)
{
    run r;
    int n = static_cast<int>(td_vec.size());
    std::vector<double> s(n);
    for (int i = 0; i < n; i++)
        s[i] = rnd(td_vec[i] / 1.4142135623730951);
    double min_s = s[0], max_s = s[0];
    for (int i = 1; i < n; i++) {
        if (s[i] > max_s)
            max_s = s[i];
        else if (s[i] < min_s)
            min_s = s[i];
    }
    double max_x = rnd(rnd(1.0 / rnd(min_s + min_s)) * 1.5);
    double min_x = -max_x;
    double t = rnd(rnd(1.0 / rnd(max_s + max_s)) * 0.6666666666666666);
    double range = rnd(max_x - min_x);
    int num_samp_desired_no_endpt = (int)ceil(rnd(range / t)) + 1;
    double incr_desired = rnd(range / (double)num_samp_desired_no_endpt);
    int num_samp_desired = num_samp_desired_no_endpt + 1;

    std::vector<double> x(num_samp_desired);
    x[0] = min_x;
    for (int i = 1; i < num_samp_desired; i++)
        x[i] = rnd(x[i - 1] + incr_desired);

    r.max_x = max_x;
    r.incr_desired = incr_desired;
    r.num_samp_desired_no_endpt = num_samp_desired_no_endpt;
    r.num_samp_desired = num_samp_desired;
    r.x = x;
    if (s_out != nullptr)
        *s_out = s;
    return r;
}

inline run transform(const std::vector<double> &td_vec)
{
    std::vector<double> s;
    run r = make_grid(td_vec, &s);
    int n = static_cast<int>(td_vec.size());
    int num_samp_desired = r.num_samp_desired;
    const std::vector<double> &x = r.x;

    gsl_matrix *f_val_mat = gsl_matrix_alloc(num_samp_desired, num_samp_desired);
    for (int j = 0; j < num_samp_desired; j++)
        for (int k = 0; k < num_samp_desired; k++)
            gsl_matrix_set(f_val_mat, j, k, kernel(x[j], x[k]));

    r.ht.resize(n);
    for (int i = 0; i < n; i++) {
        double sum = 0;
        for (int j = 0; j < num_samp_desired; j++)
            for (int k = 0; k < num_samp_desired; k++) {
                double cos_part = cos(rnd(rnd(rnd(s[i] * x[j]) + rnd(s[i] * x[k])) * 6.283185307179586));
                sum = rnd(sum + rnd(gsl_matrix_get(f_val_mat, j, k) * cos_part));
            }
        r.ht[i] = sum;
    }
    gsl_matrix_free(f_val_mat);
    return r;
}

} // namespace literal

#endif
