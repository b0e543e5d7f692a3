// SPDX-License-Identifier: BSD-3-Clause
// type_catalogue.cpp - the rows of the type catalogue and their lookups.
#include "types/type_catalogue.hpp"

#include <array>
#include <cstring>
#include <iterator>
#include <utility>

#include "types/array_codec.hpp"
#include "types/codec_datetime.hpp"
#include "types/codec_number.hpp"
#include "types/codec_text.hpp"
#include "types/pqtypes_private.hpp"
#include "types/text_forms.hpp"
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

constexpr ElementProcedures kText{0, writeText, sizeText, readText, nullptr};
constexpr ElementProcedures kBytes{0, writeBytea, sizeBytea, readBytea, nullptr};
constexpr ElementProcedures kSerialised{0, writeBytea, sizeBytea, readSerialised, nullptr};

using Text = TextValueReading;
// Values read as they stand: the text-like types and bytea.
constexpr TypeReading plainReading(mxClassID queryClass) {
    return {queryClass, nullptr, nullptr, nullptr, Text::asText, Text::asText};
}
constexpr TypeReading kAsText = plainReading(mxCHAR_CLASS);
constexpr TypeReading kAsBytes = plainReading(mxUINT8_CLASS);
constexpr TypeReading dateTimeReading(ElementReader text) {
    return {mxDOUBLE_CLASS, nullptr, text, nullptr, Text::asText, Text::asText};
}

// clang-format off
constexpr PgType rows[] = {
    // name, server type, OID, array OID, class, kind, scalar form, NULL carrier,
    // element {width, writer, sizer, reader, fit rule},
    // reading {query's class, as double, text, text as double, text value, array's}
    {"bool", "bool", kBoolOid, kBoolArrayOid, mxLOGICAL_CLASS, Kind::fixedWidth, kBuiltIn,
     kNullCarrier, {1, writeBool, nullptr, readBool, fitBool},
     {mxDOUBLE_CLASS, readBoolAsDouble, readBoolText<mxLogical>, readBoolText<double>,
      Text::asText, Text::asText}},
    {"bytea", "bytea", kByteaOid, kByteaArrayOid, mxUINT8_CLASS, Kind::bytes, kBuiltIn,
     false, kBytes, kAsBytes},
    {"name", "name", kNameOid, kNameArrayOid, mxCHAR_CLASS, Kind::textLike, kBuiltIn,
     false, kText, kAsText},
    {"text", "text", kTextOid, kTextArrayOid, mxCHAR_CLASS, Kind::textLike, kBuiltIn,
     false, kText,
     {mxCHAR_CLASS, nullptr, nullptr, nullptr, Text::asText, Text::quotedTexts}},
    {"json", "json", kJsonOid, kJsonArrayOid, mxCHAR_CLASS, Kind::textLike, kServerText,
     false, kText, kAsText},
    {"xml", "xml", kXmlOid, kXmlArrayOid, mxCHAR_CLASS, Kind::textLike, kServerText,
     false, kText, kAsText},
    {"bpchar", "bpchar", kBpcharOid, kBpcharArrayOid, mxCHAR_CLASS, Kind::textLike, kBuiltIn,
     false, kText, kAsText},
    {"varchar", "varchar", kVarcharOid, kVarcharArrayOid, mxCHAR_CLASS, Kind::textLike, kBuiltIn,
     false, kText, kAsText},
    {"numeric", "numeric", kNumericOid, kNumericArrayOid, mxCHAR_CLASS, Kind::numeric,
     gateway(putNumericText, getNumericText), false,
     {0, writeNumeric, sizeNumeric, readNumeric, nullptr},
     {mxCHAR_CLASS, readNumericDouble, nullptr, readDecimalDouble, Text::asText, Text::asText}},
    {"int2", "int2", kInt2Oid, kInt2ArrayOid, mxINT16_CLASS, Kind::fixedWidth, kBuiltIn,
     kNullCarrier, {2, writeInt2, nullptr, readInt2, fitInt2},
     {mxDOUBLE_CLASS, readInt2AsDouble, readIntegerText<int16_t, int16_t>,
      readIntegerText<int16_t, double>, Text::int4, Text::numberMatrix}},
    {"int4", "int4", kInt4Oid, kInt4ArrayOid, mxINT32_CLASS, Kind::fixedWidth, kBuiltIn,
     kNullCarrier, {4, writeInt4, nullptr, readInt4, fitInt4},
     {mxDOUBLE_CLASS, readInt4AsDouble, readIntegerText<int32_t, int32_t>,
      readIntegerText<int32_t, double>, Text::int4, Text::numberMatrix}},
    {"int8", "int8", kInt8Oid, kInt8ArrayOid, mxINT64_CLASS, Kind::fixedWidth, kBuiltIn,
     kNullCarrier, {8, writeInt8, nullptr, readInt8, fitInt8},
     {mxDOUBLE_CLASS, readInt8AsDouble, readIntegerText<int64_t, int64_t>, readInt8TextAsDouble,
      Text::int8, Text::asText}},
    {"float4", "float4", kFloat4Oid, kFloat4ArrayOid, mxSINGLE_CLASS, Kind::fixedWidth, kBuiltIn,
     kNullCarrier, {4, writeFloat4, nullptr, readFloat4, fitFloat4},
     {mxSINGLE_CLASS, nullptr, readFloatingText<float, float>, nullptr, Text::floating,
      Text::numberMatrix}},
    {"float8", "float8", kFloat8Oid, kFloat8ArrayOid, mxDOUBLE_CLASS, Kind::fixedWidth, kBuiltIn,
     kNullCarrier, {8, writeFloat8, nullptr, readFloat8, nullptr},
     {mxDOUBLE_CLASS, nullptr, readFloatingText<double, double>, nullptr, Text::floating,
      Text::numberMatrix}},
    {"date", "date", kDateOid, kDateArrayOid, mxDOUBLE_CLASS, Kind::dateTime,
     gateway(putDatenumDate, getDatenumDate), false, {4, writeDate, nullptr, readDate, fitDate},
     dateTimeReading(readDateText)},
    {"time", "time", kTimeOid, kTimeArrayOid, mxDOUBLE_CLASS, Kind::dateTime,
     gateway(putDatenumTime, getDatenumTime), false, {8, writeTime, nullptr, readTime, fitTime},
     dateTimeReading(readTimeText)},
    // The zone that follows the time is written as UTC and dropped when read.
    {"timetz", "timetz", kTimetzOid, kTimetzArrayOid, mxDOUBLE_CLASS, Kind::dateTime,
     gateway(putDatenumTimetz, getDatenumTime), false,
     {12, writeTimetz, nullptr, readTime, fitTime}, dateTimeReading(readTimetzText)},
    {"timestamp", "timestamp", kTimestampOid, kTimestampArrayOid, mxDOUBLE_CLASS, Kind::dateTime,
     gateway(putDatenumTimestamp, getDatenumTimestamp), false,
     {8, writeTimestamp, nullptr, readTimestamp, fitTimestamp},
     dateTimeReading(readTimestampText)},
    {"timestamptz", "timestamptz", kTimestamptzOid, kTimestamptzArrayOid, mxDOUBLE_CLASS,
     Kind::dateTime, gateway(putDatenumTimestamp, getDatenumTimestamp), false,
     {8, writeTimestamp, nullptr, readTimestamp, fitTimestamp},
     dateTimeReading(readTimestamptzText)},
    {kSerializedTypeName, "bytea", kByteaOid, kByteaArrayOid, mxUINT8_CLASS, Kind::serialised,
     gateway(pqt_put_bytea, pqt_get_bytea), false, kSerialised, kAsBytes},
    {kSerializedWithNullsTypeName, "bytea", kByteaOid, kByteaArrayOid, mxUINT8_CLASS,
     Kind::serialised, gateway(pqt_put_bytea, pqt_get_bytea), false, kSerialised, kAsBytes},
};

// The types read as text: name, OID, array OID, decoder.
constexpr TextForm forms[] = {
    {"jsonb", kJsonbOid, kJsonbArrayOid, jsonbText},
    {"uuid", kUuidOid, kUuidArrayOid, uuidText},
    {"interval", kIntervalOid, kIntervalArrayOid, intervalText},
    {"inet", kInetOid, kInetArrayOid, inetText},
    {"cidr", kCidrOid, kCidrArrayOid, inetText},
    {"macaddr", kMacaddrOid, kMacaddrArrayOid, macaddrText},
    {"macaddr8", kMacaddr8Oid, kMacaddr8ArrayOid, macaddrText},
};
// clang-format on
constexpr size_t kTypeCount = std::size(rows);

template <size_t Row>
int putArrayRow(PGtypeArgs* args) {
    return putArray(args, rows[Row].codec);
}

template <size_t Row>
int getArrayRow(PGtypeArgs* args) {
    return getArray(args, rows[Row].codec);
}

template <size_t... Rows>
constexpr std::array<ArrayProcedures, kTypeCount> arrayProceduresOfRows(
    std::index_sequence<Rows...>) {
    return {{{putArrayRow<Rows>, getArrayRow<Rows>}...}};
}

constexpr std::array<ArrayProcedures, kTypeCount> arrayProcedures =
    arrayProceduresOfRows(std::make_index_sequence<kTypeCount>{});

}  // namespace

TypeCatalogue typeCatalogue() { return {rows, kTypeCount}; }

ArrayProcedures arrayProceduresOf(const PgType& type) {
    return arrayProcedures[static_cast<size_t>(&type - rows)];
}

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

bool isVariableLengthOid(Oid oid) {
    const PgType* type = typeOfOid(oid);
    return type && isVariableLength(type->kind);
}

bool isCharacterOid(Oid oid) {
    return oid == kTextOid || oid == kVarcharOid || oid == kBpcharOid || oid == kNameOid;
}

const TextForm* textFormOfOid(Oid oid) {
    for (const TextForm& form : forms)
        if (form.oid == oid) return &form;
    return nullptr;
}

const TextForm* textFormOfArrayOid(Oid arrayOid) {
    for (const TextForm& form : forms)
        if (form.arrayOid == arrayOid) return &form;
    return nullptr;
}

std::string knownTypeName(Oid oid) {
    if (const PgType* type = typeOfOid(oid)) return type->baseName;
    if (const PgType* type = typeOfArrayOid(oid)) return std::string("_") + type->baseName;
    if (const TextForm* form = textFormOfOid(oid)) return form->name;
    if (const TextForm* form = textFormOfArrayOid(oid)) return std::string("_") + form->name;
    return "";
}

}  // namespace vorlex
