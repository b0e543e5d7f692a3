// SPDX-License-Identifier: BSD-3-Clause
// Tests of the one reader of char arguments: its checks, in order, and the
// bytes it gives.
#include <gtest/gtest.h>

#include <string>

#include "host/host.hpp"
#include "test_support.hpp"

namespace vorlex {
namespace {

mxArray* charMatrix(const std::string& columnMajor, mwSize rows, mwSize columns) {
    mwSize dims[2] = {rows, columns};
    mxArray* array = mxCreateCharArray(2, dims);
    mxChar* chars = mxGetChars(array);
    for (size_t i = 0; i < columnMajor.size(); ++i) chars[i] = static_cast<mxChar>(columnMajor[i]);
    return array;
}

const CharArgChecks kAny{"text", "textNotChar", "textUnreadable", "textHasNul"};
const CharArgChecks kRow{"text", "textNotText", "textUnreadable", "textHasNul", true};
const CharArgChecks kNulAllowed{"text", "textNotChar", "textUnreadable", nullptr};

TEST(CharArg, RefusesWhatItsChecksNameAndGivesColumnMajorBytes) {
    struct Case {
        const char* what;
        mxArray* arg;
        const CharArgChecks* checks;
        std::string raised;  // the check, or "" for the bytes below
        std::string bytes;
    };
    const Case cases[] = {
        {"a double", mxCreateDoubleScalar(1), &kAny, "textNotChar", ""},
        {"a double, row wanted", mxCreateDoubleScalar(1), &kRow, "textNotText", ""},
        {"two rows, row wanted", charMatrix("abcd", 2, 2), &kRow, "textNotText", ""},
        {"0x0, row wanted", charMatrix("", 0, 0), &kRow, "textNotText", ""},
        {"two rows", charMatrix("abcd", 2, 2), &kAny, "", "abcd"},
        {"0x0", charMatrix("", 0, 0), &kAny, "", ""},
        {"a row", charMatrix("select", 1, 6), &kRow, "", "select"},
        {"a NUL inside", charMatrix(std::string("a\0b", 3), 1, 3), &kRow, "textHasNul", ""},
        {"a NUL at the end", charMatrix(std::string("ab\0", 3), 1, 3), &kAny, "textHasNul", ""},
        {"a NUL the caller takes", charMatrix(std::string("a\0b", 3), 1, 3), &kNulAllowed, "",
         std::string("a\0b", 3)},
    };
    CommandScope scope("exec");
    for (const Case& c : cases) {
        try {
            std::string bytes = charArgBytes(c.arg, 3, *c.checks);
            EXPECT_EQ(c.raised, "") << c.what << ": nothing was raised";
            EXPECT_EQ(bytes, c.bytes) << c.what;
        } catch (const GatewayError& error) {
            EXPECT_EQ(error.id, "vorlex:exec:" + c.raised) << c.what;
            EXPECT_EQ(error.message.rfind("argument 3 (text) ", 0), 0u) << error.message;
        }
        mxDestroyArray(c.arg);
    }
}

TEST(CharArg, CountsAHandlersInputFromArgumentTwo) {
    mxArray* inputs[2] = {mxCreateDoubleScalar(1), mxCreateDoubleScalar(2)};
    CommandScope scope("exec");
    EXPECT_EQ(raisedMessage([&] { charArg(inputs, 1, kAny); }).rfind("argument 3 (text) ", 0), 0u);
    for (mxArray* input : inputs) mxDestroyArray(input);
}

}  // namespace
}  // namespace vorlex
