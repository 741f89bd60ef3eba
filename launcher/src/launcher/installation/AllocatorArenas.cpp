#include "AllocatorArenas.h"

#include <mutex>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace orvan::launcher {

void useOneAllocatorArena()
{
#if defined(__GLIBC__)
    static std::once_flag configured;
    std::call_once(configured, [] { mallopt(M_ARENA_MAX, 1); });
#endif
}

} // namespace orvan::launcher
