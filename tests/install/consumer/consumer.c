/* Links the installed libraries the ordinary way (not dlopen) and checks a
 * worked value through each. Built by tests/install/install_test.cmake once
 * with find_package(hankel_transf) and once with pkg-config. */
#include <math.h>
#include <stdio.h>

#include <hankel_transf.h>
#if defined(WITH_FAST)
#include <hankel_transf_fast.h>
#endif

static int close_to(double got, double want)
{
    return fabs(got - want) <= 5e-10 * fabs(want);
}

int main(void)
{
    int failures = 0;
    double td[2] = {1.0, 2.0};
    double ht[2];
    int n = 2;

    if (!close_to(eval_f(3.0, 4.0), 0.005674731710)) {
        printf("FAIL eval_f(3, 4) = %.17g\n", eval_f(3.0, 4.0));
        ++failures;
    }
    DFTYieldExpon(ht, td, &n);
    if (!close_to(ht[0], 1.896646434) || !close_to(ht[1], 0.3717551400)) {
        printf("FAIL DFTYieldExpon({1, 2}) = {%.17g, %.17g}\n", ht[0], ht[1]);
        ++failures;
    }
#if defined(WITH_FAST)
    double fast[2];
    DFTYieldExponFast(fast, td, &n);
    if (!close_to(fast[0], 1.896646434) || !close_to(fast[1], 0.3717551400)) {
        printf("FAIL DFTYieldExponFast({1, 2}) = {%.17g, %.17g}\n", fast[0], fast[1]);
        ++failures;
    }
#endif
    printf("%s\n", failures ? "FAILED" : "ok");
    return failures ? 1 : 0;
}
