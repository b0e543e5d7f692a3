// SPDX-License-Identifier: BSD-3-Clause
// query_columns.cpp - the plan of a query's columns and the reading of its
// result through the column-reading functions resultGet uses.
#include "query/query_columns.hpp"

#include <libpqtypes.h>

#include <algorithm>
#include <cstdlib>

#include "backend/host_cells.hpp"
#include "columns/column_reading.hpp"
#include "host/errors.hpp"
#include "host/host.hpp"
#include "host/owners.hpp"
#include "query/field_names.hpp"
#include "results/server_types.hpp"
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

// --- Classes --------------------------------------------------------------------

// What a NULL reads as.
enum class NullValue {
    nan,    // NaN
    zero,   // 0 or false
    empty,  // [] (0-by-0 double) in the column's cell
};

// The class of a column's values: the one the type's row names for query,
// the row's own with 'keepClass', double for numeric with 'numericAsDouble';
// text (char) for the text forms, enums and types without a binary reader.
// The class never depends on the values.  An array column is a cell of
// arrays whose elements read as the type's column, [] for a NULL array.
mxClassID columnClassOf(const PgType* type, const QueryOptions& options) {
    if (!type) return mxCHAR_CLASS;
    if (type->kind == TypeKind::numeric && options.numericAsDouble) return mxDOUBLE_CLASS;
    return options.keepClass ? type->classId : type->reading.queryClass;
}

// NaN in floating classes, 0 or false in integer and logical ones, [] in
// the cells of char and uint8 rows.
NullValue nullValueOf(mxClassID classId) {
    if (classId == mxDOUBLE_CLASS || classId == mxSINGLE_CLASS) return NullValue::nan;
    if (classId == mxCHAR_CLASS || classId == mxUINT8_CLASS) return NullValue::empty;
    return NullValue::zero;
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
Conversion conversionOf(mxClassID classId, const ColumnPlan& plan, bool textResult,
                        const QueryOptions& options) {
    if (classId == mxCHAR_CLASS) return Conversion::text;
    if (plan.type->kind == TypeKind::dateTime && readsExactDates(plan.type->oid, options.dates))
        return Conversion::exactDateTime;
    return textResult ? Conversion::serverText : Conversion::binary;
}

// The reader of the server's text of a scalar or an array's elements in
// `classId`; null for bytea, whose text is decoded by byteaFromText.
ElementReader serverTextReader(const PgType& type, mxClassID classId) {
    return classId == type.classId ? type.reading.text : type.reading.textAsDouble;
}

bool isBytes(const PgType& type) {
    return type.kind == TypeKind::bytes || type.kind == TypeKind::serialised;
}

void describeReader(const TypeHandlers& handlers, const ColumnPlan& plan, int number,
                    const std::string& name, bool textResult, const QueryOptions& options,
                    ColumnReader& reader) {
    mxClassID classId = columnClassOf(plan.type, options);
    NullValue atNull = nullValueOf(classId);
    Conversion conversion = conversionOf(classId, plan, textResult, options);
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
        reader.codec.read = plan.type->reading.asDouble;
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
            if (ElementReader read = serverTextReader(*plan.type, classId))
                reader.codec.read = read;
            column.toText = isBytes(*plan.type) ? byteaFromText : nullptr;
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
        describeReader(handlers, plan.columns[k], static_cast<int>(k), plan.names[k], !plan.binary,
                       options, reader);
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
        describeReader(handlers_, plan.columns[k], static_cast<int>(k), plan.names[k], !plan.binary,
                       options, readers_[k]);
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
