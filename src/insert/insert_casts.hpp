// SPDX-License-Identifier: BSD-3-Clause
// insert_casts.hpp - texts converted by the server into the binary form of
// a column's type, for insert's columns of types the module has no encoder
// for (uuid, interval, inet, arrays of enums, ...).
//
// A column's texts travel as one binary text[] parameter of a statement
// that casts each to the column's type and returns the values in binary,
// ready to be copied into the COPY stream as they are.  All of this runs
// before the COPY starts, so that a text the type refuses is refused
// before anything is stored.
#pragma once

#include <libpq-fe.h>

#include <cstddef>
#include <string>
#include <vector>

#include "copy/copy_in.hpp"
#include "host/owners.hpp"

namespace vorlex {

// The server's values of consecutive rows from `firstRow`: per result row
// a row's ordinal in the slice and its value.
struct CastSlice {
    size_t firstRow;
    ResultOwner result;
    std::vector<int> rowOf;  // each row's result row; empty when they came in order
};

// The server's values of one column, in slices of consecutive rows.
struct CastValues {
    std::vector<CastSlice> slices;
};

// Row `row`'s binary value and its `length`; null for NULL.
const char* castValue(const CastValues& values, size_t row, int& length);

// One column's texts as the elements of a binary text[]: row r's element
// (a 32-bit length, -1 for NULL, and the text's bytes) lies at bytes
// [starts[r], starts[r + 1]) of `elements`.
struct CastTexts {
    const CopyBuffer& elements;
    const std::vector<size_t>& starts;  // one per row, and the end
};

// Casts the texts to `type` (the type's name as the server writes it for
// SQL) on the server, one statement for up to tens of megabytes of texts.
// A text the type refuses (a data exception or a constraint of a domain)
// raises "badValue" with `label`, the first refused row and the server's
// words; any other failure "copyFailed" (or "connectionLost").  Inside a
// transaction block the casts run under a savepoint, so that a refusal
// leaves the block as it was.
CastValues castTexts(PGconn* conn, const std::string& type, const CastTexts& texts,
                     const std::string& label);

}  // namespace vorlex
