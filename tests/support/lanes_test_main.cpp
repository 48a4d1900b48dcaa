// Test main of the suites whose kernels have four-lane and one-lane forms:
// with --one-lane, every test runs the one-lane forms, which processors
// without AVX2 take.
#include "PCG/lanes.h"

#include <gtest/gtest.h>

#include <cstring>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    for (int k = 1; k < argc; ++k)
        if (std::strcmp(argv[k], "--one-lane") == 0)
            pcg::lanes::useWideVectors(false);
    return RUN_ALL_TESTS();
}
