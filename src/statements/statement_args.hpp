// SPDX-License-Identifier: BSD-3-Clause
// statement_args.hpp - the SQL argument of the commands that run a
// statement.
#pragma once

#include <mex.h>

#include <string>

namespace vorlex {

// Input `index` as SQL: a char row without NUL characters (a NUL would end
// the statement early on its way to libpq, and the server would run a
// different statement than the one written).  `name` starts the checks'
// names ("sqlNotText", "sqlHasNul") and `title` names the argument in
// messages.
std::string sqlRowArg(const mxArray* const prhs[], int index, const char* name = "sql",
                      const char* title = "SQL");

}  // namespace vorlex
