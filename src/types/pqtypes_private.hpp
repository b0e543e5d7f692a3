// SPDX-License-Identifier: BSD-3-Clause
// pqtypes_private.hpp - what the module does with libpqtypes beyond its
// public API, as named operations.
//
// libpqtypes keeps its type handlers, prepared specifiers and the values
// of a parameter set in structures its public header leaves out
// (pqtypes_layout.hpp).  pqtypes_private.cpp is the only file that reads or
// writes them; everything the module needs from them is one of the
// operations below.
#pragma once

#include <libpq-fe.h>
#include <libpqtypes.h>

#include <cstddef>
#include <vector>

extern "C" {

// libpqtypes' own procedures of bytea and text, exported but declared only
// in its sources: the module's sub-classes of bytea and the server types
// libpqtypes does not know are sent and read with them.
int pqt_put_bytea(PGtypeArgs* args);
int pqt_get_bytea(PGtypeArgs* args);
int pqt_put_text(PGtypeArgs* args);
int pqt_get_text(PGtypeArgs* args);

}  // extern "C"

namespace vorlex {

// Specifier flags set by libpqtypes' specifier parser.
constexpr int kSpecCaseFolded = 0x01;
constexpr int kSpecArray = 0x02;
constexpr int kSpecPointer = 0x04;
constexpr int kSpecInvalid = 0x08;
constexpr int kSpecByName = 0x10;

// --- The layout at run time --------------------------------------------------

// What the installed libpqtypes shows of the layout the module was built
// for (pqtypes_layout.hpp), checked on `conn` after PQinitTypes and before
// any type is registered: one int4 is put into a scratch set through the
// public PQputf and read back through the mirror (count, OID, length,
// format, bytes), the set's copy of the type data is compared with the
// connection's, and the handlers are looked up by name and by id.
enum class TypesLayout {
    known,
    // All as built for, but for the number of built-in handlers, which only
    // the specifiers kept for shared type data rely on: results copy their
    // types instead, as libpqtypes does by itself.
    builtInsDiffer,
    // A set's values or the type data are not where the module writes them:
    // the module cannot put a value, nor register its types.
    unknown,
};
TypesLayout checkTypesLayout(PGconn* conn);

// --- Type handlers ----------------------------------------------------------

struct SharedTypeData;

// The type handlers that specifiers are parsed against, and the server's
// server settings (date/time and numeric forms).  `handlers` is null when
// libpqtypes has no type data for the object.  `shared` is the copy a
// result shares with its connection (or that a parameter set copied, index
// for index), which keeps the specifiers parsed against it; null for other
// handlers.
struct TypeHandlers {
    PGtypeHandler* handlers;
    int count;
    const PGtypeFormatInfo* server;
    SharedTypeData* shared = nullptr;
};
TypeHandlers connectionTypeHandlers(const PGconn* conn);
// The type data a result carries (its connection's when it was made).
TypeHandlers resultTypeHandlers(const PGresult* result);
// The copy a set took of its connection's type data when it was created.
TypeHandlers paramTypeHandlers(const PGparam* param);
// The copy of a connection's handlers that its results share (the handlers
// registered at connect), with the specifiers parsed against it kept; the
// connection's own handlers while it shares none.
TypeHandlers sharedTypeHandlers(const PGconn* conn);

// The handler of `schema`.`name` (any schema when `schema` is null) among
// the connection's registered handlers, or null.
PGtypeHandler* findTypeHandler(const PGconn* conn, const char* schema, const char* name);

// Makes room for `extra` more type handlers on the connection; false when
// out of memory.  libpqtypes 1.5.1 grows the handler array while
// registering a sub-class and then reads the base type through a pointer
// into the array it just freed when the base is itself a registered type
// (json, xml): with the room made beforehand, registration never moves the
// array.
bool reserveTypeHandlers(PGconn* conn, int extra);

// Results share their connection's type data instead of copying it.
// libpqtypes copies the connection's handlers and prepared specifiers into
// every result made on it, tens of kilobytes made and freed per result.
// Once shared, a connection and all its results use one copy, taken when
// sharing starts and released with the last of them, so that a result
// outlives its connection with its types intact; libpqtypes' functions see
// a result's type data as before.  prepareTypeSharing runs before
// PQinitTypes and shareTypeData once the types are registered and the
// specifiers prepared (results made in between take their own copies);
// each returns false when it cannot (out of memory, or called out of turn).
bool prepareTypeSharing(PGconn* conn);
bool shareTypeData(PGconn* conn);

// A new parameter set of `conn` (PQparamCreate), null when libpq has no
// memory.  Every set the module makes comes from here: the specifiers put
// into it are parsed as a result's are, with those parsed before kept.
PGparam* createParam(PGconn* conn);

// --- Specifiers ---------------------------------------------------------------

// Where libpqtypes' specifier parser has got to in a format.
struct SpecifierParse {
    PGtypeHandler* handler = nullptr;  // null when only other text was passed
    int flags = 0;                     // the specifier's flags
    int position = 0;                  // 1-based; counts the specifiers parsed
};

// Parses the specifier at the start of `format` and returns the rest of
// the format, or null with libpqtypes' error text pending when the
// specifier cannot be parsed.  Against a shared copy of type data, a
// specifier parsed before is not parsed again: libpqtypes finds a type by
// comparing its name with every handler's.
const char* parseTypeSpecifier(const char* format, const TypeHandlers& handlers,
                               SpecifierParse& parse);

// --- Values of a parameter set ------------------------------------------------

// The type OID of value `slot`.
Oid paramValueOid(const PGparam* param, int slot);

// Value `slot` of a set, to be written by writeSlotValue, and the set's
// server settings (date/time and numeric forms) to encode it with.
struct ParamSlot {
    void* value;
    const PGtypeFormatInfo* server;
};
ParamSlot paramSlot(PGparam* param, int slot);

// Room for `size` bytes in the slot's own buffer (grown as needed; the
// set releases it), which from now on holds the slot's value: those bytes,
// in binary format.  A zero-length value is empty, not NULL.  Its shape
// is that of a ValueRoom's reserve procedure (params/param_building.hpp),
// with the slot as context; it throws std::bad_alloc when out of memory.
char* writeSlotValue(void* slot, size_t size);

// Makes value `slot` NULL.
void setSlotNull(PGparam* param, int slot);

// Forgets the last value put into the set (keeping its buffer for reuse).
void dropLastValue(PGparam* param);

// Appends a NULL value of type `oid` in binary format, as PQputf with a
// null pointer would, without libpqtypes' clearing of its 17 KB error
// record on every call; the slot keeps any buffer it had.  Throws
// std::bad_alloc when out of memory.
void appendNullValue(PGparam* param, Oid oid);

// The values of a set as libpq's PQsendQueryParams and PQsendQueryPrepared
// take them (what PQparamSendQuery passes, without its error clearing).
// The arrays point into the set: valid until it changes.
struct ParamArrays {
    std::vector<Oid> types;
    std::vector<const char*> values;  // null: NULL
    std::vector<int> lengths;
    std::vector<int> wireFormats;  // 1 binary, 0 text
    int count() const { return static_cast<int>(values.size()); }
};

// Fills `arrays` with the set's values (none for a null set), reusing
// their room.
void fillParamArrays(const PGparam* param, ParamArrays& arrays);

}  // namespace vorlex
