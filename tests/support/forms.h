#pragma once
// Running code on every instruction-set form of the kernels, and comparing
// what the forms give.

#include "simd/dispatch.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace testing_support {

// Equal to the last bit: -0.0 differs from 0.0. A NaN only has to meet a NaN:
// which operand's sign and payload a NaN result carries is the compiler's choice.
inline ::testing::AssertionResult sameBits(const std::vector<double>& expected, const std::vector<double>& actual)
{
    if (expected.size() != actual.size())
        return ::testing::AssertionFailure() << "lengths " << expected.size() << " and " << actual.size();
    for (size_t k = 0; k < expected.size(); ++k)
        if (std::memcmp(&expected[k], &actual[k], sizeof(double)) != 0 &&
            !(std::isnan(expected[k]) && std::isnan(actual[k])))
            return ::testing::AssertionFailure() << "element " << k << ": " << expected[k] << " vs " << actual[k];
    return ::testing::AssertionSuccess();
}

// Calls run(form) with each form this processor runs made active in turn,
// then makes the form active before the call active again.
template <typename Run>
void forEachRunnableForm(Run run)
{
    const std::string before = simd::activeFormName();
    for (const std::string& form : simd::runnableForms()) {
        EXPECT_TRUE(simd::useForm(form));
        SCOPED_TRACE("form " + form);
        run(form);
    }
    simd::useForm(before);
}

}  // namespace testing_support
