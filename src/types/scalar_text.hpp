// SPDX-License-Identifier: BSD-3-Clause
// scalar_text.hpp - numbers, bool and bytea from the text the server
// writes, into what their binary readers give: for a statement whose
// results come as text.
//
//   int2, int4, int8    -12 (into the type's class, or a double)
//   float4, float8      -1.5e-07, Infinity, -Infinity, NaN (shortest
//                       exact text: the same value as the binary form)
//   bool                t, f (logical, or a double 0/1)
//   bytea               \x0102ff (the hex output, the server's default)
#pragma once

#include <cstddef>
#include <string>

#include "types/codecs.hpp"

namespace vorlex {

// bytea's hex text into its bytes; false, with the reason, for text of
// another form.
bool byteaFromText(const char* text, size_t length, std::string& bytes, std::string& error);

}  // namespace vorlex
