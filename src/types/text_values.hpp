// SPDX-License-Identifier: BSD-3-Clause
// text_values.hpp - reading the text the server writes for one value of a
// text-format result into numbers, numeric matrices and text rows.
//
// The type OID's row in the type catalogue picks the reading:
//   int8                        int64 scalar
//   int2, int4                  int32 scalar
//   float4, float8              double scalar, with Infinity, -Infinity and
//                               NaN in any case
//   int2[], int4[], float4[],   double matrix of a one- or two-dimensional
//   float8[]                    array, laid out as the array was written
//   text[]                      one text row per element of a one-
//                               dimensional array whose elements are all
//                               quoted; escapes are kept as written
//   anything else               the text itself
// Every reading falls back to the text itself where the text is empty (a
// NULL) or has a form it does not take apart: an array with NULL elements,
// an empty array, more than two dimensions, explicit bounds, unquoted text
// elements.
//
// Pure functions on [text, text + length): the text need not end in a NUL,
// and nothing past `length` is read whatever the text holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vorlex {

enum class TextValueKind {
    rawText,         // the text as it stands
    int64Scalar,     // `integer`
    int32Scalar,     // `integer`, within the int32 range
    doubleScalar,    // `number`
    doubleMatrix,    // `rows` x `columns` of `matrix`, column-major
    textRows,        // `lines`, one per array element
    truncatedArray,  // a numeric array whose text ends before its last element
};

struct TextValue {
    TextValueKind kind = TextValueKind::rawText;
    int64_t integer = 0;
    double number = 0;
    size_t rows = 0;
    size_t columns = 0;
    std::vector<double> matrix;
    std::vector<std::string> lines;
};

// An array as the server writes it ("{{1,NULL},{3,4}}", "{\"a b\",c}",
// "[0:1]={1,2}"): its extents (bounds are dropped, as the binary reading
// drops them; none for the empty array "{}"), and its elements in written
// order (the last subscript fastest), unquoted and unescaped, NULL
// elements flagged.  Elements are separated by commas, as for every type
// but box.
constexpr int kMostLiteralDims = 6;
struct ArrayLiteral {
    int ndims = 0;
    size_t dims[kMostLiteralDims] = {};
    std::vector<std::string> elements;
    std::vector<bool> isNull;
};

// False, with the reason, for text that is not such an array.
bool parseArrayLiteral(const char* text, size_t length, ArrayLiteral& literal, std::string& error);

// Appends `element` to the text of an array, quoted, '"' and '\' escaped:
// "a\"b".
void appendQuotedElement(std::string& literal, const std::string& element);

// The reading for a value of type `typeOid`.
TextValue readTextValue(uint32_t typeOid, const char* text, size_t length);

// The readings readTextValue chooses from, one per type family.
TextValue readInt8Text(const char* text, size_t length);
TextValue readInt4Text(const char* text, size_t length);
TextValue readFloatText(const char* text, size_t length);
TextValue readNumericArrayText(const char* text, size_t length);
TextValue readTextArrayText(const char* text, size_t length);

}  // namespace vorlex
