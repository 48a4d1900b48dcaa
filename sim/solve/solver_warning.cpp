#include "sim/solve/solver_warning.h"

#include <atomic>
#include <cstdio>

namespace {

std::atomic<WarningSink> sink{nullptr};

}  // namespace

void setWarningSink(WarningSink to)
{
    sink.store(to);
}

void warn(const char* line)
{
    if (const WarningSink to = sink.load())
        to(line);
    else
        std::fprintf(stderr, "%s\n", line);
}
