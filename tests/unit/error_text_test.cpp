// SPDX-License-Identifier: BSD-3-Clause
// Tests of the words errors are raised in: SQLSTATE condition names and
// libpqtypes' texts in the module's words.
#include <gtest/gtest.h>

#include <string>

#include "statements/server_error.hpp"
#include "types/libpqtypes_error.hpp"

namespace vorlex {
namespace {

TEST(ConditionNames, NameCodesOfTheTableAndOtherCodesByTheirClass) {
    struct Case {
        const char* code;
        const char* name;  // null: no name
    };
    const Case cases[] = {
        {"00000", "successful_completion"},  // the table's first row
        {"23505", "unique_violation"},
        {"0100C", "dynamic_result_sets_returned"},  // letters in the code
        {"57P01", "admin_shutdown"},
        {"XX002", "index_corrupted"},                // the table's last row
        {"0F001", "invalid_locator_specification"},  // not the class's 0F000
        {"0P000", "invalid_role_specification"},
        {"28000", "invalid_authorization_specification"},
        {"3B001", "invalid_savepoint_specification"},
        {"22P99", "data_exception"},  // not in the table: its class
        {"08X00", "connection_exception"},
        {"ZZ999", nullptr},  // neither the code nor its class
        {"2350", nullptr},   // not a code
        {"235050", nullptr},
        {"", nullptr},
    };
    for (const Case& c : cases) {
        const char* name = conditionName(c.code);
        if (c.name)
            EXPECT_STREQ(name, c.name) << c.code;
        else
            EXPECT_EQ(name, nullptr) << c.code << " named " << name;
    }
    EXPECT_EQ(sqlstateName("22P99"), nullptr);
    EXPECT_EQ(conditionName(nullptr), nullptr);
}

TEST(TypesErrorText, RewordsLibpqtypesUnclearTextsAndKeepsTheRest) {
    struct Case {
        const char* libpqtypes;
        const char* module;
    };
    const Case cases[] = {
        {"Uknown type 'jsonb' (position 2)", "unknown type 'jsonb'"},
        {"Uknown type 'public.my type' (position 12)", "unknown type 'public.my type'"},
        {"Invalid first character for identifier '1' (pos:2)", "a type name cannot start with '1'"},
        {"Invalid first character for identifier '", "a type name must follow % or #"},
        {"Unterminated double quote '\"abc' (pos:1)", "unterminated double quote in \"abc"},
        {"Identifier out of range 70 (pos:1), range is 1 to 64",
         "a type name of 70 characters is too long: at most 64"},
        {"'*' specifer flag cannot be used with arrays[] 'int4' (pos:3)",
         "the pointer flag * cannot follow an array type: int4"},
        {"Type 'record' doesn't support put operations (position 1)",
         "values of the type record cannot be put"},
        {"Type 'x' doesn't support putting pointers (position 4)",
         "values of the type x cannot be put through a pointer (*)"},
        {"Trying to get type 23 'int4' but server returned 25 (position 1)",
         "the column has type OID 25, not int4 (OID 23)"},
        // Texts without a rewording, and near misses, pass unchanged.
        {"Out of memory error", "Out of memory error"},
        {"Uknown type 'jsonb'", "Uknown type 'jsonb'"},
        {"before: Uknown type 'jsonb' (position 2)", "before: Uknown type 'jsonb' (position 2)"},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(typesErrorText(c.libpqtypes), c.module) << c.libpqtypes;
}

}  // namespace
}  // namespace vorlex
