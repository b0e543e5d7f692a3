// SPDX-License-Identifier: BSD-3-Clause
// insert_numbers.hpp - the host's numbers as values of a column's type, for
// insert: which numbers a type holds, numbers converted to the class its
// codec reads, and numbers written as numeric's decimal text.
//
// A binary COPY stores the bytes it is sent, and the codecs truncate and
// saturate (2.5 would go into an int4 column as 2, NaN as 0): insert checks
// every number against its column's type before anything is sent.
#pragma once

#include <mex.h>

#include <cstddef>

#include "types/type_catalogue.hpp"

namespace vorlex {

// Element `index` of a real numeric or logical array's data of class
// `classId`; a long double holds every value of every class exactly.
long double numberAt(const void* data, mxClassID classId, size_t index);

// Why `value` is no value of `type` (a row of a fixed-width or date/time
// type): "is not a whole number", ...; null when it is one, by the row's
// fit rule.  Date/time types take date numbers; infinities are
// PostgreSQL's infinities where the type has them.
inline const char* misfitReason(long double value, const PgType& type) {
    return type.fit ? type.fit(value) : nullptr;
}

// Whether values of the class are numbers (numeric classes and logical).
bool isNumberClass(mxClassID classId);

// Element `index` of a numeric or logical array as decimal text, the
// shortest that reads back as the same number ("0.1", "-3", "1e+300",
// "nan" for every NaN, "inf"); returns its length.  `out` has room for
// kNumberTextRoom characters.
constexpr size_t kNumberTextRoom = 64;
size_t numberText(const void* data, mxClassID classId, size_t index, char* out);

}  // namespace vorlex
