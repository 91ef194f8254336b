// Interposes the malloc family in the test executable and forwards to glibc's
// own entry points (__libc_malloc and friends), so that the shared library
// and GSL, which resolve malloc dynamically, go through the counters. The
// definitions must be exported from the executable despite the project-wide
// hidden visibility, or the libraries would bind to libc directly.
#include "counting_malloc.h"

#include <atomic>
#include <cerrno>
#include <cstddef>

#if defined(__has_feature)
#  if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) \
      || __has_feature(memory_sanitizer)
#    define COUNTING_MALLOC_OFF 1
#  endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) \
    || defined(HANKEL_TRANSF_ROBUST_SANITIZED) || !defined(__GLIBC__)
#  define COUNTING_MALLOC_OFF 1
#endif

namespace {
std::atomic<long> g_calls{0};
std::atomic<long> g_failed{0};
std::atomic<long> g_live{0};
} // namespace

namespace counting {

#if defined(COUNTING_MALLOC_OFF)
bool enabled() { return false; }
#else
bool enabled() { return true; }
#endif

snapshot now()
{
    return {g_calls.load(), g_failed.load(), g_live.load()};
}

} // namespace counting

#if !defined(COUNTING_MALLOC_OFF)

extern "C" {
void *__libc_malloc(std::size_t);
void *__libc_calloc(std::size_t, std::size_t);
void *__libc_realloc(void *, std::size_t);
void *__libc_memalign(std::size_t, std::size_t);
void __libc_free(void *);
}

#define COUNTING_EXPORT __attribute__((visibility("default")))

namespace {
void *counted(void *p)
{
    g_calls.fetch_add(1, std::memory_order_relaxed);
    if (p != nullptr)
        g_live.fetch_add(1, std::memory_order_relaxed);
    else
        g_failed.fetch_add(1, std::memory_order_relaxed);
    return p;
}
} // namespace

extern "C" {

COUNTING_EXPORT void *malloc(std::size_t size) { return counted(__libc_malloc(size)); }

COUNTING_EXPORT void *calloc(std::size_t count, std::size_t size)
{
    return counted(__libc_calloc(count, size));
}

COUNTING_EXPORT void free(void *p)
{
    if (p != nullptr)
        g_live.fetch_sub(1, std::memory_order_relaxed);
    __libc_free(p);
}

COUNTING_EXPORT void *realloc(void *p, std::size_t size)
{
    if (p == nullptr)
        return counted(__libc_realloc(nullptr, size));
    g_calls.fetch_add(1, std::memory_order_relaxed);
    void *q = __libc_realloc(p, size);
    // glibc: realloc(p, 0) frees p and returns NULL; on any other NULL
    // return p is still live.
    if (q == nullptr) {
        if (size == 0)
            g_live.fetch_sub(1, std::memory_order_relaxed);
        else
            g_failed.fetch_add(1, std::memory_order_relaxed);
    }
    return q;
}

COUNTING_EXPORT void *memalign(std::size_t align, std::size_t size)
{
    return counted(__libc_memalign(align, size));
}

COUNTING_EXPORT void *aligned_alloc(std::size_t align, std::size_t size)
{
    return counted(__libc_memalign(align, size));
}

COUNTING_EXPORT int posix_memalign(void **out, std::size_t align, std::size_t size)
{
    if (align < sizeof(void *) || (align & (align - 1)) != 0)
        return EINVAL;
    void *p = counted(__libc_memalign(align, size));
    if (p == nullptr)
        return ENOMEM;
    *out = p;
    return 0;
}

} // extern "C"

#endif
