// DFTYieldExpon against DFTYieldExponFast on three workloads of 200
// log-spaced distances:
//   W1  1..100   N = 452     both methods
//   W2  1..1000  N = 4502    both; the direct sum takes ~a minute, run once
//   W3  1..1e4   N = 45002   fast only (the direct sum would need a 16 GB table)
// The speed-up is reported as a counter on each fast run and in a summary.
// W3's peak memory is measured in a child forked before any benchmark ran,
// so no table of the direct sum is in its resident set.
#include "bench_util.h"
#include "hankel_transf.h"
#include "hankel_transf_fast.h"

#include <benchmark/benchmark.h>

#include <ctime>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

std::vector<double> log_spaced(double hi, int n)
{
    std::vector<double> d(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        d[static_cast<std::size_t>(i)] = std::pow(hi, i / static_cast<double>(n - 1));
    return d;
}

struct workload {
    const char *name;
    double hi;
};
const workload workloads[] = {{"W1", 1e2}, {"W2", 1e3}, {"W3", 1e4}};

using bench::thread_seconds;

// Best CPU seconds per call seen for each "method/workload".
std::map<std::string, double> best;

void record(const std::string &key, double seconds)
{
    auto it = best.find(key);
    if (it == best.end() || seconds < it->second)
        best[key] = seconds;
}

void run(benchmark::State &state, void (*fn)(double *, double *, int *),
         const char *method, const workload &w)
{
    std::vector<double> d = log_spaced(w.hi, 200);
    std::vector<double> out(d.size());
    const std::string key = std::string(method) + "/" + w.name;
    for (auto _ : state) {
        int n = static_cast<int>(d.size());
        const double t0 = thread_seconds();
        fn(out.data(), d.data(), &n);
        const double t1 = thread_seconds();
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
        record(key, t1 - t0);
    }
    if (std::isnan(out[0]))
        state.SkipWithError("NaN result");
    state.counters["distances"] = static_cast<double>(d.size());
    const auto exact = best.find(std::string("exact/") + w.name);
    if (fn == DFTYieldExponFast && exact != best.end())
        state.counters["speedup"] = exact->second / best[key];
}

// W3 once in a child process: its time and its peak resident set.
bench::child_report w3_in_child()
{
    return bench::in_child([] {
        std::vector<double> d = log_spaced(1e4, 200), out(d.size());
        int n = 200;
        const double t0 = thread_seconds();
        DFTYieldExponFast(out.data(), d.data(), &n);
        const double t1 = thread_seconds();
        return std::isnan(out[0]) ? -1.0 : t1 - t0;
    });
}

} // namespace

int main(int argc, char **argv)
{
    bool want_w3_memory = true;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--no_w3_memory") == 0) {
            want_w3_memory = false;
            for (int j = i; j + 1 < argc; ++j)
                argv[j] = argv[j + 1];
            --argc;
            break;
        }
    // Before anything else, while this process is small.
    const bench::child_report w3 = want_w3_memory ? w3_in_child() : bench::child_report();

    benchmark::Initialize(&argc, argv);
    // Runs of a minute or more are measured once.
    const auto add = [](void (*fn)(double *, double *, int *), const char *method,
                        const workload &w, bool once) {
        auto *b = benchmark::RegisterBenchmark(
            (std::string(method) + "/" + w.name).c_str(),
            [fn, method, &w](benchmark::State &s) { run(s, fn, method, w); });
        b->Unit(benchmark::kMillisecond);
        if (once)
            b->Iterations(1);
    };
    for (const workload &w : workloads) {
        if (w.hi <= 1e3)
            add(DFTYieldExpon, "exact", w, w.hi > 1e2);
        add(DFTYieldExponFast, "fast", w, w.hi > 1e3);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::printf("\nsummary (best CPU seconds per call of 200 distances)\n");
    for (const workload &w : workloads) {
        const auto e = best.find(std::string("exact/") + w.name);
        const auto f = best.find(std::string("fast/") + w.name);
        std::printf("  %s 1..%-6g exact %10s  fast %10s  speed-up %s\n", w.name, w.hi,
                    e == best.end() ? "-" : std::to_string(e->second).c_str(),
                    f == best.end() ? "-" : std::to_string(f->second).c_str(),
                    e != best.end() && f != best.end()
                        ? std::to_string(e->second / f->second).c_str() : "-");
    }
    if (want_w3_memory)
        std::printf("  W3 in a fresh child: %.3f s CPU, peak RSS %.1f MB "
                    "(VmHWM %.1f MB before the call, %.1f MB after)\n",
                    w3.seconds, w3.maxrss_kb / 1024.0, w3.hwm_before_kb / 1024.0,
                    w3.hwm_after_kb / 1024.0);
    return 0;
}
