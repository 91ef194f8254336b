// Shared by the benchmark programs: CPU time of the calling thread, and one
// timed call in a freshly forked child for its peak memory.
#ifndef HANKEL_TRANSF_BENCH_UTIL_H
#define HANKEL_TRANSF_BENCH_UTIL_H

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ctime>
#include <fstream>
#include <string>

namespace bench {

// CPU seconds of this thread: a ratio of two single-threaded calls should
// not depend on what else the machine is running.
inline double thread_seconds()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

// The process's peak resident set so far (VmHWM), in kB; -1 if unknown.
inline long vm_hwm_kb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

struct child_report {
    double seconds = -1;   // what the call returned (negative: failed)
    long hwm_before_kb = -1, hwm_after_kb = -1, maxrss_kb = -1;
};

// Runs call() (returning its seconds) once in a child forked now, so that
// its peak memory is its own and not what earlier benchmarks left behind.
template <class Call>
child_report in_child(Call call)
{
    child_report r;
    int fds[2];
    if (pipe(fds) != 0)
        return r;
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        child_report c;
        c.hwm_before_kb = vm_hwm_kb();
        c.seconds = call();
        c.hwm_after_kb = vm_hwm_kb();
        rusage ru;
        getrusage(RUSAGE_SELF, &ru);
        c.maxrss_kb = ru.ru_maxrss;
        const ssize_t wr = write(fds[1], &c, sizeof c);
        _exit(wr == static_cast<ssize_t>(sizeof c) ? 0 : 1);
    }
    close(fds[1]);
    if (pid > 0) {
        if (read(fds[0], &r, sizeof r) != static_cast<ssize_t>(sizeof r))
            r = child_report();
        int status = 0;
        waitpid(pid, &status, 0);
    }
    close(fds[0]);
    return r;
}

} // namespace bench

#endif
