// SPDX-License-Identifier: BSD-3-Clause
// query_params.cpp - the conversion of a query's values to the server's
// types, the class rules where the server has none, and the values named by
// a format.
#include "query/query_params.hpp"

#include <libpqtypes.h>

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "backend/host_classes.hpp"
#include "host/errors.hpp"
#include "host/host.hpp"
#include "host/owners.hpp"
#include "params/param_building.hpp"
#include "results/server_types.hpp"
#include "types/array_codec.hpp"
#include "types/codecs.hpp"
#include "types/text_values.hpp"
#include "types/type_catalogue.hpp"
#include "types/type_oids.hpp"
#include "types/wire.hpp"

namespace vorlex {

namespace {

// --- What a value is ----------------------------------------------------------

enum class ValueKind : uint8_t { null, number, logical, text, texts, bytes };

bool isNullValue(const mxArray* value) {
    return mxIsDouble(value) && !mxIsSparse(value) && mxGetNumberOfDimensions(value) == 2 &&
           mxGetM(value) == 0 && mxGetN(value) == 0;
}

bool isScalar(const mxArray* value) {
    return mxGetNumberOfElements(value) == 1 && mxGetNumberOfDimensions(value) == 2;
}

bool isRowOrEmpty(const mxArray* value) {
    return mxGetNumberOfDimensions(value) == 2 && (mxGetM(value) == 1 || mxIsEmpty(value));
}

// A uint8 row is bytes first; where the server's type is not bytea it is
// a number (or numbers) as any other numeric value.
ValueKind kindOfValue(const mxArray* value, mxClassID classId) {
    if (isNullValue(value)) return ValueKind::null;
    switch (classId) {
        case mxCHAR_CLASS:
            return ValueKind::text;
        case mxCELL_CLASS:
            return ValueKind::texts;
        case mxLOGICAL_CLASS:
            return ValueKind::logical;
        case mxUINT8_CLASS:
            return isRowOrEmpty(value) ? ValueKind::bytes : ValueKind::number;
        default:
            return ValueKind::number;
    }
}

// --- The class rules: a type for a value the server cannot type ---------------

struct ClassRule {
    mxClassID classId;
    Oid type;
    Oid arrayType;
};

// The smallest type that holds every value of the class.
// clang-format off
const ClassRule kClassRules[] = {
    {mxDOUBLE_CLASS, kFloat8Oid, kFloat8ArrayOid}, {mxSINGLE_CLASS, kFloat4Oid, kFloat4ArrayOid},
    {mxINT8_CLASS, kInt2Oid, kInt2ArrayOid},       {mxINT16_CLASS, kInt2Oid, kInt2ArrayOid},
    {mxINT32_CLASS, kInt4Oid, kInt4ArrayOid},      {mxINT64_CLASS, kInt8Oid, kInt8ArrayOid},
    {mxUINT8_CLASS, kInt2Oid, kInt2ArrayOid},      {mxUINT16_CLASS, kInt4Oid, kInt4ArrayOid},
    {mxUINT32_CLASS, kInt8Oid, kInt8ArrayOid},     {mxUINT64_CLASS, kNumericOid, kNumericArrayOid},
    {mxLOGICAL_CLASS, kBoolOid, kBoolArrayOid},
};
// clang-format on

[[noreturn]] void refuseClass(const mxArray* value, int position) {
    raiseError("paramClass",
               "parameter %d: %s values cannot be sent; a parameter is a number, logical, "
               "char row, uint8 row (bytea), cell of texts or [] (NULL)",
               position, mxGetClassName(value));
}

// A cell holds char rows, or [] for a NULL element.
void requireTexts(const mxArray* cell, int position) {
    for (size_t i = 0; i < mxGetNumberOfElements(cell); ++i) {
        const mxArray* element = mxGetCell(cell, i);
        if (!element || !(mxIsChar(element) || isNullValue(element)))
            raiseError("paramClass",
                       "parameter %d: a cell holds texts, or [] for NULL; element %zu is %s",
                       position, i + 1, element ? mxGetClassName(element) : "not set");
    }
}

// The type of a value's class (0 for NULL, which takes text).
Oid classType(const mxArray* value, mxClassID classId, ValueKind kind, int position) {
    switch (kind) {
        case ValueKind::null:
            return kTextOid;
        case ValueKind::text:
            return kTextOid;
        case ValueKind::texts:
            requireTexts(value, position);
            return kTextArrayOid;
        case ValueKind::bytes:
            return kByteaOid;
        default:
            break;
    }
    for (const ClassRule& rule : kClassRules)
        if (rule.classId == classId) return isScalar(value) ? rule.type : rule.arrayType;
    refuseClass(value, position);
}

// The checks every value passes, whatever its type.
void checkValue(const mxArray* value, int position) {
    if (mxIsSparse(value))
        raiseError("paramSparse", "parameter %d: sparse values cannot be sent; use full()",
                   position);
    if (mxIsComplex(value))
        raiseError("paramComplex", "parameter %d: complex values cannot be sent", position);
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

// --- Targets -----------------------------------------------------------------

struct TargetRow {
    Oid oid;
    Oid arrayOid;
    TargetKind kind;
};

// The types a value other than text converts to.  Arrays of interval are
// not among them: their elements are sent as text only.
// clang-format off
const TargetRow kTargets[] = {
    {kInt2Oid, kInt2ArrayOid, TargetKind::int2},
    {kInt4Oid, kInt4ArrayOid, TargetKind::int4},
    {kInt8Oid, kInt8ArrayOid, TargetKind::int8},
    {kFloat4Oid, kFloat4ArrayOid, TargetKind::float4},
    {kFloat8Oid, kFloat8ArrayOid, TargetKind::float8},
    {kNumericOid, kNumericArrayOid, TargetKind::numeric},
    {kBoolOid, kBoolArrayOid, TargetKind::boolean},
    {kDateOid, kDateArrayOid, TargetKind::date},
    {kTimeOid, kTimeArrayOid, TargetKind::time},
    {kTimetzOid, kTimetzArrayOid, TargetKind::timetz},
    {kTimestampOid, kTimestampArrayOid, TargetKind::timestamp},
    {kTimestamptzOid, kTimestamptzArrayOid, TargetKind::timestamptz},
    {kIntervalOid, 0, TargetKind::interval},
    {kByteaOid, 0, TargetKind::bytea},
};
// clang-format on

// Array types the module sends only text to, known without asking the
// server: those of the catalogue's text-like types and of the types read
// as text.
bool isTextArrayOid(Oid oid) {
    return typeOfArrayOid(oid) != nullptr || textFormOfArrayOid(oid) != nullptr;
}

// False for a type the module does not know.
bool findTarget(Oid oid, ParamTarget& target) {
    for (const TargetRow& row : kTargets) {
        if (oid == row.oid || (row.arrayOid && oid == row.arrayOid)) {
            target.kind = row.kind;
            target.isArray = oid != row.oid;
            return true;
        }
    }
    target.kind = TargetKind::other;
    target.isArray = isTextArrayOid(oid);
    return target.isArray;
}

// A domain leads to its base type, an array to its element type, until a
// type the module knows; an array type of any element is an array.
void findThroughServer(const ServerTypes& types, Oid oid, ParamTarget& target) {
    bool isArray = false;
    for (size_t step = 0; step <= types.size(); ++step) {
        ParamTarget found;
        if (findTarget(oid, found)) {
            if (!(isArray && found.isArray)) target.kind = found.kind;
            target.isArray = isArray || found.isArray;
            return;
        }
        auto type = types.find(oid);
        if (type == types.end()) break;
        const ServerType& server = type->second;
        if (server.kind == 'd') {
            oid = server.base;
        } else if (server.element && !isArray) {
            oid = server.element;
            isArray = true;
        } else {
            break;
        }
    }
    target.isArray = isArray;
}

// --- Numbers -----------------------------------------------------------------

// One element of a numeric or logical array, exact for every class.
struct Number {
    double real;     // rounded for 64-bit integers beyond 2^53
    bool isInteger;  // of an integer class (or logical): sign and magnitude are exact
    bool negative;
    uint64_t magnitude;
    mxClassID classId;
};

template <typename T>
Number integerNumber(const void* data, size_t index, mxClassID classId) {
    T value = static_cast<const T*>(data)[index];
    Number number{static_cast<double>(value), true, value < 0, 0, classId};
    number.magnitude =
        number.negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    return number;
}

Number numberAt(const mxArray* array, mxClassID classId, size_t index) {
    const void* data = mxGetData(array);
    switch (classId) {
        case mxDOUBLE_CLASS:
            return {static_cast<const double*>(data)[index], false, false, 0, classId};
        case mxSINGLE_CLASS:
            return {static_cast<const float*>(data)[index], false, false, 0, classId};
        case mxLOGICAL_CLASS:
            return integerNumber<uint8_t>(data, index, classId);
        case mxINT8_CLASS:
            return integerNumber<int8_t>(data, index, classId);
        case mxUINT8_CLASS:
            return integerNumber<uint8_t>(data, index, classId);
        case mxINT16_CLASS:
            return integerNumber<int16_t>(data, index, classId);
        case mxUINT16_CLASS:
            return integerNumber<uint16_t>(data, index, classId);
        case mxINT32_CLASS:
            return integerNumber<int32_t>(data, index, classId);
        case mxUINT32_CLASS:
            return integerNumber<uint32_t>(data, index, classId);
        case mxINT64_CLASS:
            return integerNumber<int64_t>(data, index, classId);
        default:
            return integerNumber<uint64_t>(data, index, classId);
    }
}

// The shortest decimal text that reads back as the number (as the class
// holds it), as numeric's input takes it.
std::string numberText(const Number& number) {
    if (number.isInteger) return (number.negative ? "-" : "") + std::to_string(number.magnitude);
    if (std::isnan(number.real)) return "NaN";
    if (std::isinf(number.real)) return number.real > 0 ? "Infinity" : "-Infinity";
    char text[40];
    std::to_chars_result end =
        number.classId == mxSINGLE_CLASS
            ? std::to_chars(text, text + sizeof text, static_cast<float>(number.real))
            : std::to_chars(text, text + sizeof text, number.real);
    return std::string(text, end.ptr);
}

// The whole numbers of an integer type.
struct IntegerRange {
    int64_t least;
    int64_t most;
};

IntegerRange rangeOf(TargetKind kind) {
    switch (kind) {
        case TargetKind::int2:
            return {INT16_MIN, INT16_MAX};
        case TargetKind::int4:
            return {INT32_MIN, INT32_MAX};
        default:
            return {INT64_MIN, INT64_MAX};
    }
}

// The number as a whole number of `range`; false when it is none.
bool wholeNumber(const Number& number, IntegerRange range, int64_t& whole) {
    if (number.isInteger) {
        uint64_t limit = number.negative ? 0 - static_cast<uint64_t>(range.least)
                                         : static_cast<uint64_t>(range.most);
        if (number.magnitude > limit) return false;
        whole = number.negative ? static_cast<int64_t>(0 - number.magnitude)
                                : static_cast<int64_t>(number.magnitude);
        return true;
    }
    // 2^63 is the first double beyond int8; every smaller whole double fits.
    double real = number.real;
    if (!(std::trunc(real) == real) || real < static_cast<double>(range.least) ||
        real >= -static_cast<double>(INT64_MIN) || real > static_cast<double>(range.most))
        return false;
    whole = static_cast<int64_t>(real);
    return true;
}

// --- The conversion rules ----------------------------------------------------

enum class Conversion : uint8_t {
    serverText,       // a char row as text, for the server to read
    arrayText,        // a cell of texts as an array's text
    byteRow,          // a uint8 row as bytea
    wholeNumber,      // an integer type: whole and in range
    realNumber,       // float4, float8
    decimalText,      // numeric, as decimal text
    truthValue,       // bool: a logical, or 0 or 1
    dateNumber,       // date and time types without a zone
    zonedDateNumber,  // timestamptz: the date number's instant
    days,             // interval
};

struct ConversionRule {
    ValueKind value;
    TargetKind target;  // other: every type
    Conversion how;
};

// What each kind of value becomes in each kind of server type; a value and
// type without a row are refused.  A number or logical goes into an array
// type elementwise when it is not a scalar.
// clang-format off
const ConversionRule kConversions[] = {
    {ValueKind::text,    TargetKind::other,       Conversion::serverText},
    {ValueKind::texts,   TargetKind::other,       Conversion::arrayText},
    {ValueKind::bytes,   TargetKind::bytea,       Conversion::byteRow},
    {ValueKind::number,  TargetKind::int2,        Conversion::wholeNumber},
    {ValueKind::number,  TargetKind::int4,        Conversion::wholeNumber},
    {ValueKind::number,  TargetKind::int8,        Conversion::wholeNumber},
    {ValueKind::number,  TargetKind::float4,      Conversion::realNumber},
    {ValueKind::number,  TargetKind::float8,      Conversion::realNumber},
    {ValueKind::number,  TargetKind::numeric,     Conversion::decimalText},
    {ValueKind::number,  TargetKind::boolean,     Conversion::truthValue},
    {ValueKind::logical, TargetKind::boolean,     Conversion::truthValue},
    {ValueKind::number,  TargetKind::date,        Conversion::dateNumber},
    {ValueKind::number,  TargetKind::time,        Conversion::dateNumber},
    {ValueKind::number,  TargetKind::timetz,      Conversion::dateNumber},
    {ValueKind::number,  TargetKind::timestamp,   Conversion::dateNumber},
    {ValueKind::number,  TargetKind::timestamptz, Conversion::zonedDateNumber},
    {ValueKind::number,  TargetKind::interval,    Conversion::days},
};
// clang-format on

// Whether the value's shape fits the type's: text fits every type, a cell
// every array type, bytes bytea, numbers and logicals elementwise.
bool shapeFits(ValueKind kind, bool scalar, const ParamTarget& target) {
    switch (kind) {
        case ValueKind::text:
            return true;
        case ValueKind::texts:
            return target.isArray;
        case ValueKind::bytes:
            return !target.isArray;
        default:
            return scalar != target.isArray;
    }
}

const ConversionRule* findRule(ValueKind kind, bool scalar, const ParamTarget& target) {
    if (!shapeFits(kind, scalar, target)) return nullptr;
    for (const ConversionRule& rule : kConversions)
        if (rule.value == kind && (rule.target == TargetKind::other || rule.target == target.kind))
            return &rule;
    return nullptr;
}

// The rule for a value: a uint8 row that is not bytes is numbers.
const ConversionRule* ruleFor(ValueKind kind, const mxArray* value, const ParamTarget& target) {
    bool scalar = isScalar(value);
    const ConversionRule* rule = findRule(kind, scalar, target);
    if (!rule && kind == ValueKind::bytes) rule = findRule(ValueKind::number, scalar, target);
    return rule;
}

// --- Messages ----------------------------------------------------------------

struct ParamContext {
    PGconn* conn;
    int position;
    const mxArray* value;
    const ParamTarget& target;
    const TimeZone& zone;  // the wall time of timestamptz date numbers
};

std::string targetName(const ParamContext& context) {
    std::string name = serverTypeName(context.conn, context.target.oid);
    if (name.empty()) name = "type OID " + std::to_string(context.target.oid);
    return name;
}

[[noreturn]] void refuseForTarget(const ParamContext& context) {
    raiseError("paramClass",
               "parameter %d: %s values cannot be sent as %s, the server's type for $%d; a char "
               "row is sent as text for the server to read, or 'format' names the type",
               context.position, mxGetClassName(context.value), targetName(context).c_str(),
               context.position);
}

// `element` counts from 1; 0 for a scalar.
[[noreturn]] void refuseNumber(const ParamContext& context, const Number& number, size_t element,
                               const char* why) {
    std::string which =
        element ? " element " + std::to_string(element) + " of the" : std::string(" the");
    raiseError("paramValue",
               "parameter %d:%s %s value %s cannot be sent as %s, the server's "
               "type for $%d: %s",
               context.position, which.c_str(), mxGetClassName(context.value),
               numberText(number).c_str(), targetName(context).c_str(), context.position, why);
}

// --- Elements ----------------------------------------------------------------

// One element as the type's writer reads it: a double, or the int64 of an
// int8.
struct Element {
    double real = 0;
    int64_t whole = 0;
    bool isWhole = false;
};

Element checkedElement(const ParamContext& context, Conversion how, const Number& number,
                       size_t index) {
    Element element;
    element.real = number.real;
    TargetKind kind = context.target.kind;
    switch (how) {
        case Conversion::wholeNumber:
            if (!wholeNumber(number, rangeOf(kind), element.whole))
                refuseNumber(context, number, index,
                             "a whole number within the type's range is needed");
            element.real = static_cast<double>(element.whole);
            element.isWhole = kind == TargetKind::int8;
            break;
        case Conversion::realNumber:
            if (kind == TargetKind::float4 && std::isfinite(number.real) &&
                std::fabs(number.real) > FLT_MAX)
                refuseNumber(context, number, index, "beyond float4's range");
            break;
        case Conversion::truthValue:
            if (!(number.real == 0 || number.real == 1))
                refuseNumber(context, number, index, "bool takes true, false, 0 or 1");
            break;
        case Conversion::dateNumber:
        case Conversion::zonedDateNumber: {
            bool hasInfinity = kind != TargetKind::time && kind != TargetKind::timetz;
            if (std::isnan(number.real) || (!hasInfinity && std::isinf(number.real)))
                refuseNumber(context, number, index, "a date number is needed");
            if (how == Conversion::zonedDateNumber)
                element.real = utcDatenumOfWall(number.real, context.zone);
            break;
        }
        default:
            if (!std::isfinite(number.real) || std::fabs(std::trunc(number.real)) > INT32_MAX)
                refuseNumber(context, number, index, "a finite number of days is needed");
    }
    return element;
}

const PgType& catalogueType(const ParamTarget& target) {
    for (const TargetRow& row : kTargets)
        if (row.kind == target.kind) return *typeOfOid(row.oid);
    return *typeOfOid(kTextOid);
}

// --- Encodings ----------------------------------------------------------------

struct Encoded {
    std::string& bytes;
    int& wireFormat;  // 1 binary, 0 text
};

void encodeScalar(const ParamContext& context, Conversion how, mxClassID classId,
                  const PGtypeFormatInfo& server, Encoded out) {
    Number number = numberAt(context.value, classId, 0);
    if (how == Conversion::decimalText) {
        out.bytes = numberText(number);
        out.wireFormat = 0;
        return;
    }
    Element element = checkedElement(context, how, number, 0);
    if (how == Conversion::days) {
        out.bytes.resize(kIntervalBytes);
        encodeIntervalDays(&out.bytes[0], element.real, server.integer_datetimes != 0);
        return;
    }
    const ElementCodec& codec = catalogueType(context.target).codec;
    ElementSource source{element.isWhole ? static_cast<const void*>(&element.whole)
                                         : static_cast<const void*>(&element.real),
                         nullptr, !element.isWhole};
    out.bytes.resize(static_cast<size_t>(codec.width));
    std::string error;
    if (!codec.write(&out.bytes[0], source, 0, server, error))
        raiseError("paramValue", "parameter %d: %s", context.position, error.c_str());
}

// The text of an array of the value's shape, elements written by
// `element(literal, index)` in PostgreSQL's order (last subscript fastest).
template <typename AppendElement>
void appendLevel(std::string& literal, const mwSize* dims, size_t ndims, size_t level, size_t index,
                 size_t stride, AppendElement& element) {
    literal += '{';
    size_t next = stride * dims[level];
    for (mwSize k = 0; k < dims[level]; ++k) {
        if (k) literal += ',';
        if (level + 1 == ndims)
            element(literal, index + k * stride);
        else
            appendLevel(literal, dims, ndims, level + 1, index + k * stride, next, element);
    }
    literal += '}';
}

template <typename AppendElement>
std::string arrayLiteral(const mxArray* value, AppendElement element) {
    if (mxGetNumberOfElements(value) == 0) return "{}";
    std::string literal;
    appendLevel(literal, mxGetDimensions(value), mxGetNumberOfDimensions(value), 0, 0, 1, element);
    return literal;
}

std::string rowText(const ParamContext& context, const mxArray* row) {
    if (!isRowOrEmpty(row))
        raiseError("notRow", "parameter %d: a text is a char row, not a %zux%zu array",
                   context.position, static_cast<size_t>(mxGetM(row)),
                   static_cast<size_t>(mxGetN(row)));
    std::string text;
    if (!charRowBytes(row, text))
        raiseError("textUnreadable", "parameter %d: the text could not be read", context.position);
    // The server reads a text value up to its first NUL.
    if (text.find('\0') != std::string::npos)
        raiseError("textHasNul", "parameter %d: the text holds a NUL character", context.position);
    return text;
}

std::string textsLiteral(const ParamContext& context) {
    return arrayLiteral(context.value, [&](std::string& literal, size_t index) {
        const mxArray* element = mxGetCell(context.value, index);
        if (isNullValue(element))
            literal += "NULL";
        else
            appendQuotedElement(literal, rowText(context, element));
    });
}

// Numbers into an array of a catalogue type: checked element by element
// into an array of the type's class, then framed.
void encodeNumbers(const ParamContext& context, Conversion how, mxClassID classId,
                   const PGtypeFormatInfo& server, Encoded out) {
    const mxArray* value = context.value;
    if (how == Conversion::decimalText) {
        out.bytes = arrayLiteral(value, [&](std::string& literal, size_t index) {
            literal += numberText(numberAt(value, classId, index));
        });
        out.wireFormat = 0;
        return;
    }
    const ElementCodec& codec = catalogueType(context.target).codec;
    HostArrayOwner converted(codec.create(mxGetNumberOfDimensions(value), mxGetDimensions(value)));
    void* data = mxGetData(converted.get());
    mxClassID convertedClass = classOf(converted.get());
    for (size_t i = 0; i < mxGetNumberOfElements(value); ++i) {
        Element element = checkedElement(context, how, numberAt(value, classId, i), i + 1);
        switch (convertedClass) {
            case mxINT16_CLASS:
                static_cast<int16_t*>(data)[i] = static_cast<int16_t>(element.whole);
                break;
            case mxINT32_CLASS:
                static_cast<int32_t*>(data)[i] = static_cast<int32_t>(element.whole);
                break;
            case mxINT64_CLASS:
                static_cast<int64_t*>(data)[i] = element.whole;
                break;
            case mxSINGLE_CLASS:
                static_cast<float*>(data)[i] = static_cast<float>(element.real);
                break;
            case mxLOGICAL_CLASS:
                static_cast<mxLogical*>(data)[i] = element.real != 0;
                break;
            default:
                static_cast<double*>(data)[i] = element.real;
        }
    }
    ArrayValue frame;
    std::string error;
    size_t total = 0;
    if (!describeArray(converted.get(), nullptr, false, frame, error) ||
        !arrayEncodedSize(frame, codec, total, error))
        raiseError("paramValue", "parameter %d: %s", context.position, error.c_str());
    out.bytes.resize(total);
    if (!writeArrayFrame(&out.bytes[0], frame, codec, codec.baseOid, server, error))
        raiseError("paramValue", "parameter %d: %s", context.position, error.c_str());
}

void convert(const ParamContext& context, const ConversionRule& rule, mxClassID classId,
             const PGtypeFormatInfo& server, Encoded out) {
    switch (rule.how) {
        case Conversion::serverText:
            out.bytes = rowText(context, context.value);
            out.wireFormat = 0;
            return;
        case Conversion::arrayText:
            out.bytes = textsLiteral(context);
            out.wireFormat = 0;
            return;
        case Conversion::byteRow:
            out.bytes.assign(static_cast<const char*>(mxGetData(context.value)),
                             mxGetNumberOfElements(context.value));
            return;
        default:
            if (context.target.isArray)
                encodeNumbers(context, rule.how, classId, server, out);
            else
                encodeScalar(context, rule.how, classId, server, out);
    }
}

char* reserveInString(void* context, size_t size) {
    auto* bytes = static_cast<std::string*>(context);
    bytes->resize(size);
    return &(*bytes)[0];
}

const PGtypeFormatInfo& serverFormats(PGconn* conn) {
    TypeHandlers handlers = sharedTypeHandlers(conn);
    if (!handlers.server) raiseError("paramCreateFailed", "the connection's types are missing");
    return *handlers.server;
}

// The records of the types a format names, one per value (a null type
// where the cell format leaves it to the server).
std::vector<ParamRecord> namedRecords(PGconn* conn, const std::vector<const mxArray*>& values,
                                      const std::string* format, const mxArray* formatCell) {
    std::vector<std::string> classNames;
    for (const mxArray* value : values) classNames.push_back(mxGetClassName(value));
    TypeHandlers handlers = sharedTypeHandlers(conn);
    if (!handlers.server) raiseError("paramCreateFailed", "the connection's types are missing");
    if (format) return buildRecords(format->c_str(), handlers, classNames);
    size_t given = mxGetNumberOfElements(formatCell);
    if (given != values.size())
        raiseError("formatCount",
                   "a format cell holds one specifier per value ('' leaves the type to the "
                   "server): %zu given for %zu values",
                   given, values.size());
    std::vector<ParamRecord> records(values.size());
    for (size_t i = 0; i < given; ++i) {
        const mxArray* element = mxGetCell(formatCell, i);
        std::string specifier;
        if (element && isNullValue(element)) continue;
        if (!element || !mxIsChar(element) || !isRowOrEmpty(element) ||
            !charRowBytes(element, specifier) || specifier.find('\0') != std::string::npos)
            raiseError("formatNotChar",
                       "element %zu of the format: a specifier is a char row ('' leaves the "
                       "type to the server)",
                       i + 1);
        if (specifier.find_first_not_of(' ') == std::string::npos) continue;
        std::vector<ParamRecord> one = buildRecords(specifier.c_str(), handlers, {classNames[i]});
        records[i] = one.front();
        records[i].position = static_cast<int>(i) + 1;
    }
    return records;
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

CallParams readParams(PGconn* conn, const mxArray* cell, const std::string* format,
                      const mxArray* formatCell) {
    CallParams params;
    params.values = cellValues(cell);
    size_t count = params.values.size();
    if (format || formatCell)
        params.records = namedRecords(conn, params.values, format, formatCell);
    else
        params.records.resize(count);
    params.named.assign(count, 0);
    params.classTypes.assign(count, 0);
    for (size_t i = 0; i < count; ++i) {
        const mxArray* value = params.values[i];
        int position = static_cast<int>(i) + 1;
        const ParamRecord& record = params.records[i];
        if (record.type) {
            params.named[i] = record.isArray ? record.type->arrayOid : record.type->oid;
            continue;
        }
        checkValue(value, position);
        mxClassID classId = classOf(value);
        if (!isNumericClass(classId) && classId != mxCHAR_CLASS && classId != mxCELL_CLASS &&
            classId != mxLOGICAL_CLASS)
            refuseClass(value, position);
        params.classTypes[i] = classType(value, classId, kindOfValue(value, classId), position);
    }
    return params;
}

ParamTarget paramTarget(PGconn* conn, Oid oid, bool lookUp) {
    ParamTarget target;
    target.oid = oid;
    if (findTarget(oid, target) || !lookUp) return target;
    ServerTypes types;
    if (lookUpServerTypes(conn, {oid}, types)) findThroughServer(types, oid, target);
    return target;
}

bool needsTargetKind(const CallParams& params, int index) {
    const mxArray* value = params.values[index];
    return !params.records[index].type && !mxIsChar(value) && !isNullValue(value);
}

// A named timestamptz's date numbers as the UTC instants of their wall
// times in `zone`; null where the value goes as it is.
mxArray* zonedDateNumbers(const ParamRecord& record, const mxArray* value, const TimeZone& zone) {
    if (zone.kind == ZoneKind::utc || record.type->oid != kTimestamptzOid || !mxIsDouble(value) ||
        mxIsSparse(value) || mxIsComplex(value))
        return nullptr;
    mxArray* zoned = mxDuplicateArray(value);
    double* numbers = mxGetPr(zoned);
    for (size_t i = 0; i < mxGetNumberOfElements(zoned); ++i)
        numbers[i] = utcDatenumOfWall(numbers[i], zone);
    return zoned;
}

QueryParams encodeParams(PGconn* conn, const CallParams& params,
                         const std::vector<ParamTarget>& targets, const TimeZone& zone) {
    QueryParams encoded;
    int count = params.count();
    encoded.types.resize(count);
    encoded.values.resize(count);
    encoded.isNull.assign(count, 0);
    encoded.wireFormats.assign(count, 1);
    if (count == 0) return encoded;
    const PGtypeFormatInfo& server = serverFormats(conn);
    for (int i = 0; i < count; ++i) {
        const mxArray* value = params.values[i];
        const ParamRecord& record = params.records[i];
        bool isNull = isNullValue(value);
        encoded.types[i] = record.type ? params.named[i] : targets[i].oid;
        encoded.isNull[i] = isNull;
        if (isNull) continue;
        if (record.type) {
            HostArrayOwner zoned(zonedDateNumbers(record, value, zone));
            ValueSource source;
            source.array = zoned ? zoned.get() : value;
            encodeValue(ValueRoom{reserveInString, &encoded.values[i]}, record, source, nullptr,
                        server);
            continue;
        }
        mxClassID classId = classOf(value);
        ParamContext context{conn, i + 1, value, targets[i], zone};
        const ConversionRule* rule = ruleFor(kindOfValue(value, classId), value, targets[i]);
        if (!rule) refuseForTarget(context);
        convert(context, *rule, classId, server,
                Encoded{encoded.values[i], encoded.wireFormats[i]});
        if (encoded.values[i].size() > kMostValueBytes)
            raiseValueTooLarge("parameter " + std::to_string(i + 1), encoded.values[i].size());
    }
    return encoded;
}

}  // namespace vorlex
