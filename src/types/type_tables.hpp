// type_tables.hpp - the gateway's types as libpqtypes registers them.
//
// Every connection registers these tables, in this order (connection/connect):
//   1. server text types: json and xml, which libpqtypes 1.5.1 does not
//      know, as user-defined types handled by libpqtypes' text procedures;
//   2. date/time and serialised types: date numbers for the five date and
//      time types, and the two bytea types whose values are serialised
//      Octave values;
//   3. array types: one per base type, all through the array codec;
//   4. numeric: the gateway's own binary numeric codec, found before
//      libpqtypes' numeric, whose procedures fail on values such as 0.5;
//   5. NULL carriers: the pointer form ("%int4*") of the six types whose
//      libpqtypes handlers refuse pointers, so that every type can be sent
//      as NULL with a null pointer.
#pragma once

#include <libpqtypes.h>

#include <string>

#include "types/codecs.hpp"

namespace vorlex {

// The schema the gateway's types are registered under, and the suffix that
// names a base type's array type ("int4" + suffix).
inline constexpr const char kTypeSchema[] = "vorlex";
inline constexpr const char kArraySuffix[] = "_array";
// The suffix of a NULL carrier's name ("int4" + suffix).
inline constexpr const char kNullCarrierSuffix[] = "_null";

struct TypeTable {
    PGregisterType* entries;
    int count;
};

constexpr int kArrayTypeCount = 21;
constexpr int kDateTimeTypeCount = 7;
constexpr int kServerTextTypeCount = 2;
constexpr int kNullCarrierCount = 6;
constexpr int kSpecifierTypeCount = 21;

// Element codecs of the array types, in the array table's order.
extern const ElementCodec elementCodecs[kArrayTypeCount];

// The element codec of a gateway type name ("int4", "serbytea", ...), or
// null for a name that is not one of them.
const ElementCodec* elementCodecNamed(const char* name);

TypeTable serverTextTypes();
TypeTable dateTimeTypes();
TypeTable arrayTypes();
TypeTable numericTypes();
TypeTable nullCarrierTypes();

// The 21 type names parameters and result columns may name; the 19th and
// 20th are the serialised types.
extern const char* const specifierTypeNames[kSpecifierTypeCount];
inline constexpr const char kSerializedTypeName[] = "serbytea";
inline constexpr const char kSerializedWithNullsTypeName[] = "serbytea_wn";

// The type names of the NULL carriers' base types.
extern const char* const nullCarrierBaseNames[kNullCarrierCount];

// The format a prepared specifier of the pointer form ("T*") stands for:
// "%T*", or the NULL carrier's "%<schema>.T_null*".
std::string pointerFormat(const char* typeName);

// Scalar procedures (type_procedures.cpp).
int putDatenumTimestamp(PGtypeArgs* args);
int putDatenumTime(PGtypeArgs* args);
int putDatenumTimetz(PGtypeArgs* args);
int putDatenumDate(PGtypeArgs* args);
int getDatenumTimestamp(PGtypeArgs* args);
int getDatenumTime(PGtypeArgs* args);
int getDatenumDate(PGtypeArgs* args);
int putNumericText(PGtypeArgs* args);
int getNumericText(PGtypeArgs* args);
int putNullOnly(PGtypeArgs* args);
int getRefused(PGtypeArgs* args);

}  // namespace vorlex
