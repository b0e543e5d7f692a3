// SPDX-License-Identifier: BSD-3-Clause
// A COPY target split into its relation and column list, quotes kept for
// the server to resolve.  (What the server makes of them, and the refusals,
// are tested in tests/octave/copy_in_types.tst.)
#include "copy/copy_target.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vorlex {
namespace {

struct SplitCase {
    std::string target;
    std::string relation;
    bool hasColumnList;
    std::vector<std::string> columns;
};

TEST(CopyTargets, SplitAtTheListOutsideQuotes) {
    const SplitCase cases[] = {
        {"t", "t", false, {}},
        {"  s.t \n", "s.t", false, {}},
        {"t(a)", "t", true, {"a"}},
        {"s.t ( a ,\"B\",\tc )  ", "s.t", true, {"a", "\"B\"", "c"}},
        {"\"we(ird\" (a)", "\"we(ird\"", true, {"a"}},
        {"\"x\"\"(y\".t (\"a,b\", \"c)d\", \"e\"\"),f\")",
         "\"x\"\"(y\".t",
         true,
         {"\"a,b\"", "\"c)d\"", "\"e\"\"),f\""}},
        {"t; drop table t", "t; drop table t", false, {}},
        {"", "", false, {}},
    };
    for (const SplitCase& expected : cases) {
        TargetText text = splitCopyTarget(expected.target);
        EXPECT_EQ(text.relation, expected.relation) << expected.target;
        EXPECT_EQ(text.hasColumnList, expected.hasColumnList) << expected.target;
        EXPECT_EQ(text.columns, expected.columns) << expected.target;
    }
}

}  // namespace
}  // namespace vorlex
