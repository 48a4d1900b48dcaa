#include "PCG/lanes.h"

namespace pcg::lanes {

namespace {

bool processorRunsWide()
{
#if FLOWBOX_HAS_WIDE
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

bool wideSwitchedOn = true;

}  // namespace

bool wideVectors()
{
    static const bool processor = processorRunsWide();
    return processor && wideSwitchedOn;
}

void useWideVectors(bool use)
{
    wideSwitchedOn = use;
}

}  // namespace pcg::lanes
