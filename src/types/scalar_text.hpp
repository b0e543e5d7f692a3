// SPDX-License-Identifier: BSD-3-Clause
// scalar_text.hpp - bytea from the text the server writes (\x0102ff, the
// hex output, its default), into what its binary reader gives: for a
// statement whose results come as text.
#pragma once

#include <cstddef>
#include <string>

namespace vorlex {

// bytea's hex text into its bytes; false, with the reason, for text of
// another form.
bool byteaFromText(const char* text, size_t length, std::string& bytes, std::string& error);

}  // namespace vorlex
