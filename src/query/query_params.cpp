// SPDX-License-Identifier: BSD-3-Clause
// query_params.cpp - the class rules and the encoding of a query's values.
#include "query/query_params.hpp"

#include <libpqtypes.h>

#include <cstdint>

#include "backend/host_classes.hpp"
#include "host/errors.hpp"
#include "host/host.hpp"
#include "host/owners.hpp"
#include "params/param_building.hpp"

namespace vorlex {

namespace {

// The type a numeric or logical class is sent as: the smallest that holds
// every value of the class.
struct ClassRule {
    mxClassID classId;
    const char* type;
};

// clang-format off
const ClassRule kClassRules[] = {
    {mxDOUBLE_CLASS, "float8"}, {mxSINGLE_CLASS, "float4"}, {mxINT8_CLASS, "int2"},
    {mxINT16_CLASS, "int2"},    {mxINT32_CLASS, "int4"},    {mxINT64_CLASS, "int8"},
    {mxUINT8_CLASS, "int2"},    {mxUINT16_CLASS, "int4"},   {mxUINT32_CLASS, "int8"},
    {mxLOGICAL_CLASS, "bool"},
};
// clang-format on

bool isNullValue(const mxArray* value) {
    return mxIsDouble(value) && !mxIsSparse(value) && mxGetNumberOfDimensions(value) == 2 &&
           mxGetM(value) == 0 && mxGetN(value) == 0;
}

const ClassRule* ruleOf(mxClassID classId) {
    for (const ClassRule& rule : kClassRules)
        if (classId == rule.classId) return &rule;
    return nullptr;
}

bool isScalar(const mxArray* value) {
    return mxGetNumberOfElements(value) == 1 && mxGetNumberOfDimensions(value) == 2;
}

bool isRowOrEmpty(const mxArray* value) {
    return mxGetNumberOfDimensions(value) == 2 && (mxGetM(value) == 1 || mxIsEmpty(value));
}

void requireTexts(const mxArray* cell, int position) {
    for (size_t i = 0; i < mxGetNumberOfElements(cell); ++i) {
        const mxArray* element = mxGetCell(cell, i);
        if (!element || !mxIsChar(element))
            raiseError("paramClass",
                       "parameter %d: a cell is sent as text[] and holds texts only; element %zu "
                       "is %s",
                       position, i + 1, element ? mxGetClassName(element) : "not set");
    }
}

// The specifier a value's class picks ("" for a NULL of no type).
std::string classSpecifier(const mxArray* value, int position) {
    if (isNullValue(value)) return "";
    if (mxIsSparse(value))
        raiseError("paramSparse", "parameter %d: sparse values cannot be sent; use full()",
                   position);
    if (mxIsComplex(value))
        raiseError("paramComplex", "parameter %d: complex values cannot be sent", position);
    if (mxIsChar(value)) return "%text";
    if (mxIsCell(value)) {
        requireTexts(value, position);
        return "%text[]!";
    }
    if (mxIsUint8(value) && isRowOrEmpty(value)) return "%bytea";
    // Octave names the class to find its number: asked once.
    const ClassRule* rule = ruleOf(classOf(value));
    if (!rule)
        raiseError("paramClass",
                   "parameter %d: %s values cannot be sent; a parameter is a number, logical, "
                   "char row, uint8 row (bytea), cell of texts or [] (NULL)",
                   position, mxGetClassName(value));
    return std::string("%") + rule->type + (isScalar(value) ? "" : "[]!");
}

template <typename From, typename To>
void convertElements(const mxArray* from, mxArray* to) {
    const From* in = static_cast<const From*>(mxGetData(from));
    To* out = static_cast<To*>(mxGetData(to));
    for (size_t i = 0; i < mxGetNumberOfElements(from); ++i) out[i] = static_cast<To>(in[i]);
}

// The value in the class of the type it is sent as (int8 values into
// int2's int16), when that is not its own; null when it is sent as it is.
mxArray* convertedValue(const mxArray* value, mxClassID typeClass) {
    mxClassID classId = classOf(value);
    if (classId == typeClass || !ruleOf(classId)) return nullptr;
    mxArray* converted = mxCreateNumericArray(mxGetNumberOfDimensions(value),
                                              mxGetDimensions(value), typeClass, mxREAL);
    switch (classId) {
        case mxINT8_CLASS:
            convertElements<int8_t, int16_t>(value, converted);
            break;
        case mxUINT8_CLASS:
            convertElements<uint8_t, int16_t>(value, converted);
            break;
        case mxUINT16_CLASS:
            convertElements<uint16_t, int32_t>(value, converted);
            break;
        default:
            convertElements<uint32_t, int64_t>(value, converted);
    }
    return converted;
}

char* reserveInString(void* context, size_t size) {
    auto* bytes = static_cast<std::string*>(context);
    bytes->resize(size);
    return &(*bytes)[0];
}

std::vector<const mxArray*> cellValues(const mxArray* cell) {
    std::vector<const mxArray*> values;
    size_t count = cell ? mxGetNumberOfElements(cell) : 0;
    for (size_t i = 0; i < count; ++i) {
        const mxArray* value = mxGetCell(cell, i);
        if (!value) raiseError("paramClass", "parameter %zu is not set; [] sends NULL", i + 1);
        values.push_back(value);
    }
    return values;
}

}  // namespace

std::vector<const char*> QueryParams::pointers() const {
    std::vector<const char*> list;
    for (size_t i = 0; i < values.size(); ++i)
        list.push_back(isNull[i] ? nullptr : values[i].data());
    return list;
}

std::vector<int> QueryParams::lengths() const {
    std::vector<int> list;
    for (const std::string& value : values) list.push_back(static_cast<int>(value.size()));
    return list;
}

std::vector<int> QueryParams::formats() const { return std::vector<int>(values.size(), 1); }

QueryParams queryParams(PGconn* conn, const mxArray* cell, const std::string* format) {
    std::vector<const mxArray*> values = cellValues(cell);
    std::vector<std::string> classNames;
    std::string classFormat;
    for (size_t i = 0; i < values.size(); ++i) {
        classNames.push_back(mxGetClassName(values[i]));
        if (format) continue;
        std::string specifier = classSpecifier(values[i], static_cast<int>(i) + 1);
        // A NULL of no type still takes a record, which is not used.
        classFormat += (specifier.empty() ? "%text" : specifier) + " ";
    }
    QueryParams params;
    if (values.empty() && !format) return params;

    // The connection's types, read in place (a parameter set would copy
    // all of them first), with the specifiers parsed before.
    TypeHandlers handlers = sharedTypeHandlers(conn);
    if (!handlers.server) raiseError("paramCreateFailed", "the connection's types are missing");
    std::vector<ParamRecord> records =
        buildRecords(format ? format->c_str() : classFormat.c_str(), handlers, classNames);
    const PGtypeFormatInfo& server = *handlers.server;
    for (size_t i = 0; i < values.size(); ++i) {
        const ParamRecord& record = records[i];
        bool isNull = isNullValue(values[i]);
        bool typed = format || !isNull;
        params.types.push_back(typed ? (record.isArray ? record.type->arrayOid : record.type->oid)
                                     : 0);
        params.isNull.push_back(isNull);
        params.values.emplace_back();
        if (isNull) continue;
        HostArrayOwner converted(format ? nullptr : convertedValue(values[i], record.classId));
        ValueSource source;
        source.array = converted ? converted.get() : values[i];
        encodeValue(ValueRoom{reserveInString, &params.values.back()}, record, source, nullptr,
                    server);
    }
    return params;
}

}  // namespace vorlex
