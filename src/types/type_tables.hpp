// SPDX-License-Identifier: BSD-3-Clause
// type_tables.hpp - the module's types as libpqtypes registers them,
// derived from the type catalogue (type_catalogue.hpp).
//
// Every connection registers these tables, in this order (connection/connect):
//   1. server types: json and xml, which libpqtypes 1.5.1 does not know,
//      as user-defined types handled by libpqtypes' text procedures;
//   2. the module's sub-classes: date numbers for the five date and time
//      types, the module's own binary numeric codec (found before
//      libpqtypes' numeric, whose procedures fail on values such as 0.5),
//      and the two bytea types whose values are serialised Octave values;
//   3. array types: one per catalogue row, all through the array codec;
//   4. NULL carriers: the pointer form ("%int4*") of the types whose
//      libpqtypes handlers refuse pointers, so that every type can be sent
//      as NULL with a null pointer.
#pragma once

#include <libpqtypes.h>

#include <string>

#include "types/type_catalogue.hpp"

namespace vorlex {

// The schema the module's types are registered under, and the suffix that
// names a type's array type ("int4" + suffix).
inline constexpr const char kTypeSchema[] = "vorlex";
inline constexpr const char kArraySuffix[] = "_array";
// The suffix of a NULL carrier's name ("int4" + suffix).
inline constexpr const char kNullCarrierSuffix[] = "_null";

struct TypeTable {
    PGregisterType* entries;
    int count;
};

TypeTable serverTypes();
TypeTable gatewayTypes();
TypeTable arrayTypes();
TypeTable nullCarrierTypes();

// Whether a handler is one of the module's, registered under its schema.
bool isGatewayHandler(const PGtypeHandler* handler);

// The format a prepared specifier of the pointer form ("T*") stands for:
// "%T*", or the NULL carrier's "%<schema>.T_null*".
std::string pointerFormat(const PgType& type);

}  // namespace vorlex
