// SPDX-License-Identifier: BSD-3-Clause
// Numeric codec: PostgreSQL's binary numeric value to its text form and decimal text to that value.
//
// The binary value is what numeric_send writes: uint16 ndigits, int16 weight, uint16 sign,
// uint16 dscale, then ndigits base-10000 digit groups, all big-endian.  The value is
//   sum(group[i] * 10000^(weight - i)), shown with dscale fractional digits.
// ndigits is read and written unsigned: the largest values PostgreSQL holds (131072 digits before
// the point and 16383 after) need up to 36864 groups, and the server sends those counts as they
// are, past the int16 range.
//
// Pure functions on bytes and text; nothing here knows about Octave or libpq.
#pragma once

#include <cstddef>
#include <string>

namespace vorlex {

// Text given for a NaN numeric.
inline constexpr const char kNumericNaNText[] = "NaN";

// Decodes PostgreSQL's binary numeric value into PostgreSQL's text form: "NaN", "Infinity",
// "-Infinity", or [-]integer[.fraction] with exactly dscale fractional digits.  The digits are
// rounded half away from zero to dscale places; a value that rounds to zero has no sign, as the
// server never writes "-0".  A dscale word with bit 15 set counts as 0.
// Returns false and sets `error` (leaving `text` as it was) when the bytes are not a valid value:
// a length other than 8 + 2 * ndigits, a digit group above 9999, an unknown sign word, or a
// dscale above 16383.  Reads only [bytes, bytes + length).
bool decodeNumeric(const unsigned char* bytes, size_t length, std::string& text,
                   std::string& error);

// Encodes decimal text into the binary numeric value, byte for byte what the server's
// numeric_in + numeric_send give for the same text: surrounding whitespace, a sign, digits with
// an optional point and an optional exponent; "NaN" in any case; and, when `allowInfinity` (the
// server knows numeric infinities, version 14 on), "Infinity" or "inf" with an optional sign in
// any case.  Returns false and sets `error` (saying what is wrong and quoting the text, truncated
// if long; `wire` is left as it was) for text that is not a number or is outside PostgreSQL's
// range.  Reads only [text, text + length); the text need not be NUL-terminated.
bool encodeNumeric(const char* text, size_t length, bool allowInfinity, std::string& wire,
                   std::string& error);

}  // namespace vorlex
