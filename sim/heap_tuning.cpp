#include "sim/heap_tuning.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

void keepFreedHeapForReuse()
{
#if defined(__GLIBC__)
    constexpr int keep = 64 << 20;
    mallopt(M_TRIM_THRESHOLD, keep);
    mallopt(M_MMAP_THRESHOLD, keep);
#endif
}
