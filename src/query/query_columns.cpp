// SPDX-License-Identifier: BSD-3-Clause
// query_columns.cpp - the plan of a query's columns and the reading of its
// result through the column-reading functions resultGet uses.
#include "query/query_columns.hpp"

#include <libpqtypes.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <iterator>
#include <limits>

#include "backend/host_cells.hpp"
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
#include "types/scalar_text.hpp"

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

// --- numeric as double ----------------------------------------------------------

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

// --- Classes --------------------------------------------------------------------

// What a NULL reads as.
enum class NullValue {
    nan,    // NaN
    zero,   // 0 or false
    empty,  // [] (0-by-0 double) in the column's cell
};

// The kinds of values whose columns read alike.
enum class ValueKind {
    boolean,
    int2,
    int4,
    int8,
    float4,
    float8,
    dateTime,
    numeric,        // as text
    numericDouble,  // 'numeric', 'double'
    bytes,
    text,
};

// The class of each kind's columns, by default and with 'keepClass', true,
// and what a NULL reads as in each (char and uint8: a cell of rows).  The
// class never depends on the values.  An array column is a cell of arrays
// whose elements read as the kind's column, [] for a NULL array.
// `asDouble` reads the binary value where the default class is not the
// catalogue's.
struct ColumnClass {
    ValueKind kind;
    mxClassID byDefault;
    NullValue nullByDefault;
    mxClassID kept;
    NullValue nullKept;
    ElementReader asDouble;
};

// clang-format off
const ColumnClass kColumnClasses[] = {
    // kind                    default         NULL             keepClass        NULL
    {ValueKind::boolean,       mxDOUBLE_CLASS, NullValue::nan,   mxLOGICAL_CLASS, NullValue::zero,  readBoolAsDouble},
    {ValueKind::int2,          mxDOUBLE_CLASS, NullValue::nan,   mxINT16_CLASS,   NullValue::zero,  readInt2AsDouble},
    {ValueKind::int4,          mxDOUBLE_CLASS, NullValue::nan,   mxINT32_CLASS,   NullValue::zero,  readInt4AsDouble},
    {ValueKind::int8,          mxDOUBLE_CLASS, NullValue::nan,   mxINT64_CLASS,   NullValue::zero,  readInt8AsDouble},
    {ValueKind::float4,        mxSINGLE_CLASS, NullValue::nan,   mxSINGLE_CLASS,  NullValue::nan,   nullptr},
    {ValueKind::float8,        mxDOUBLE_CLASS, NullValue::nan,   mxDOUBLE_CLASS,  NullValue::nan,   nullptr},
    {ValueKind::dateTime,      mxDOUBLE_CLASS, NullValue::nan,   mxDOUBLE_CLASS,  NullValue::nan,   nullptr},
    {ValueKind::numeric,       mxCHAR_CLASS,   NullValue::empty, mxCHAR_CLASS,    NullValue::empty, nullptr},
    {ValueKind::numericDouble, mxDOUBLE_CLASS, NullValue::nan,   mxDOUBLE_CLASS,  NullValue::nan,   readNumericDouble},
    {ValueKind::bytes,         mxUINT8_CLASS,  NullValue::empty, mxUINT8_CLASS,   NullValue::empty, nullptr},
    {ValueKind::text,          mxCHAR_CLASS,   NullValue::empty, mxCHAR_CLASS,    NullValue::empty, nullptr},
};
// clang-format on

// The catalogue's text-like types, the text forms, enums and the types
// without a binary reader are all text.
ValueKind valueKindOf(const ColumnPlan& plan, const QueryOptions& options) {
    const PgType* type = plan.type;
    if (!type || type->kind == TypeKind::textLike) return ValueKind::text;
    switch (type->kind) {
        case TypeKind::dateTime:
            return ValueKind::dateTime;
        case TypeKind::numeric:
            return options.numericAsDouble ? ValueKind::numericDouble : ValueKind::numeric;
        case TypeKind::bytes:
        case TypeKind::serialised:
            return ValueKind::bytes;
        default:
            break;
    }
    switch (type->oid) {
        case kBoolOid:
            return ValueKind::boolean;
        case kInt2Oid:
            return ValueKind::int2;
        case kInt4Oid:
            return ValueKind::int4;
        case kInt8Oid:
            return ValueKind::int8;
        case kFloat4Oid:
            return ValueKind::float4;
        default:
            return ValueKind::float8;
    }
}

const ColumnClass& columnClassOf(ValueKind kind) {
    for (const ColumnClass& row : kColumnClasses)
        if (row.kind == kind) return row;
    return kColumnClasses[std::size(kColumnClasses) - 1];
}

// --- The reading of a column -------------------------------------------------------

// How a column's values become Octave values.
enum class Conversion {
    binary,         // the binary value by the codec: the catalogue's, or asDouble's
    serverText,     // the server's text parsed into the same class
    exactDateTime,  // int64 values for the 'dates' and 'timeZone' options (date_columns.hpp)
    text,           // char rows: a text form, an enum's label, or the server's text
};

// Text results are parsed into what the binary values give, except where
// the text is the value.
Conversion conversionOf(ValueKind kind, const ColumnPlan& plan, bool textResult,
                        const QueryOptions& options) {
    if (kind == ValueKind::text || kind == ValueKind::numeric) return Conversion::text;
    if (kind == ValueKind::dateTime && readsExactDates(plan.type->oid, options.dates))
        return Conversion::exactDateTime;
    return textResult ? Conversion::serverText : Conversion::binary;
}

// The reader of the server's text of a scalar or an array's elements in
// `classId` (bytea's text is decoded by byteaFromText instead).
ElementReader serverTextReader(ValueKind kind, Oid oid, mxClassID classId) {
    switch (kind) {
        case ValueKind::dateTime:
            return dateTimeTextReader(oid);
        case ValueKind::numericDouble:
            return readDecimalDouble;
        case ValueKind::bytes:
            return nullptr;
        default:
            return numberTextReader(oid, classId == mxDOUBLE_CLASS);
    }
}

void describeReader(const TypeHandlers& handlers, const ColumnPlan& plan, int number,
                    const std::string& name, bool textResult, const QueryOptions& options,
                    ColumnReader& reader) {
    ValueKind kind = valueKindOf(plan, options);
    const ColumnClass& classes = columnClassOf(kind);
    mxClassID classId = options.keepClass ? classes.kept : classes.byDefault;
    NullValue atNull = options.keepClass ? classes.nullKept : classes.nullByDefault;
    Conversion conversion = conversionOf(kind, plan, textResult, options);
    reader.exactDates = conversion == Conversion::exactDateTime;
    std::string specifier =
        std::string("%") + (plan.type ? plan.type->name : "text") + (plan.isArray ? "[]" : "");
    SpecifierParse parse;
    parseTypeSpecifier(specifier.c_str(), handlers, parse);
    if (!parse.handler)
        raiseError("typesMissing", "the connection's type %s is missing", specifier.c_str());
    ResultColumn& column = reader.column;
    column = describeSpecifier(parse.handler, parse.flags, number + 1, true);
    reader.codec = *column.codec;
    reader.handler = *parse.handler;
    if (plan.isArray) reader.handler.typoid = plan.elementOid;
    column.handler = &reader.handler;
    column.codec = &reader.codec;
    column.number = number;
    column.description =
        "column " + std::to_string(number + 1) + " '" + name + "' (" +
        (plan.typeName.empty() ? "type OID " + std::to_string(plan.oid) : plan.typeName) + ")";
    column.firstRow = 1;
    column.nanAtNull = atNull == NullValue::nan;
    column.emptyAtNull = atNull == NullValue::empty || plan.isArray;
    column.arrayText = textResult && plan.isArray;
    if (classId != column.classId) {  // integers, bool and numeric as doubles
        reader.codec.read = classes.asDouble;
        reader.codec.create = catalogue_detail::createNumeric<mxDOUBLE_CLASS>;
        column.classId = classId;
        column.elementSize = sizeof(double);
        column.cellValue = plan.isArray;
        column.toText = nullptr;
    }
    switch (conversion) {
        case Conversion::binary:
            break;
        case Conversion::serverText:
            if (ElementReader read = serverTextReader(kind, plan.type->oid, classId))
                reader.codec.read = read;
            column.toText = kind == ValueKind::bytes ? byteaFromText : nullptr;
            break;
        case Conversion::exactDateTime:
            reader.codec.read = exactDateTimeReader(plan.type->oid, textResult);
            reader.codec.create = catalogue_detail::createNumeric<mxINT64_CLASS>;
            column.classId = mxINT64_CLASS;
            column.elementSize = sizeof(int64_t);
            column.nanAtNull = false;  // datesOutput makes the NULLs
            break;
        case Conversion::text:
            column.toText = textResult ? nullptr : plan.form ? plan.form->decode : column.toText;
            break;
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
mxArray* infoStruct(const char* command, double rowCount, mxArray* columns) {
    const char* fields[] = {"command", "rowCount", "columns"};
    mxArray* info = mxCreateStructMatrix(1, 1, 3, fields);
    mxSetFieldByNumber(info, 0, 0, createCharRow(command));
    mxSetFieldByNumber(info, 0, 1, mxCreateDoubleScalar(rowCount));
    mxSetFieldByNumber(info, 0, 2, columns);
    return info;
}

// The outputs made of the columns as they are read, one after another.
class Outputs {
  public:
    Outputs(const ResultPlan& plan, const QueryOptions& options, bool withInfo)
        : plan_(plan),
          options_(options),
          columns_(withInfo ? mxCreateStructMatrix(1, plan.columns.size(), 6, kColumnInfoFields)
                            : nullptr) {}

    void add(size_t k, const ColumnReader& reader, ColumnArrays read) {
        const ColumnPlan& column = plan_.columns[k];
        HostArrayOwner masks(std::move(read.valueIsNull));
        HostArrayOwner rowIsNull(std::move(read.rowIsNull));
        HostArrayOwner value(std::move(read.value));
        if (reader.exactDates)
            value.reset(datesOutput(value.get(), rowIsNull.get(), masks.get(),
                                    reader.column.isArray, column.type->oid, options_.dates));
        values_.push_back(std::move(value));
        if (!columns_) return;
        mxArray* columns = columns_.get();
        mxSetFieldByNumber(columns, k, kName, textOutput(plan_.names[k]));
        mxSetFieldByNumber(columns, k, kField, textOutput(plan_.fields[k]));
        mxSetFieldByNumber(columns, k, kType, textOutput(column.typeName));
        mxSetFieldByNumber(columns, k, kOid, mxCreateDoubleScalar(column.oid));
        mxSetFieldByNumber(columns, k, kIsNull, rowIsNull.release());
        mxSetFieldByNumber(
            columns, k, kElementIsNull,
            reader.column.isArray ? masks.release() : mxCreateDoubleMatrix(0, 0, mxREAL));
    }

    void finish(const char* command, double rowCount, mxArray*& data, mxArray** info) {
        HostArrayOwner made(options_.cellOutput ? cellData(values_)
                                                : structData(plan_.fields, values_));
        if (info) *info = infoStruct(command, rowCount, columns_.release());
        data = made.release();
    }

  private:
    const ResultPlan& plan_;
    const QueryOptions& options_;
    HostArrayOwner columns_;
    std::vector<HostArrayOwner> values_;
};

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

void nameColumns(ResultPlan& plan, const PGresult* result) {
    bool named = true;
    for (size_t k = 0; k < plan.names.size() && named; ++k)
        named = plan.names[k] == PQfname(result, static_cast<int>(k));
    if (named) return;
    for (size_t k = 0; k < plan.names.size(); ++k)
        plan.names[k] = PQfname(result, static_cast<int>(k));
    plan.fields = uniqueFieldNames(plan.names);
}

void readResult(PGconn* conn, const PGresult* result, const ResultPlan& plan,
                const QueryOptions& options, mxArray*& data, mxArray** info) {
    TypeHandlers handlers = sharedTypeHandlers(conn);
    Outputs outputs(plan, options, info != nullptr);
    ColumnReader reader;
    for (size_t k = 0; k < plan.columns.size(); ++k) {
        describeReader(handlers, plan.columns[k], static_cast<int>(k), plan.names[k],
                       !plan.binary, options, reader);
        outputs.add(k, reader,
                    extractColumn(result, reader.column, *handlers.server, ColumnForm::arrays));
    }
    const char* rows = PQcmdTuples(const_cast<PGresult*>(result));
    outputs.finish(PQcmdStatus(const_cast<PGresult*>(result)),
                   *rows ? std::strtod(rows, nullptr) : 0, data, info);
}

ChunkColumns::ChunkColumns(PGconn* conn, const ResultPlan& plan, const QueryOptions& options,
                           size_t most)
    : plan_(plan),
      options_(options),
      handlers_(sharedTypeHandlers(conn)),
      readers_(plan.columns.size()),
      most_(most) {
    columns_.reserve(readers_.size());
    for (size_t k = 0; k < readers_.size(); ++k) {
        describeReader(handlers_, plan.columns[k], static_cast<int>(k), plan.names[k],
                       !plan.binary, options, readers_[k]);
        columns_.emplace_back(readers_[k].column);
    }
}

void ChunkColumns::add(const PGresult* row) {
    if (rows_ == capacity_) {
        capacity_ = nextCapacity(capacity_, most_);
        for (GrowingColumn& growing : columns_) growing.grow(capacity_);
    }
    for (GrowingColumn& growing : columns_) {
        int number = growing.column.number;
        const char* bytes = PQgetisnull(row, 0, number) ? nullptr : PQgetvalue(row, 0, number);
        fillField(growing.column, bytes, static_cast<size_t>(PQgetlength(row, 0, number)),
                  *handlers_.server, growing.output(), rows_);
    }
    ++rows_;
}

ResultOwner ChunkColumns::addCopyRows(CopySession& copy, CopyStreamDecoder& stream,
                                      Progress& progress, size_t rowsBefore) {
    stream.readInto(columns_, *handlers_.server);
    rows_ = stream.rows();
    for (;;) {
        CopyData data = copy.receive();
        if (data.atEnd()) break;
        if (rows_ == most_) {
            if (stream.hold(data.bytes(), data.length())) return ResultOwner();
            continue;
        }
        stream.take(data.bytes(), data.length());
        rows_ = stream.rows();
        advanceProgress(progress, rowsBefore + rows_);
    }
    ResultOwner end = copy.finishReceiving();
    if (PQresultStatus(end.get()) == PGRES_COMMAND_OK) stream.requireEnd();
    return end;
}

void ChunkColumns::finish(const char* command, mxArray*& data, mxArray** info) {
    Outputs outputs(plan_, options_, info != nullptr);
    for (size_t k = 0; k < columns_.size(); ++k)
        outputs.add(k, readers_[k], columns_[k].finish(rows_));
    outputs.finish(command, static_cast<double>(rows_), data, info);
}

}  // namespace vorlex
