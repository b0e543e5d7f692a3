// SPDX-License-Identifier: BSD-3-Clause
// copy_types.hpp - which column types a binary COPY may fill with the
// bytes of a specifier's type.
//
// A binary COPY does not check types: the server reads each field as the
// column's type, so the bytes of an int8 land in a float8 column as a
// different number.  copyIn therefore sends a specifier's values only into
// a column that reads its bytes as the value batchExec would store.
#pragma once

#include <libpq-fe.h>

namespace vorlex {

// Whether a column whose type is `column` (under any domains) reads the
// binary form of `sent` as the value batchExec would store: the type
// itself, or text, varchar or name into any of text, varchar, bpchar and
// name.  Not bpchar into the others: the bytes keep its trailing blanks,
// which its cast to them drops.  Arrays match only themselves (an array's
// bytes carry its element type).
bool columnTakesBinaryOf(Oid column, Oid sent);

}  // namespace vorlex
