// SPDX-License-Identifier: BSD-3-Clause
// param_building.hpp - from a format text and Octave values to the values
// of a libpqtypes parameter set.
//
// A format such as "%int4 %text[]@ #float8" is split by libpqtypes' own
// specifier parser into one ParamRecord per specifier; each record then
// takes one Octave value, checked for shape and class and encoded by one
// encoder, encodeValue, with the element codecs of the type's catalogue
// row.  paramPut puts values one by one from Octave arrays (the direct
// form); the batch command puts every row of its columns through the same
// operation (the slice form), and copyIn encodes them into its stream.
//
// Every failure is raised (GatewayError) under the running command's
// identifier; values put before the failure stay in the set.
#pragma once

#include <libpqtypes.h>
#include <mex.h>

#include <string>
#include <vector>

#include "backend/host_classes.hpp"
#include "types/array_codec.hpp"
#include "types/codecs.hpp"
#include "types/pqtypes_private.hpp"
#include "types/type_catalogue.hpp"

namespace vorlex {

// Record flags besides libpqtypes' specifier flags: "@" followed the array
// specifier, so the value goes as one dimension of all its elements.
constexpr int kSpecFlatten = 0x80;

struct ParamRecord {
    int flags;  // libpqtypes' specifier flags, plus kSpecFlatten
    PGtypeHandler* handler;
    int position;            // the specifier's, counted from 1
    std::string valueClass;  // the class of the value it was made for
    std::string context;     // names the parameter in errors; empty: by contextOf
    bool isArray;
    bool isVariableLength;  // bytea, the text-like types, numeric, serialised values
    bool checkEmptyShape;   // false when "!" followed the array specifier
    bool isNumericLike;     // doubles are accepted in place of the class
    bool isSerialised;      // serbytea or serbytea_wn
    mxClassID classId;      // the Octave class of the type's values
    const PgType* type;     // the type's row of the catalogue
    // insert's NULL elements of arrays besides the mask's: NaN numbers,
    // and [] elements of a cell (isNullCellValue).
    bool nanIsNull;
    bool cellNulls;
};

// "%" or "#", schema, name, "[]" for arrays, "*" for pointers.
std::string specifierText(const PGtypeHandler* handler, int flags);

// The record's specifier as its type was resolved, and the name of its
// parameter in every error about it (made only when one is raised).
std::string specifierOf(const ParamRecord& record);
std::string contextOf(const ParamRecord& record);

// Input `index` as a format text: char, readable, without NUL characters
// (libpqtypes reads a format up to its first NUL).
std::string formatArg(const mxArray* const prhs[], int index);

// Parses the specifier at the start of `format` against `handlers` and
// returns the rest of the format.  A specifier libpqtypes cannot parse
// raises "badFormat" with its text.
const char* parseSpecifier(const char* format, const TypeHandlers& handlers, SpecifierParse& parse);

// One record per value, in format order, parsed against the type handlers
// (a set's or a connection's); `classNames` holds each value's class name
// for the messages.
std::vector<ParamRecord> buildRecords(const char* format, const TypeHandlers& handlers,
                                      const std::vector<std::string>& classNames);

// Where one value comes from.  Direct form (offset < 0): `array`, which
// may be null for an absent value (an unset cell element), or the bytes of
// a cell element read beforehand.  Slice form (offset >= 0): array and
// variable-length records read `slice` at element `offset`; other records read
// element `offset` of `data` (doubles when `isDouble`).
struct ValueSource {
    const mxArray* array = nullptr;
    const ColumnSlice* slice = nullptr;
    const void* data = nullptr;
    bool isDouble = false;
    long long offset = -1;
    // A char or uint8 row of a cell, read with its column (host_cells.hpp)
    // and known to be one: its bytes, in place of `array`.
    const char* rowBytes = nullptr;
    size_t rowLength = 0;
};

// Where an encoded value goes: `reserve` returns room for `size` bytes
// (called once per value, before the bytes are written).
struct ValueRoom {
    char* (*reserve)(void* context, size_t size);
    void* context;
};

// Checks one non-NULL value with its element mask (one byte per element,
// column-major; may be null), writes its binary form into room from
// `room`, and returns its length.  `server` holds the connection's
// settings (date/time and numeric forms).  Serialised values are first turned into bytes by
// the serialise function.  The one encoder of every value the module
// sends: putValue, replaceValue and copyIn call it.
size_t encodeValue(const ValueRoom& room, const ParamRecord& record, const ValueSource& source,
                   const char* mask, const PGtypeFormatInfo& server);

// Refuses ("valueTooLarge") a value of `size` bytes, over what PostgreSQL
// takes for one (kMostValueBytes); `what` names it.
[[noreturn]] void raiseValueTooLarge(const std::string& what, size_t size);

// Puts one value into the set: NULL when `isNull`, else the encoded value.
// The slot is added through libpqtypes as a NULL of the record's type,
// which gives it the type's OID, and then written with encodeValue; a
// value refused leaves the set as it was.
void putValue(PGparam* param, const ParamRecord& record, const ValueSource& source,
              const char* mask, bool isNull);

// Replaces value `slot` of a set filled before with values of the same
// records (the batch command's rows after the first, whose types the
// prepared statement already has): encodeValue writes straight into the
// slot's buffer, with no libpqtypes call per value.
void replaceValue(PGparam* param, int slot, const ParamRecord& record, const ValueSource& source,
                  const char* mask, bool isNull);

// The names of a value wrapper's fields, which mirror resultGet's output.
inline constexpr const char kValueField[] = "value";
inline constexpr const char kMaskField[] = "valueIsNull";
inline constexpr const char kNullFlagField[] = "rowIsNull";

}  // namespace vorlex
