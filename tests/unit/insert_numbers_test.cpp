// SPDX-License-Identifier: BSD-3-Clause
// insert's numbers against column types: the values each type refuses,
// exact reads of every class, and numbers as numeric's decimal text.
#include "insert/insert_numbers.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace vorlex {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

struct Fit {
    const char* type;
    long double value;
    bool fits;
};

TEST(InsertValues, EachTypeRefusesTheNumbersItDoesNotHold) {
    const Fit cases[] = {
        {"int2", 32767, true},
        {"int2", 32768, false},
        {"int2", -32768, true},
        {"int4", 2147483647, true},
        {"int4", 2147483648.0L, false},
        {"int4", 2.5, false},
        {"int4", kNaN, false},
        {"int4", kInf, false},
        {"int8", static_cast<long double>(INT64_MAX), true},
        {"int8", static_cast<long double>(INT64_MAX) + 1, false},
        {"int8", 9223372036854775808.0, false},  // 2^63, the double nearest INT64_MAX
        {"bool", 1, true},
        {"bool", 0, true},
        {"bool", 2, false},
        {"bool", kNaN, false},
        {"float4", 3.4e38, true},
        {"float4", 3.5e38, false},
        {"float4", kNaN, true},
        {"float4", -kInf, true},
        {"float8", 1e308, true},
        {"date", kInf, true},
        {"date", kNaN, false},
        {"date", 3e9, false},
        {"timestamp", 730486.5, true},
        {"timestamp", -kInf, true},
        {"timestamp", kNaN, false},
        {"timestamptz", 2e8, false},  // past int64 microseconds from 2000
        {"time", 0.25, true},
        {"timetz", kInf, false},
        {"time", kNaN, false},
    };
    for (const Fit& c : cases) {
        const char* reason = misfitReason(c.value, *typeNamed(c.type));
        EXPECT_EQ(reason == nullptr, c.fits)
            << c.type << " " << static_cast<double>(c.value) << ": " << (reason ? reason : "");
    }
}

TEST(InsertValues, ClassesAreReadExactly) {
    const int64_t big = INT64_MIN + 1;
    const uint64_t huge = UINT64_MAX;
    const mxLogical yes = true;
    EXPECT_EQ(numberAt(&big, mxINT64_CLASS, 0), static_cast<long double>(big));
    EXPECT_EQ(numberAt(&huge, mxUINT64_CLASS, 0), static_cast<long double>(huge));
    EXPECT_EQ(numberAt(&yes, mxLOGICAL_CLASS, 0), 1);
    EXPECT_TRUE(std::isnan(numberAt(&yes, mxCHAR_CLASS, 0)));
}

TEST(InsertValues, NumbersBecomeTheirShortestDecimalText) {
    struct Text {
        mxClassID classId;
        const void* data;
        const char* text;
    };
    const double tenth = 0.1, third = 1.0 / 3, nan = -kNaN, inf = -kInf;
    const float single = 0.1f;
    const int64_t lowest = INT64_MIN;
    const uint64_t highest = UINT64_MAX;
    const int16_t small = -7;
    const Text cases[] = {
        {mxDOUBLE_CLASS, &tenth, "0.1"},
        {mxDOUBLE_CLASS, &third, "0.3333333333333333"},
        {mxDOUBLE_CLASS, &nan, "nan"},
        {mxDOUBLE_CLASS, &inf, "-inf"},
        {mxSINGLE_CLASS, &single, "0.1"},
        {mxINT64_CLASS, &lowest, "-9223372036854775808"},
        {mxUINT64_CLASS, &highest, "18446744073709551615"},
        {mxINT16_CLASS, &small, "-7"},
    };
    for (const Text& c : cases) {
        char out[kNumberTextRoom];
        EXPECT_EQ(std::string(out, numberText(c.data, c.classId, 0, out)), c.text);
    }
}

}  // namespace
}  // namespace vorlex
