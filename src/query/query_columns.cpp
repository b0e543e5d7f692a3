// SPDX-License-Identifier: BSD-3-Clause
// query_columns.cpp - the plan of a query's columns and the reading of its
// result through the column-reading functions resultGet uses.
#include "query/query_columns.hpp"

#include <libpqtypes.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "backend/host_cells.hpp"
#include "backend/host_classes.hpp"
#include "host/errors.hpp"
#include "host/host.hpp"
#include "host/owners.hpp"
#include "query/field_names.hpp"
#include "results/column_reading.hpp"
#include "results/server_types.hpp"
#include "types/codec_numeric.hpp"
#include "types/datetime_text.hpp"
#include "types/element_access.hpp"
#include "types/pqtypes_private.hpp"

namespace vorlex {

namespace {

// --- The plan -------------------------------------------------------------------

// Domains over domains, arrays of domains: a chain longer than this is
// taken for a loop in the server's answer.
constexpr int kMostTypeSteps = 32;

// How a type OID is read (the column's name and type are the caller's to
// set).
ColumnPlan planOfType(Oid oid, const ServerTypes& server, int steps) {
    ColumnPlan plan;
    if ((plan.type = typeOfOid(oid))) return plan;
    if ((plan.type = typeOfArrayOid(oid))) {
        plan.isArray = true;
        plan.elementOid = plan.type->oid;
        return plan;
    }
    if ((plan.form = textFormOfOid(oid))) return plan;
    if ((plan.form = textFormOfArrayOid(oid))) {
        plan.isArray = true;
        plan.elementOid = plan.form->oid;
        return plan;
    }
    auto found = server.find(oid);
    plan.binary = false;
    if (found == server.end() || steps > kMostTypeSteps) return plan;
    const ServerType& type = found->second;
    if (type.kind == 'e') {  // its binary form is its label
        plan.binary = true;
        return plan;
    }
    if (type.kind == 'd') return planOfType(type.base, server, steps + 1);
    if (type.element != 0) {
        ColumnPlan element = planOfType(type.element, server, steps + 1);
        if (element.binary && !element.isArray) {
            element.isArray = true;
            element.elementOid = type.element;
            return element;
        }
    }
    return plan;
}

// --- Readers --------------------------------------------------------------------

// numeric's text: digits with a point and no exponent, NaN or Infinity.
// Beyond double's range it gives infinity (or zero, for a fraction).
bool parseDouble(const char* text, size_t length, const ElementTarget& target, size_t index,
                 std::string& error) {
    double value = 0;
    auto parsed = std::from_chars(text, text + length, value);
    if (parsed.ptr != text + length ||
        (parsed.ec != std::errc() && parsed.ec != std::errc::result_out_of_range)) {
        error = "'" + std::string(text, length) + "' is not a number";
        return false;
    }
    if (parsed.ec == std::errc::result_out_of_range) {
        bool negative = text[0] == '-';
        bool fraction = text[negative] == '0';
        value = fraction ? 0.0 : std::numeric_limits<double>::infinity();
        if (negative) value = -value;
    }
    storeAt(target, index, value);
    return true;
}

// numeric's binary value, or its text, as a double.
bool readNumericDouble(const char* bytes, size_t length, const ElementTarget& target, size_t index,
                       const PGtypeFormatInfo&, std::string& error) {
    std::string text;
    if (!decodeNumeric(reinterpret_cast<const unsigned char*>(bytes), length, text, error))
        return false;
    return parseDouble(text.data(), text.size(), target, index, error);
}

bool readDecimalDouble(const char* bytes, size_t length, const ElementTarget& target, size_t index,
                       const PGtypeFormatInfo&, std::string& error) {
    return parseDouble(bytes, length, target, index, error);
}

// What resultGet's reading of a column needs, with a codec and handler of
// the column's own where they differ from the catalogue's.
struct ColumnReader {
    PGtypeHandler handler;
    ElementCodec codec;
    ResultColumn column;
    bool exactDates = false;  // read as int64 values for datesOutput
};

// How a column's values become Octave values.
enum class Conversion {
    catalogue,      // the catalogue's reading: resultGet's (binary), libpqtypes' (text)
    dateTimeText,   // date numbers from ISO text (datetime_text.hpp)
    exactDateTime,  // int64 values for the 'dates' and 'timeZone' options (date_columns.hpp)
    numericDouble,  // numeric values as doubles
    text,           // char rows: a text form, an enum's label, or the server's text
};

// Text results are parsed for the catalogue's numbers, bool, bytea and
// date/time types; every other column is its text.
Conversion conversionOf(const ColumnPlan& plan, bool textResult, const QueryOptions& options) {
    const PgType* type = plan.type;
    if (type && type->kind == TypeKind::numeric && options.numericAsDouble &&
        !(textResult && plan.isArray))
        return Conversion::numericDouble;
    bool parsed =
        type && !plan.isArray && (takesDoubles(type->kind) || type->kind == TypeKind::bytes);
    if (!type || (textResult && !parsed)) return Conversion::text;
    if (type->kind == TypeKind::dateTime && readsExactDates(type->oid, options.dates))
        return Conversion::exactDateTime;
    if (textResult && type->kind == TypeKind::dateTime) return Conversion::dateTimeText;
    return Conversion::catalogue;
}

void describeReader(const TypeHandlers& handlers, const ColumnPlan& plan, int number,
                    bool textResult, const QueryOptions& options, ColumnReader& reader) {
    Conversion conversion = conversionOf(plan, textResult, options);
    reader.exactDates = conversion == Conversion::exactDateTime;
    bool isArray = plan.isArray && !textResult;
    std::string specifier = std::string("%") +
                            (conversion == Conversion::text ? "text" : plan.type->name) +
                            (isArray ? "[]" : "");
    SpecifierParse parse;
    parseTypeSpecifier(specifier.c_str(), handlers, parse);
    if (!parse.handler)
        raiseError("typesMissing", "the connection's type %s is missing", specifier.c_str());
    reader.column = describeSpecifier(parse.handler, parse.flags, number + 1, true);
    reader.codec = *reader.column.codec;
    reader.handler = *parse.handler;
    if (isArray) reader.handler.typoid = plan.elementOid;
    reader.column.handler = &reader.handler;
    reader.column.codec = &reader.codec;
    reader.column.number = number;
    reader.column.description =
        "column " + std::to_string(number + 1) + " (" +
        (plan.typeName.empty() ? "type OID " + std::to_string(plan.oid) : plan.typeName) + ")";
    switch (conversion) {
        case Conversion::catalogue:
            reader.column.textFormat = textResult;
            break;
        case Conversion::dateTimeText:
            reader.codec.read = dateTimeTextReader(plan.type->oid);
            break;
        case Conversion::exactDateTime:
            reader.codec.read = exactDateTimeReader(plan.type->oid, textResult);
            reader.codec.create = catalogue_detail::createNumeric<mxINT64_CLASS>;
            reader.column.classId = mxINT64_CLASS;
            reader.column.elementSize = sizeof(int64_t);
            break;
        case Conversion::numericDouble:
            reader.codec.read = textResult ? readDecimalDouble : readNumericDouble;
            reader.column.toText = nullptr;
            reader.codec.create = catalogue_detail::createNumeric<mxDOUBLE_CLASS>;
            reader.column.classId = mxDOUBLE_CLASS;
            reader.column.elementSize = sizeof(double);
            reader.column.cellValue = isArray;
            break;
        case Conversion::text:
            reader.column.toText = plan.form && !textResult ? plan.form->decode : nullptr;
            break;
    }
}

// --- NULLs ------------------------------------------------------------------------

// Floating point values get NaN where `nulls` is set; integer and logical
// values with a NULL become doubles with NaN there (the returned array,
// which replaces `array`), unless they keep their class.  Null when
// `array` stays.
template <typename T>
void fillNaN(mxArray* array, const mxLogical* nulls) {
    T* data = static_cast<T*>(mxGetData(array));
    for (size_t i = 0; i < mxGetNumberOfElements(array); ++i)
        if (nulls[i]) data[i] = std::numeric_limits<T>::quiet_NaN();
}

template <typename T>
void convertWithNaN(const mxArray* from, const mxLogical* nulls, double* out) {
    const T* in = static_cast<const T*>(mxGetData(from));
    for (size_t i = 0; i < mxGetNumberOfElements(from); ++i)
        out[i] = nulls[i] ? std::numeric_limits<double>::quiet_NaN() : static_cast<double>(in[i]);
}

mxArray* settleNulls(mxArray* array, const mxLogical* nulls, bool keepClass, bool isColumn) {
    size_t count = mxGetNumberOfElements(array);
    if (std::find(nulls, nulls + count, true) == nulls + count) return nullptr;
    mxClassID classId = classOf(array);
    if (classId == mxDOUBLE_CLASS) fillNaN<double>(array, nulls);
    if (classId == mxSINGLE_CLASS) fillNaN<float>(array, nulls);
    bool converted = classId == mxINT16_CLASS || classId == mxINT32_CLASS ||
                     classId == mxINT64_CLASS || classId == mxLOGICAL_CLASS;
    if (!converted || keepClass) return nullptr;
    void* data = nullptr;
    mxArray* doubles = isColumn
                           ? createColumnArray(mxDOUBLE_CLASS, count, data)
                           : mxCreateNumericArray(mxGetNumberOfDimensions(array),
                                                  mxGetDimensions(array), mxDOUBLE_CLASS, mxREAL);
    double* out = isColumn ? static_cast<double*>(data) : mxGetPr(doubles);
    switch (classId) {
        case mxINT16_CLASS:
            convertWithNaN<int16_t>(array, nulls, out);
            break;
        case mxINT32_CLASS:
            convertWithNaN<int32_t>(array, nulls, out);
            break;
        case mxINT64_CLASS:
            convertWithNaN<int64_t>(array, nulls, out);
            break;
        default:
            convertWithNaN<mxLogical>(array, nulls, out);
    }
    return doubles;
}

void settleColumnNulls(const ResultColumn& column, HostArrayOwner& value, const mxArray* rowIsNull,
                       const mxArray* masks, bool keepClass) {
    if (!column.isArray) {
        if (column.cellValue) return;
        if (mxArray* doubles = settleNulls(value.get(), mxGetLogicals(rowIsNull), keepClass, true))
            value.reset(doubles);
        return;
    }
    // Arrays of texts and bytea keep their NULL elements as empty cells.
    if (column.classId == mxCHAR_CLASS || column.classId == mxUINT8_CLASS) return;
    for (size_t row = 0; row < mxGetNumberOfElements(value.get()); ++row) {
        mxArray* array = mxGetCell(value.get(), row);
        const mxArray* mask = mxGetCell(masks, row);
        if (!array || !mask || mxGetNumberOfElements(array) == 0) continue;
        if (mxArray* doubles = settleNulls(array, mxGetLogicals(mask), keepClass, false)) {
            mxDestroyArray(array);
            mxSetCell(value.get(), row, doubles);
        }
    }
}

// --- Outputs ----------------------------------------------------------------------

mxArray* callBuiltin(const char* name, std::vector<mxArray*> inputs) {
    HostArrayOwner function(mxCreateString(name));
    inputs.insert(inputs.begin(), function.get());
    mxArray* output = nullptr;
    mxArray* failure = mexCallMATLABWithTrap(1, &output, static_cast<int>(inputs.size()),
                                             inputs.data(), "builtin");
    if (failure) {
        mxDestroyArray(failure);
        raiseError("outputFailed", "the cell output could not be made: %s failed", name);
    }
    return output;
}

// The columns side by side, one cell per value: numeric and logical
// columns are split into cells by the host.
mxArray* cellData(std::vector<HostArrayOwner>& values) {
    if (values.empty()) return mxCreateCellMatrix(0, 0);
    std::vector<HostArrayOwner> cells;
    for (HostArrayOwner& value : values)
        cells.emplace_back(mxIsCell(value.get()) ? value.release()
                                                 : callBuiltin("num2cell", {value.get()}));
    std::vector<mxArray*> inputs;
    for (HostArrayOwner& cell : cells) inputs.push_back(cell.get());
    return callBuiltin("horzcat", inputs);
}

mxArray* structData(const std::vector<std::string>& fields, std::vector<HostArrayOwner>& values) {
    if (values.empty()) return mxCreateStructMatrix(0, 0, 0, nullptr);
    std::vector<const char*> names;
    for (const std::string& field : fields) names.push_back(field.c_str());
    std::vector<mxArray*> arrays;
    arrays.reserve(values.size());  // no failure once the first is released
    for (HostArrayOwner& value : values) arrays.push_back(value.release());
    return createFieldStruct(static_cast<int>(names.size()), names.data(), arrays.data());
}

const char* kColumnInfoFields[] = {"name", "field", "type", "oid", "isNull", "elementIsNull"};
enum ColumnInfoField { kName, kField, kType, kOid, kIsNull, kElementIsNull };

mxArray* textOutput(const std::string& text) { return createCharRow(text.data(), text.size()); }

// The command's tag and its count of rows (returned or affected).
mxArray* infoStruct(const PGresult* result, mxArray* columns) {
    const char* fields[] = {"command", "rowCount", "columns"};
    mxArray* info = mxCreateStructMatrix(1, 1, 3, fields);
    const char* rows = PQcmdTuples(const_cast<PGresult*>(result));
    mxSetFieldByNumber(info, 0, 0, createCharRow(PQcmdStatus(const_cast<PGresult*>(result))));
    mxSetFieldByNumber(info, 0, 1, mxCreateDoubleScalar(*rows ? std::strtod(rows, nullptr) : 0));
    mxSetFieldByNumber(info, 0, 2, columns);
    return info;
}

}  // namespace

ResultPlan planColumns(PGconn* conn, const PGresult* described) {
    int count = PQnfields(described);
    std::vector<Oid> unknown;
    for (int k = 0; k < count; ++k) {
        Oid oid = PQftype(described, k);
        if (knownTypeName(oid).empty() &&
            std::find(unknown.begin(), unknown.end(), oid) == unknown.end())
            unknown.push_back(oid);
    }
    ServerTypes server;
    if (!unknown.empty()) lookUpServerTypes(conn, unknown, server);

    ResultPlan plan;
    for (int k = 0; k < count; ++k) {
        Oid oid = PQftype(described, k);
        ColumnPlan column = planOfType(oid, server, 0);
        column.oid = oid;
        column.typeName = knownTypeName(oid);
        auto found = server.find(oid);
        if (column.typeName.empty() && found != server.end()) column.typeName = found->second.name;
        plan.binary = plan.binary && column.binary;
        plan.columns.push_back(column);
        plan.names.push_back(PQfname(described, k));
    }
    plan.fields = uniqueFieldNames(plan.names);
    return plan;
}

void readResult(PGconn* conn, const PGresult* result, const ResultPlan& plan,
                const QueryOptions& options, mxArray*& data, mxArray** info) {
    TypeHandlers handlers = sharedTypeHandlers(conn);
    size_t count = plan.columns.size();
    // The result's own names: a plan of an earlier run may hold old ones.
    bool described = true;
    for (size_t k = 0; k < count && described; ++k)
        described = plan.names[k] == PQfname(result, static_cast<int>(k));
    std::vector<std::string> names, fields;
    if (!described) {
        for (size_t k = 0; k < count; ++k) names.push_back(PQfname(result, static_cast<int>(k)));
        fields = uniqueFieldNames(names);
    }
    const std::vector<std::string>& resultNames = described ? plan.names : names;
    const std::vector<std::string>& resultFields = described ? plan.fields : fields;

    HostArrayOwner columns(info ? mxCreateStructMatrix(1, count, 6, kColumnInfoFields) : nullptr);
    std::vector<HostArrayOwner> values;
    ColumnReader reader;
    for (size_t k = 0; k < count; ++k) {
        const ColumnPlan& column = plan.columns[k];
        describeReader(handlers, column, static_cast<int>(k), !plan.binary, options, reader);
        ColumnArrays read =
            extractColumn(result, reader.column, *handlers.server, ColumnForm::arrays);
        HostArrayOwner value(std::move(read.value));
        HostArrayOwner masks(std::move(read.valueIsNull));
        HostArrayOwner rowIsNull(std::move(read.rowIsNull));
        if (reader.exactDates)
            value.reset(datesOutput(value.get(), rowIsNull.get(), masks.get(),
                                    reader.column.isArray, column.type->oid, options.dates));
        else
            settleColumnNulls(reader.column, value, rowIsNull.get(), masks.get(),
                              options.keepClass);
        values.push_back(std::move(value));
        if (!columns) continue;
        mxSetFieldByNumber(columns.get(), k, kName, textOutput(resultNames[k]));
        mxSetFieldByNumber(columns.get(), k, kField, textOutput(resultFields[k]));
        mxSetFieldByNumber(columns.get(), k, kType, textOutput(column.typeName));
        mxSetFieldByNumber(columns.get(), k, kOid, mxCreateDoubleScalar(column.oid));
        mxSetFieldByNumber(columns.get(), k, kIsNull, rowIsNull.release());
        mxSetFieldByNumber(
            columns.get(), k, kElementIsNull,
            reader.column.isArray ? masks.release() : mxCreateDoubleMatrix(0, 0, mxREAL));
    }
    HostArrayOwner made(options.cellOutput ? cellData(values) : structData(resultFields, values));
    if (info) *info = infoStruct(result, columns.release());
    data = made.release();
}

}  // namespace vorlex
