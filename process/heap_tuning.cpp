#include "process/heap_tuning.h"

#include <cstdlib>  // defines __GLIBC__ under glibc

#if defined(__GLIBC__)
#include <malloc.h>
#endif

bool keepFreedHeapForReuse()
{
#if defined(__GLIBC__)
    // Blocks below the mapping threshold come from the heap, and a freed top
    // below the trim threshold stays. Setting the mapping threshold also stops
    // glibc from adjusting both thresholds by itself, which would undo the trim
    // threshold the first time a mapped block is freed. 32 MiB is the largest
    // mapping threshold glibc documents for 64-bit systems.
    constexpr int keep = 32 << 20;
    return mallopt(M_MMAP_THRESHOLD, keep) == 1 && mallopt(M_TRIM_THRESHOLD, keep) == 1;
#else
    return false;
#endif
}
