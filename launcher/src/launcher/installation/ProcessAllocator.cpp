#include "ProcessAllocator.h"

#include <mutex>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace orvan::launcher {

void tuneProcessAllocator()
{
#if defined(__GLIBC__)
    static std::once_flag tuned;
    std::call_once(tuned, [] {
        mallopt(M_ARENA_MAX, 1);
        mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
        mallopt(M_TRIM_THRESHOLD, 128 * 1024 * 1024);
    });
#endif
}

} // namespace orvan::launcher
