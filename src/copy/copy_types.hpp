// copy_types.hpp - which column types a binary COPY may fill with the
// bytes of a specifier's type.
//
// A binary COPY does not check types: the server reads each field as the
// column's type, so the bytes of an int8 land in a float8 column as a
// different number.  copyIn therefore sends a specifier's values only into
// a column that reads the same bytes as the same value.
#pragma once

#include <libpq-fe.h>

namespace vorlex {

// The OIDs the rule needs beyond the specifier's own.
namespace copy_oids {
inline constexpr Oid kName = 19;
inline constexpr Oid kText = 25;
inline constexpr Oid kBpchar = 1042;
inline constexpr Oid kVarchar = 1043;
}  // namespace copy_oids

// Whether a column whose type is `column` (under any domains) reads the
// binary form of `sent` as the same value: the type itself, or, among the
// character types text, varchar, bpchar and name, any other of them.
// Arrays match only themselves (the array's element OID is in its bytes).
bool columnTakesBinaryOf(Oid column, Oid sent);

}  // namespace vorlex
