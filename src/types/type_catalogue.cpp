// SPDX-License-Identifier: BSD-3-Clause
// type_catalogue.cpp - the rows of the type catalogue and their lookups.
#include "types/type_catalogue.hpp"

#include <cstring>
#include <iterator>

#include "types/pqtypes_private.hpp"
#include "types/type_procedures.hpp"

namespace vorlex {

namespace {

using Kind = TypeKind;
constexpr ScalarForm kBuiltIn{Registration::builtIn, nullptr, nullptr};
constexpr ScalarForm kServerText{Registration::serverType, pqt_put_text, pqt_get_text};
constexpr ScalarForm gateway(PGtypeProc put, PGtypeProc get) {
    return {Registration::gatewayType, put, get};
}
constexpr bool kNullCarrier = true;

constexpr ElementProcedures kText{0, writeText, sizeText, readText};
constexpr ElementProcedures kBytes{0, writeBytea, sizeBytea, readBytea};
constexpr ElementProcedures kSerialised{0, writeBytea, sizeBytea, readSerialised};

// clang-format off
const PgType rows[] = {
    // name, server type, OID, array OID, class, kind, scalar form, NULL carrier,
    // element {width, writer, sizer, reader}
    {"bool", "bool", kBoolOid, kBoolArrayOid, mxLOGICAL_CLASS, Kind::fixedWidth, kBuiltIn,
     kNullCarrier, {1, writeBool, nullptr, readBool}},
    {"bytea", "bytea", kByteaOid, kByteaArrayOid, mxUINT8_CLASS, Kind::bytes, kBuiltIn,
     false, kBytes},
    {"name", "name", kNameOid, kNameArrayOid, mxCHAR_CLASS, Kind::textLike, kBuiltIn,
     false, kText},
    {"text", "text", kTextOid, kTextArrayOid, mxCHAR_CLASS, Kind::textLike, kBuiltIn,
     false, kText},
    {"json", "json", kJsonOid, kJsonArrayOid, mxCHAR_CLASS, Kind::textLike, kServerText,
     false, kText},
    {"xml", "xml", kXmlOid, kXmlArrayOid, mxCHAR_CLASS, Kind::textLike, kServerText,
     false, kText},
    {"bpchar", "bpchar", kBpcharOid, kBpcharArrayOid, mxCHAR_CLASS, Kind::textLike, kBuiltIn,
     false, kText},
    {"varchar", "varchar", kVarcharOid, kVarcharArrayOid, mxCHAR_CLASS, Kind::textLike, kBuiltIn,
     false, kText},
    {"numeric", "numeric", kNumericOid, kNumericArrayOid, mxCHAR_CLASS, Kind::numeric,
     gateway(putNumericText, getNumericText), false,
     {0, writeNumeric, sizeNumeric, readNumeric}},
    {"int2", "int2", kInt2Oid, kInt2ArrayOid, mxINT16_CLASS, Kind::fixedWidth, kBuiltIn,
     kNullCarrier, {2, writeInt2, nullptr, readInt2}},
    {"int4", "int4", kInt4Oid, kInt4ArrayOid, mxINT32_CLASS, Kind::fixedWidth, kBuiltIn,
     kNullCarrier, {4, writeInt4, nullptr, readInt4}},
    {"int8", "int8", kInt8Oid, kInt8ArrayOid, mxINT64_CLASS, Kind::fixedWidth, kBuiltIn,
     kNullCarrier, {8, writeInt8, nullptr, readInt8}},
    {"float4", "float4", kFloat4Oid, kFloat4ArrayOid, mxSINGLE_CLASS, Kind::fixedWidth, kBuiltIn,
     kNullCarrier, {4, writeFloat4, nullptr, readFloat4}},
    {"float8", "float8", kFloat8Oid, kFloat8ArrayOid, mxDOUBLE_CLASS, Kind::fixedWidth, kBuiltIn,
     kNullCarrier, {8, writeFloat8, nullptr, readFloat8}},
    {"date", "date", kDateOid, kDateArrayOid, mxDOUBLE_CLASS, Kind::dateTime,
     gateway(putDatenumDate, getDatenumDate), false, {4, writeDate, nullptr, readDate}},
    {"time", "time", kTimeOid, kTimeArrayOid, mxDOUBLE_CLASS, Kind::dateTime,
     gateway(putDatenumTime, getDatenumTime), false, {8, writeTime, nullptr, readTime}},
    // The zone that follows the time is written as UTC and dropped when read.
    {"timetz", "timetz", kTimetzOid, kTimetzArrayOid, mxDOUBLE_CLASS, Kind::dateTime,
     gateway(putDatenumTimetz, getDatenumTime), false, {12, writeTimetz, nullptr, readTime}},
    {"timestamp", "timestamp", kTimestampOid, kTimestampArrayOid, mxDOUBLE_CLASS, Kind::dateTime,
     gateway(putDatenumTimestamp, getDatenumTimestamp), false,
     {8, writeTimestamp, nullptr, readTimestamp}},
    {"timestamptz", "timestamptz", kTimestamptzOid, kTimestamptzArrayOid, mxDOUBLE_CLASS,
     Kind::dateTime, gateway(putDatenumTimestamp, getDatenumTimestamp), false,
     {8, writeTimestamp, nullptr, readTimestamp}},
    {kSerializedTypeName, "bytea", kByteaOid, kByteaArrayOid, mxUINT8_CLASS, Kind::serialised,
     gateway(pqt_put_bytea, pqt_get_bytea), false, kSerialised},
    {kSerializedWithNullsTypeName, "bytea", kByteaOid, kByteaArrayOid, mxUINT8_CLASS,
     Kind::serialised, gateway(pqt_put_bytea, pqt_get_bytea), false, kSerialised},
};
// clang-format on
static_assert(std::size(rows) == kTypeCount, "kTypeCount counts the catalogue's rows");

}  // namespace

TypeCatalogue typeCatalogue() { return {rows, std::size(rows)}; }

const PgType* typeNamed(const char* name) {
    for (const PgType& type : rows)
        if (std::strcmp(type.name, name) == 0) return &type;
    return nullptr;
}

const PgType* typeOfOid(Oid oid) {
    for (const PgType& type : rows)
        if (type.oid == oid) return &type;
    return nullptr;
}

const PgType* typeOfArrayOid(Oid arrayOid) {
    for (const PgType& type : rows)
        if (type.arrayOid == arrayOid) return &type;
    return nullptr;
}

const PgType* typeOfHandler(const PGtypeHandler* handler) {
    // The OID first: a name is compared only where it matches.
    for (const PgType& type : rows)
        if (type.oid == handler->typoid && std::strcmp(type.name, handler->typname) == 0)
            return &type;
    return nullptr;
}

mxClassID classForTypeOid(Oid oid) {
    const PgType* type = typeOfOid(oid);
    return type ? type->classId : mxUNKNOWN_CLASS;
}

bool isDateTimeOid(Oid oid) {
    const PgType* type = typeOfOid(oid);
    return type && type->kind == TypeKind::dateTime;
}

bool isTextLikeOid(Oid oid) {
    const PgType* type = typeOfOid(oid);
    return type && isVariableLength(type->kind);
}

bool isCharacterOid(Oid oid) {
    return oid == kTextOid || oid == kVarcharOid || oid == kBpcharOid || oid == kNameOid;
}

}  // namespace vorlex
