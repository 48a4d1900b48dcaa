// Test main of the suites whose kernels come in instruction-set forms: with
// --form=NAME every test runs that form's kernels instead of the widest this
// processor runs. A form the processor cannot run skips the whole suite.
#include "simd/dispatch.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {
constexpr int skippedStatus = 77;  // the suite's SKIP_RETURN_CODE in CTest
}

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    for (int k = 1; k < argc; ++k) {
        if (std::strncmp(argv[k], "--form=", 7) != 0)
            continue;
        const std::string form = argv[k] + 7;
        if (!simd::useForm(form)) {
            std::printf("form %s is not one this processor runs; skipped\n", form.c_str());
            return skippedStatus;
        }
    }
    std::printf("kernel form: %s\n", simd::activeFormName());
    return RUN_ALL_TESTS();
}
