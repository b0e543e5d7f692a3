// SPDX-License-Identifier: BSD-3-Clause
// Tests of the pure text work behind query: the parameters a statement's
// text uses, and the field names made of column names.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "query/field_names.hpp"
#include "query/sql_parameters.hpp"

namespace vorlex {
namespace {

TEST(SqlParameters, CountsReferencesOutsideQuotesAndComments) {
    struct Case {
        const char* sql;
        long highest;
    };
    const Case cases[] = {
        {"select 1", 0},
        {"select $1, $3, $2", 3},
        {"select $12+$2", 12},
        {"select '$1', \"$2\", $3", 3},
        {"select 'it''s $5', $1", 1},
        {"select E'\\' $5', $1", 1},    // the backslash escapes the quote
        {"select e'a\\\\', $2", 2},     // an escaped backslash ends before the quote
        {"select name'x $4' , $1", 1},  // not an E string: no escapes, but still quoted
        {"select 'a\\', $2", 2},        // standard strings: the backslash is a character
        {"select \"a\"\"$3\", $1", 1},
        {"select 1 -- $7\n, $2", 2},
        {"select 1 /* $7 /* $8 */ $9 */ + $2", 2},
        {"select $$ $5 $$, $1", 1},
        {"select $tag$ $5 $x$ $6 $tag$, $2", 2},
        {"select $a$$5$a$ + $3", 3},
        {"select a$1 from t where b = $2", 2},  // "$" continues an identifier
        {"select $1::int4 from t where x = $2 -- $9", 2},
        {"select '$1", 0},  // unterminated: the rest is quoted
        {"select $ab", 0},  // no closing "$": not a dollar quote
        {"select $99999999999999999999999", 9223372036854775807L},
    };
    for (const Case& c : cases) EXPECT_EQ(highestParameter(c.sql), c.highest) << c.sql;
}

TEST(QueryText, PlainQueriesAreOneReadingStatement) {
    struct Case {
        const char* sql;
        bool plain;
    };
    const Case cases[] = {
        {"select * from t", true},
        {"  SELECT 1 -- note; insert", true},
        {"with x as (select 1) select * from x", true},
        {"values (1), (2)", true},
        {"table t", true},
        {"(select 1) union (select 2)", true},
        {"select 'insert; into' as \"update\" /* delete */", true},
        {"select $$;$$", true},
        {"select a from t for update", false},
        {"select 1 into t2", false},
        {"with x as (insert into t values (1) returning *) select * from x", false},
        {"select 1; select 2", false},
        {"select 1;", false},
        {"explain select 1", false},
        {"show search_path", false},
        {"fetch 10 from c", false},
        {"", false},
        {"-- only a comment", false},
        {"selectx 1", false},
    };
    for (const Case& c : cases) EXPECT_EQ(isPlainQuery(c.sql), c.plain) << c.sql;
}

TEST(FieldNames, ValidNamesFollowMakeValidName) {
    struct Case {
        const char* name;
        const char* field;
    };
    const Case cases[] = {
        {"a", "a"},
        {"count(*)", "count___"},
        {"?column?", "x_column_"},
        {"1a", "x1a"},
        {"for", "xFor"},
        {"end", "xEnd"},
        {"_x", "x_x"},  // a field may not start with "_" in MATLAB
        {"a b c", "aBC"},
        {" lead", "lead"},
        {"\xc3\xbcmlaut", "x__mlaut"},  // each byte of a multibyte character
        {"", "x"},
        {"Name_1", "Name_1"},
        {"a-b", "a_b"},
    };
    for (const Case& c : cases) EXPECT_EQ(validFieldName(c.name), c.field) << c.name;
    std::string longName(70, 'n');
    EXPECT_EQ(validFieldName(longName), std::string(kMaxFieldName, 'n'));
    EXPECT_EQ(validFieldName("9" + longName), "x9" + std::string(kMaxFieldName - 2, 'n'));
}

TEST(FieldNames, LaterDuplicatesGetFreeSuffixes) {
    struct Case {
        std::vector<std::string> names;
        std::vector<std::string> fields;
    };
    const Case cases[] = {
        {{"a", "b"}, {"a", "b"}},
        {{"a", "a", "a"}, {"a", "a_1", "a_2"}},
        {{"a", "a", "a_1"}, {"a", "a_2", "a_1"}},
        {{"?column?", "?column?"}, {"x_column_", "x_column__1"}},
        {{"count(*)", "count___"}, {"count___", "count____1"}},
        {{std::string(63, 'n'), std::string(64, 'n')},
         {std::string(63, 'n'), std::string(61, 'n') + "_1"}},
    };
    for (const Case& c : cases) EXPECT_EQ(uniqueFieldNames(c.names), c.fields);
}

}  // namespace
}  // namespace vorlex
