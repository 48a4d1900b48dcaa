// What a process starts with, before any test chooses a form: the widest form
// of the kernels that this processor runs, never a narrower one.
#include "simd/dispatch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

bool builtIn(const std::string& form)
{
    const std::vector<std::string>& names = simd::formNames();
    return std::find(names.begin(), names.end(), form) != names.end();
}

TEST(Dispatch, ChoosesTheWidestFormThisProcessorRuns)
{
    std::string expected = "scalar";
#if defined(__x86_64__)
    __builtin_cpu_init();
    if (builtIn("avx2") && __builtin_cpu_supports("avx2"))
        expected = "avx2";
#elif defined(__aarch64__)
    if (builtIn("neon"))
        expected = "neon";
#endif
    EXPECT_EQ(simd::activeFormName(), expected);
    EXPECT_EQ(simd::runnableForms().back(), expected);
}

}  // namespace
