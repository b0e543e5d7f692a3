// SPDX-License-Identifier: BSD-3-Clause
// sql_parameters.hpp - what a statement's text says, found as the server's
// lexer finds it: the parameters ($1, $2, ...) it refers to, and whether
// it only reads.
#pragma once

#include <string>

namespace vorlex {

// The highest n of the $n in `sql` outside string constants, quoted
// identifiers, comments and dollar-quoted strings; 0 when there is none.
// String constants are read as with standard_conforming_strings on (the
// default): a backslash escapes only in E'...' constants.
long highestParameter(const std::string& sql);

// Whether the text is one SELECT, VALUES, TABLE or WITH statement that
// writes nothing (no INSERT, UPDATE, DELETE, MERGE or INTO among its
// words, FOR UPDATE included), so that COPY can run it and running it with
// LIMIT 0 only describes it.  Any doubt answers false.
bool isPlainQuery(const std::string& sql);

}  // namespace vorlex
