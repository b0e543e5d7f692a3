// type_tables.cpp - the registration tables and the element codec table.
#include "types/type_tables.hpp"

#include <array>
#include <cstring>
#include <utility>

#include "types/array_codec.hpp"
#include "types/pqtypes_private.hpp"

namespace vorlex {

namespace {

template <mxClassID Class>
mxArray* createNumeric(mwSize ndim, const mwSize* dims) {
    return mxCreateNumericArray(ndim, dims, Class, mxREAL);
}
mxArray* createLogical(mwSize ndim, const mwSize* dims) { return mxCreateLogicalArray(ndim, dims); }
mxArray* createCell(mwSize ndim, const mwSize* dims) { return mxCreateCellArray(ndim, dims); }

}  // namespace

// Keep in step with specifierTypeNames' element types and with the array
// registration names built below.
const ElementCodec elementCodecs[kArrayTypeCount] = {
    {"int2", "int2", 21, 2, mxINT16_CLASS, writeInt2, nullptr, readInt2,
     createNumeric<mxINT16_CLASS>},
    {"int4", "int4", 23, 4, mxINT32_CLASS, writeInt4, nullptr, readInt4,
     createNumeric<mxINT32_CLASS>},
    {"int8", "int8", 20, 8, mxINT64_CLASS, writeInt8, nullptr, readInt8,
     createNumeric<mxINT64_CLASS>},
    {"float4", "float4", 700, 4, mxSINGLE_CLASS, writeFloat4, nullptr, readFloat4,
     createNumeric<mxSINGLE_CLASS>},
    {"float8", "float8", 701, 8, mxUNKNOWN_CLASS, writeFloat8, nullptr, readFloat8,
     createNumeric<mxDOUBLE_CLASS>},
    {"bool", "bool", 16, 1, mxLOGICAL_CLASS, writeBool, nullptr, readBool, createLogical},
    {"timestamp", "timestamp", 1114, 8, mxUNKNOWN_CLASS, writeTimestamp, nullptr, readTimestamp,
     createNumeric<mxDOUBLE_CLASS>},
    {"timestamptz", "timestamptz", 1184, 8, mxUNKNOWN_CLASS, writeTimestamp, nullptr, readTimestamp,
     createNumeric<mxDOUBLE_CLASS>},
    {"time", "time", 1083, 8, mxUNKNOWN_CLASS, writeTime, nullptr, readTime,
     createNumeric<mxDOUBLE_CLASS>},
    {"timetz", "timetz", 1266, 12, mxUNKNOWN_CLASS, writeTimetz, nullptr, readTime,
     createNumeric<mxDOUBLE_CLASS>},
    {"date", "date", 1082, 4, mxUNKNOWN_CLASS, writeDate, nullptr, readDate,
     createNumeric<mxDOUBLE_CLASS>},
    {"name", "name", 19, 0, mxCELL_CLASS, writeText, sizeText, readText, createCell},
    {"text", "text", 25, 0, mxCELL_CLASS, writeText, sizeText, readText, createCell},
    {"json", "json", 114, 0, mxCELL_CLASS, writeText, sizeText, readText, createCell},
    {"xml", "xml", 142, 0, mxCELL_CLASS, writeText, sizeText, readText, createCell},
    {"bpchar", "bpchar", 1042, 0, mxCELL_CLASS, writeText, sizeText, readText, createCell},
    {"varchar", "varchar", 1043, 0, mxCELL_CLASS, writeText, sizeText, readText, createCell},
    {"bytea", "bytea", 17, 0, mxCELL_CLASS, writeBytea, sizeBytea, readBytea, createCell},
    {kSerializedTypeName, "bytea", 17, 0, mxCELL_CLASS, writeBytea, sizeBytea, readSerialised,
     createCell},
    {kSerializedWithNullsTypeName, "bytea", 17, 0, mxCELL_CLASS, writeBytea, sizeBytea,
     readSerialised, createCell},
    {"numeric", "numeric", 1700, 0, mxCELL_CLASS, writeNumeric, sizeNumeric, readNumeric,
     createCell},
};

const char* const specifierTypeNames[kSpecifierTypeCount] = {"bool",
                                                             "bytea",
                                                             "name",
                                                             "text",
                                                             "json",
                                                             "xml",
                                                             "bpchar",
                                                             "varchar",
                                                             "numeric",
                                                             "int2",
                                                             "int4",
                                                             "int8",
                                                             "float4",
                                                             "float8",
                                                             "date",
                                                             "time",
                                                             "timetz",
                                                             "timestamp",
                                                             "timestamptz",
                                                             kSerializedTypeName,
                                                             kSerializedWithNullsTypeName};

const ElementCodec* elementCodecNamed(const char* name) {
    for (const ElementCodec& codec : elementCodecs)
        if (std::strcmp(codec.name, name) == 0) return &codec;
    return nullptr;
}

const char* const nullCarrierBaseNames[kNullCarrierCount] = {"bool", "int2",   "int4",
                                                             "int8", "float4", "float8"};

namespace {

template <size_t Row>
int putArrayRow(PGtypeArgs* args) {
    return putArray(args, elementCodecs[Row]);
}

template <size_t Row>
int getArrayRow(PGtypeArgs* args) {
    return getArray(args, elementCodecs[Row]);
}

// "schema.name=base": a sub-class of `base` under the gateway's schema.
std::string subclassName(const std::string& name, const char* base) {
    return std::string(kTypeSchema) + "." + name + "=" + base;
}

// Registration names live as long as the module: libpqtypes reads them
// during every registration.
struct ArrayTable {
    std::array<std::string, kArrayTypeCount> names;
    PGregisterType entries[kArrayTypeCount];

    template <size_t... Rows>
    explicit ArrayTable(std::index_sequence<Rows...>)
        : entries{{nullptr, putArrayRow<Rows>, getArrayRow<Rows>}...} {
        for (size_t row = 0; row < kArrayTypeCount; ++row) {
            names[row] = subclassName(std::string(elementCodecs[row].name) + kArraySuffix,
                                      elementCodecs[row].baseName);
            entries[row].typname = names[row].c_str();
        }
    }
};

struct DateTimeTable {
    std::string names[kDateTimeTypeCount] = {subclassName("timestamp", "timestamp"),
                                             subclassName("timestamptz", "timestamptz"),
                                             subclassName("time", "time"),
                                             subclassName("timetz", "timetz"),
                                             subclassName("date", "date"),
                                             subclassName(kSerializedTypeName, "bytea"),
                                             subclassName(kSerializedWithNullsTypeName, "bytea")};
    PGregisterType entries[kDateTimeTypeCount] = {
        {names[0].c_str(), putDatenumTimestamp, getDatenumTimestamp},
        {names[1].c_str(), putDatenumTimestamp, getDatenumTimestamp},
        {names[2].c_str(), putDatenumTime, getDatenumTime},
        {names[3].c_str(), putDatenumTimetz, getDatenumTime},
        {names[4].c_str(), putDatenumDate, getDatenumDate},
        {names[5].c_str(), pqt_put_bytea, pqt_get_bytea},
        {names[6].c_str(), pqt_put_bytea, pqt_get_bytea}};
};

struct NumericTable {
    std::string name = subclassName("numeric", "numeric");
    PGregisterType entries[1] = {{name.c_str(), putNumericText, getNumericText}};
};

struct NullCarrierTable {
    std::string names[kNullCarrierCount];
    PGregisterType entries[kNullCarrierCount];

    NullCarrierTable() {
        for (int row = 0; row < kNullCarrierCount; ++row) {
            const char* base = nullCarrierBaseNames[row];
            names[row] = subclassName(std::string(base) + kNullCarrierSuffix, base);
            entries[row] = {names[row].c_str(), putNullOnly, getRefused};
        }
    }
};

PGregisterType serverTextEntries[kServerTextTypeCount] = {
    {"json", pqt_put_text, pqt_get_text},
    {"xml", pqt_put_text, pqt_get_text},
};

}  // namespace

TypeTable serverTextTypes() { return {serverTextEntries, kServerTextTypeCount}; }

TypeTable dateTimeTypes() {
    static DateTimeTable table;
    return {table.entries, kDateTimeTypeCount};
}

TypeTable arrayTypes() {
    static ArrayTable table(std::make_index_sequence<kArrayTypeCount>{});
    return {table.entries, kArrayTypeCount};
}

TypeTable numericTypes() {
    static NumericTable table;
    return {table.entries, 1};
}

TypeTable nullCarrierTypes() {
    static NullCarrierTable table;
    return {table.entries, kNullCarrierCount};
}

std::string pointerFormat(const char* typeName) {
    for (const char* base : nullCarrierBaseNames)
        if (std::string(base) == typeName)
            return std::string("%") + kTypeSchema + "." + typeName + kNullCarrierSuffix + "*";
    return std::string("%") + typeName + "*";
}

}  // namespace vorlex
