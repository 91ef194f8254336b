#include "fftw_planning.h"

#include <fftw3.h>

#include <cstdint>
#include <cstdlib>
#include <mutex>

extern "C" void fftw_make_planner_thread_safe(void);   // libfftw3_threads, FFTW >= 3.3.5

namespace ht {
namespace fast {

void fftw_planning_lock_on() noexcept
{
    static std::once_flag once;
    std::call_once(once, [] { fftw_make_planner_thread_safe(); });
}

std::size_t fft_aligned_count(std::size_t n) noexcept
{
    constexpr std::size_t unit = fft_alignment / sizeof(double);
    return (n + unit - 1) / unit * unit;
}

double *fft_aligned(void *p) noexcept
{
    const std::uintptr_t u = reinterpret_cast<std::uintptr_t>(p);
    return reinterpret_cast<double *>((u + fft_alignment - 1) / fft_alignment * fft_alignment);
}

bool fftw_room(std::size_t points, void *(*alloc)(std::size_t)) noexcept
{
    void *room = alloc(sizeof(double) * (4 * points + 4096));
    std::free(room);
    return room != nullptr;
}

} // namespace fast
} // namespace ht
