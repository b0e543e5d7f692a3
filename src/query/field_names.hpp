// SPDX-License-Identifier: BSD-3-Clause
// field_names.hpp - struct field names made of column names.
#pragma once

#include <string>
#include <vector>

namespace vorlex {

// The longest field name MATLAB takes (namelengthmax).
constexpr size_t kMaxFieldName = 63;

// A valid field name made of `name` by the rules of
// matlab.lang.makeValidName: whitespace is dropped (a letter after it made
// upper case), a keyword gets "x" and an upper-case first letter, a name
// that does not start with a letter gets "x", and every character other
// than a letter, digit or "_" becomes "_"; cut to kMaxFieldName.
std::string validFieldName(const std::string& name);

// Valid field names of `names`, unique as matlab.lang.makeUniqueStrings
// makes them: the first of equal names keeps it, the later ones get "_1",
// "_2", ..., passing over names already taken.
std::vector<std::string> uniqueFieldNames(const std::vector<std::string>& names);

}  // namespace vorlex
