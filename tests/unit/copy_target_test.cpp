// SPDX-License-Identifier: BSD-3-Clause
// A COPY target split into its relation and column list, quotes kept for
// the server to resolve.  (What the server makes of them, and the refusals,
// are tested in tests/octave/copy_in_types.tst.)  And the row a failed
// COPY names in its context, in the server's languages.
#include "copy/copy_target.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "copy/copy_in.hpp"

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

struct ContextCase {
    const char* context;
    const char* relation;
    unsigned long long row;
};

TEST(CopyTargets, FailedRowFollowsTheRelationInEveryLanguage) {
    const ContextCase cases[] = {
        {"COPY t, line 5", "t", 5},
        {"COPY t, Zeile 5001, Spalte a1", "t", 5001},
        {"COPY t2, строка 7, столбец c3", "t2", 7},
        {"t9のCOPY、行 12、列 x", "t9", 12},
        {"t 복사, 3번째 줄, b 열", "t", 3},
        {"COPY t, 第 8 行", "t", 8},
        {"PL/pgSQL function t_f() line 4 at RAISE\nCOPY t, ligne 777", "t", 777},
        // A trigger's line last: no COPY line names the relation.
        {"PL/pgSQL function t() line 4 at RAISE", "t", 0},
        {"COPY tt, line 5", "t", 0},
        {"COPY t, line 5", "", 0},
        {"SQL statement \"SELECT 1 FROM ONLY \"public\".\"p\" x\"", "p", 0},
        {nullptr, "t", 0},
    };
    for (const ContextCase& expected : cases)
        EXPECT_EQ(failedRowOf(expected.context, expected.relation), expected.row)
            << (expected.context ? expected.context : "(none)");
}

}  // namespace
}  // namespace vorlex
