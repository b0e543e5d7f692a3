// SPDX-License-Identifier: BSD-3-Clause
// type_catalogue.hpp - the PostgreSQL types the module reads and writes,
// one row per type.
//
// A row holds every fact about its type: the name specifiers use, the
// server's type and its OIDs, the Octave class of its values, its kind,
// the element codec, insert's fit rule, how query and the text readers
// read it, and how libpqtypes learns the type.  Everything else is derived
// from the rows: the element codecs, the class of an OID, the registration
// tables (type_tables.hpp), the prepared specifiers of each connection,
// and the list of types that the banner shows.  The types read as the
// server's text have rows of their own (TextForm).  A new type is one new
// row, its procedures in its family's codec, and a sample in the coverage
// test (tests/octave/type_catalogue.tst).
#pragma once

#include <libpqtypes.h>
#include <mex.h>

#include <cstddef>
#include <string>

#include "types/codecs.hpp"
#include "types/type_oids.hpp"

namespace vorlex {

// What values of a type are on the Octave side, which decides the checks
// and the encoding of a value.
enum class TypeKind {
    fixedWidth,  // numbers and bool: the type's own class, or doubles
    dateTime,    // date numbers (doubles)
    textLike,    // char rows, sent as their bytes
    bytes,       // uint8 rows (bytea)
    numeric,     // char rows of decimal text, sent in numeric's binary form
    serialised,  // any value, turned into bytea by the serialise function
};

// How libpqtypes learns the scalar form of a type.
enum class Registration {
    builtIn,      // libpqtypes knows it
    serverType,   // a server type libpqtypes does not know: found by name on the server
    gatewayType,  // the module's sub-class "<schema>.<name>=<base>" with its own procedures
};

// The element procedures of a type; the rest of the element codec (the
// class a writer reads, the creator of decoded arrays) follows from the
// row's class and kind.
struct ElementProcedures {
    int width;  // bytes per element on the wire; 0 when variable
    ElementWriter write;
    ElementSizer size;  // variable-length types only
    ElementReader read;
    FitRule fit;  // insert's check of a number (null: the writer's own checks)
};

// How readTextValue (types/text_values.hpp) takes the server's text of a
// value apart.
enum class TextValueReading { asText, int8, int4, floating, numberMatrix, quotedTexts };

// How query reads the type's columns, and the server's text of its values.
struct TypeReading {
    // query's class of the column ('keepClass': the row's class).  Where it
    // is double and the row's is not, asDouble reads the binary value and
    // textAsDouble the server's text (numeric: under 'numericAsDouble').
    mxClassID queryClass;
    ElementReader asDouble;
    ElementReader text;  // the server's text into the row's class; null: none
    ElementReader textAsDouble;
    TextValueReading textValue;       // of a value
    TextValueReading arrayTextValue;  // of an array of values
};

// The scalar form's registration and procedures (null for built-in types).
struct ScalarForm {
    Registration registration;
    PGtypeProc put;
    PGtypeProc get;
};

struct PgType {
    const char* name;      // the name specifiers use: "int4", "serbytea"
    const char* baseName;  // the server's type: "int4", "bytea"
    Oid oid;
    Oid arrayOid;
    mxClassID classId;  // the class of the type's values in Octave
    TypeKind kind;
    ScalarForm scalar;
    // Sent as NULL through the pointer form of "<name>_null", as the
    // pointer form of libpqtypes' own handler refuses a null pointer.
    bool nullCarrier;
    ElementCodec codec;  // name, base name and OID as above
    FitRule fit;
    TypeReading reading;

    constexpr PgType(const char* typeName, const char* serverName, Oid typeOid, Oid arrayTypeOid,
                     mxClassID valueClass, TypeKind typeKind, ScalarForm scalarForm,
                     bool hasNullCarrier, ElementProcedures element, TypeReading typeReading);
};

// A type read as the text the server would write for it, decoded from its
// binary form (text_forms.hpp): query reads it, and arrays of it, as text.
struct TextForm {
    const char* name;  // the server's type name
    Oid oid;
    Oid arrayOid;
    TextDecoder decode;
};

// Whether values of the kind have a length of their own (bytea, the
// text-like types, numeric and serialised values), kept in cells.
constexpr bool isVariableLength(TypeKind kind) {
    return kind != TypeKind::fixedWidth && kind != TypeKind::dateTime;
}

// Whether doubles are accepted in place of the type's own class.
constexpr bool takesDoubles(TypeKind kind) { return !isVariableLength(kind); }

// The rows, in the order the banner lists them.
struct TypeCatalogue {
    const PgType* rows;
    size_t count;
    const PgType* begin() const { return rows; }
    const PgType* end() const { return rows + count; }
};
TypeCatalogue typeCatalogue();

// The libpqtypes procedures of the row's array type: libpqtypes calls them
// with nothing that says which row they serve, so each row has its own.
struct ArrayProcedures {
    PGtypeProc put;
    PGtypeProc get;
};
ArrayProcedures arrayProceduresOf(const PgType& type);

// The row of a name ("int4", "serbytea"), or null.
const PgType* typeNamed(const char* name);
// The first row of a type OID, or of an array type OID, or null.  bytea's
// OID finds bytea, not the serialised types that share it.
const PgType* typeOfOid(Oid oid);
const PgType* typeOfArrayOid(Oid arrayOid);

// The row a libpqtypes handler stands for: the row of its name whose OID
// it carries; null for any other handler (an array type or a NULL carrier
// named directly, a type without a row).
const PgType* typeOfHandler(const PGtypeHandler* handler);

// The Octave class of a type OID's values (bool: logical, int4: int32,
// text: char, date/time: double, ...); mxUNKNOWN_CLASS for an OID without
// a row.
mxClassID classForTypeOid(Oid oid);

// Whether an OID is one of the date/time types, which the module's own
// handlers read and write as date numbers.
bool isDateTimeOid(Oid oid);
// Whether values of an OID have a length of their own, kept in cells.
bool isVariableLengthOid(Oid oid);
// Whether an OID is one of the character types (text, varchar, bpchar,
// name), whose binary form is the text itself.
bool isCharacterOid(Oid oid);

// The text form of a type OID, or of an array type OID, or null.
const TextForm* textFormOfOid(Oid oid);
const TextForm* textFormOfArrayOid(Oid arrayOid);

// The server's name of a type the module knows without asking: the rows of
// the catalogue and the text forms, arrays named as the server names them
// ("_int4"); empty for any other OID.
std::string knownTypeName(Oid oid);

// The names of the serialised types.
inline constexpr const char kSerializedTypeName[] = "serbytea";
inline constexpr const char kSerializedWithNullsTypeName[] = "serbytea_wn";

// --- Construction of a row ---------------------------------------------------

namespace catalogue_detail {

template <mxClassID Class>
mxArray* createNumeric(mwSize ndim, const mwSize* dims) {
    return mxCreateNumericArray(ndim, dims, Class, mxREAL);
}
inline mxArray* createLogical(mwSize ndim, const mwSize* dims) {
    return mxCreateLogicalArray(ndim, dims);
}
inline mxArray* createCell(mwSize ndim, const mwSize* dims) {
    return mxCreateCellArray(ndim, dims);
}

// Decoded values: cells of variable-length values, else arrays of the class.
constexpr ArrayCreator creatorFor(mxClassID classId, TypeKind kind) {
    if (isVariableLength(kind)) return createCell;
    switch (classId) {
        case mxLOGICAL_CLASS:
            return createLogical;
        case mxINT16_CLASS:
            return createNumeric<mxINT16_CLASS>;
        case mxINT32_CLASS:
            return createNumeric<mxINT32_CLASS>;
        case mxINT64_CLASS:
            return createNumeric<mxINT64_CLASS>;
        case mxSINGLE_CLASS:
            return createNumeric<mxSINGLE_CLASS>;
        default:
            return createNumeric<mxDOUBLE_CLASS>;
    }
}

// What an element writer reads besides doubles: cells for the
// variable-length types, else the class (none more for double).
constexpr mxClassID sourceClassFor(mxClassID classId, TypeKind kind) {
    if (isVariableLength(kind)) return mxCELL_CLASS;
    return classId == mxDOUBLE_CLASS ? mxUNKNOWN_CLASS : classId;
}

}  // namespace catalogue_detail

constexpr PgType::PgType(const char* typeName, const char* serverName, Oid typeOid,
                         Oid arrayTypeOid, mxClassID valueClass, TypeKind typeKind,
                         ScalarForm scalarForm, bool hasNullCarrier, ElementProcedures element,
                         TypeReading typeReading)
    : name(typeName),
      baseName(serverName),
      oid(typeOid),
      arrayOid(arrayTypeOid),
      classId(valueClass),
      kind(typeKind),
      scalar(scalarForm),
      nullCarrier(hasNullCarrier),
      codec{typeName,
            serverName,
            typeOid,
            element.width,
            catalogue_detail::sourceClassFor(valueClass, typeKind),
            element.write,
            element.size,
            element.read,
            catalogue_detail::creatorFor(valueClass, typeKind)},
      fit(element.fit),
      reading(typeReading) {}

}  // namespace vorlex
