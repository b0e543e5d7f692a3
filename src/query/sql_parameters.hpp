// SPDX-License-Identifier: BSD-3-Clause
// sql_parameters.hpp - the parameters ($1, $2, ...) a statement's text
// refers to, found as the server's lexer finds them.
#pragma once

#include <string>

namespace vorlex {

// The highest n of the $n in `sql` outside string constants, quoted
// identifiers, comments and dollar-quoted strings; 0 when there is none.
// String constants are read as with standard_conforming_strings on (the
// default): a backslash escapes only in E'...' constants.
long highestParameter(const std::string& sql);

}  // namespace vorlex
