// Internal: the one shape of progress report that long calls give their
// caller (the command-line tool). The exported functions never report.
#ifndef HANKEL_TRANSF_PROGRESS_H
#define HANKEL_TRANSF_PROGRESS_H

namespace ht {

// `done` of `total` steps of `stage` (a static string such as "distances")
// are finished. Called from the computing thread; must not throw.
struct progress_hook {
    void (*fn)(void *ctx, const char *stage, long long done, long long total) = nullptr;
    void *ctx = nullptr;

    void operator()(const char *stage, long long done, long long total) const noexcept
    {
        if (fn != nullptr)
            fn(ctx, stage, done, total);
    }
};

} // namespace ht

#endif
