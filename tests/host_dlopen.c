/* A host as real hosts are: load the library by path, resolve both symbols by
 * name, call through the pointers. argv[1] is the library's path. */
#include <dlfcn.h>
#include <math.h>
#include <stdio.h>

typedef double (*eval_f_fn)(double, double);
typedef void (*dft_fn)(double *, double *, int *);

static int failures = 0;

static void expect_near(const char *what, double got, double want)
{
    /* the worked values carry ten significant digits */
    if (!(fabs(got - want) <= 5e-10 * fabs(want))) {
        printf("FAIL %s: got %.17g (%a), want %.10g\n", what, got, got, want);
        ++failures;
    }
}

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: %s path/to/libhankel_transf.so\n", argv[0]);
        return 2;
    }
    void *lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (lib == NULL) {
        printf("FAIL dlopen: %s\n", dlerror());
        return 1;
    }
    eval_f_fn eval_f = (eval_f_fn)dlsym(lib, "eval_f");
    dft_fn dft = (dft_fn)dlsym(lib, "DFTYieldExpon");
    if (eval_f == NULL || dft == NULL) {
        printf("FAIL dlsym: %s\n", dlerror());
        return 1;
    }

    if (eval_f(0.0, 0.0) != 1.0) {
        printf("FAIL eval_f(0, 0) != 1\n");
        ++failures;
    }
    expect_near("eval_f(3, 4)", eval_f(3.0, 4.0), 0.005674731710);

    double td[2] = {2.0, 1.0};
    double ht[3] = {0.0, 0.0, 12345.0};
    int n = 2;
    dft(ht, td, &n);
    expect_near("ht(2 | {2, 1})", ht[0], 0.3717551400);
    expect_near("ht(1 | {2, 1})", ht[1], 1.896646434);
    if (ht[2] != 12345.0) {
        printf("FAIL wrote past ht_vec[n-1]\n");
        ++failures;
    }
    if (td[0] != 2.0 || td[1] != 1.0) {
        printf("FAIL td_vec modified\n");
        ++failures;
    }

    /* in place: the host passes one array for both */
    double inout[1] = {1.0};
    n = 1;
    dft(inout, inout, &n);
    expect_near("ht(1) in place", inout[0], 0.8376631361);

    double bad[2] = {1.0, -1.0};
    double out[2] = {0.0, 0.0};
    n = 2;
    dft(out, bad, &n);
    if (!isnan(out[0]) || !isnan(out[1])) {
        printf("FAIL negative distance did not give NaN outputs\n");
        ++failures;
    }

    if (dlclose(lib) != 0) {
        printf("FAIL dlclose: %s\n", dlerror());
        ++failures;
    }
    printf("%s: %d failure(s)\n", failures ? "FAILED" : "ok", failures);
    return failures ? 1 : 0;
}
