// SPDX-License-Identifier: BSD-3-Clause
// insert.cpp - insert: a struct of columns loaded into a table through one
// binary COPY, each field bound to the table's column of its name and each
// value sent as that column's type, which the server reports.
//
//   [n =] vorlex('insert', conn, table, data [, 'exactNames', tf] [, 'nulls', nulls]
//                [, 'nan', 'null'|'value'] [, 'dates', form] [, 'timeZone', zone]
//                [, 'progress', tf|fn])
//
// The target lookup (copy_target.hpp) names the table's columns and the
// types under their domains; the COPY names the table as the server
// resolved it and the bound columns quoted, so that no text of the user's
// is ever run as SQL, and the columns the struct lacks take their defaults.
// A binary COPY stores whatever bytes come as the column's type, so every
// field is checked against its column before anything is sent: its class
// and shape, and every number against the type (no truncation).  NaN is
// NULL in every column type, array elements included, as query reads a
// NULL; 'nan', 'value' sends it as float and numeric NaN, and refuses it
// elsewhere.  Texts are checked as they are encoded; one refused there
// ends the COPY with a failure, and the server keeps none of it.  Values
// of the types the module has no encoder for (uuid, interval, inet,
// arrays of enums, ...) come as texts, which the server converts before
// the COPY starts (insert_casts.hpp): a text it refuses stores nothing.
#include <libpq-fe.h>
#include <libpqtypes.h>
#include <strings.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "backend/host_classes.hpp"
#include "columns/batch_columns.hpp"
#include "connection/server_wait.hpp"
#include "copy/copy_in.hpp"
#include "copy/copy_target.hpp"
#include "handles/registry.hpp"
#include "host/command.hpp"
#include "host/errors.hpp"
#include "host/host.hpp"
#include "host/options.hpp"
#include "host/owners.hpp"
#include "insert/insert_casts.hpp"
#include "insert/insert_dates.hpp"
#include "insert/insert_numbers.hpp"
#include "params/param_building.hpp"
#include "results/server_types.hpp"
#include "statements/lost_connection.hpp"
#include "statements/statement_args.hpp"
#include "types/codec_numeric.hpp"
#include "types/pqtypes_private.hpp"
#include "types/text_values.hpp"
#include "types/type_oids.hpp"
#include "types/wire.hpp"

namespace vorlex {

namespace {

enum InsertArg { kInsertConnArg, kTableArg, kDataArg, kFirstOptionArg };

constexpr char kNullsOption[] = "nulls";

struct InsertOptions {
    bool exactNames = false;
    const mxArray* nulls = nullptr;  // null when absent or []
    DateOptions dates;               // date/time fields' numbers and timestamptz's zone
    bool nanIsNull = true;           // 'nan', 'null'; false: 'value'
    ProgressOption progress;
};

// How a column's values are sent.
enum class Sending {
    record,          // by the record's codec
    jsonb,           // as text after jsonb's version byte
    numericNumbers,  // numbers as decimal text, into numeric's binary form
    serverCast,      // texts the server converts before the COPY (insert_casts.hpp)
    exactDates,      // date/time values read by insert_dates.hpp
};

// What one row of a cell column holds, found before anything is sent.
enum CellForm : uint8_t { kCellValue, kCellVector, kCellNull };

struct InsertColumn {
    int field = 0;
    std::string label;  // names the field and its column in messages
    const TargetColumn* column = nullptr;
    const PgType* type = nullptr;  // the catalogue's row of the column's type, or of its elements
    bool isArray = false;
    Sending sending = Sending::record;
    ParamRecord record{};
    ParamRecord vectorRecord{};       // arrays: a vector as one dimension
    const mxArray* values = nullptr;  // the field, or its numbers converted
    const void* numbers = nullptr;    // numericNumbers: the field's elements, of numberClass
    mxClassID numberClass = mxUNKNOWN_CLASS;
    HostArrayOwner converted;
    BatchColumn prepared;
    const mxLogical* nullRows = nullptr;  // the 'nulls' option's flags
    bool nanIsNull = true;                // the 'nan' option: NaN numbers are NULL
    const void* nanRows = nullptr;        // where NaN rows are NULL: the field's doubles or singles
    bool nanRowsSingle = false;
    std::vector<uint8_t> cellForms;       // cell columns: a CellForm per row
    std::string castType;                 // serverCast: the type as SQL names it
    bool castsArray = false;              // serverCast: an array type, whose rows may be cells
    CastValues cast;                      // serverCast: the server's values
    std::vector<int64_t> exactDates;      // exactDates: the values
};

struct InsertLoad {
    std::vector<InsertColumn> columns;
    const PGtypeFormatInfo* server = nullptr;
};

std::string fieldName(const mxArray* data, int field) {
    return mxGetFieldNameByNumber(data, field);
}

// An M-by-1 column (0-by-0 or 0-by-1 when M is 0).
bool isColumnOf(const mxArray* array, size_t rows) {
    return mxGetNumberOfDimensions(array) == 2 && mxGetM(array) == rows &&
           (mxGetN(array) == 1 || (rows == 0 && mxGetN(array) == 0));
}

bool isVector(const mxArray* array) {
    return mxGetNumberOfDimensions(array) == 2 && (mxGetM(array) == 1 || mxGetN(array) == 1);
}

// --- Arguments -------------------------------------------------------------------

const mxArray* dataArg(const mxArray* const prhs[]) {
    const mxArray* data = prhs[kDataArg];
    if (!mxIsStruct(data) || mxGetNumberOfElements(data) != 1)
        raiseError("dataNotStruct",
                   "argument %d (data) must be a scalar struct of columns, not a %s",
                   argPosition(kDataArg), shapeText(data).c_str());
    if (mxGetNumberOfFields(data) == 0)
        raiseError("dataNoFields", "argument %d (data) has no fields: one column per field",
                   argPosition(kDataArg));
    return data;
}

void readExactNames(InsertOptions& options, const mxArray* const prhs[], int index) {
    options.exactNames = flagArg(prhs, index, "exactNames");
}

void readNulls(InsertOptions& options, const mxArray* const prhs[], int index) {
    const mxArray* value = prhs[index];
    if (mxIsEmpty(value) && !mxIsStruct(value)) return;
    if (!mxIsStruct(value) || mxGetNumberOfElements(value) != 1)
        raiseError("nullsNotStruct",
                   "argument %d: the value of '%s' must be a scalar struct of logical "
                   "columns or [], not a %s",
                   argPosition(index), kNullsOption, shapeText(value).c_str());
    options.nulls = value;
}

void readNan(InsertOptions& options, const mxArray* const prhs[], int index) {
    std::string value =
        charArg(prhs, index, {"value of 'nan'", "optionValue", "optionValue", "optionValue", true});
    if (strcasecmp(value.c_str(), "null") == 0)
        options.nanIsNull = true;
    else if (strcasecmp(value.c_str(), "value") == 0)
        options.nanIsNull = false;
    else
        raiseError("optionValue", "argument %d: the value of 'nan' must be 'null' or 'value'",
                   argPosition(index));
}

void readDates(InsertOptions& options, const mxArray* const prhs[], int index) {
    options.dates.form = dateFormArg(prhs, index);
}

void readTimeZone(InsertOptions& options, const mxArray* const prhs[], int index) {
    options.dates.zone = timeZoneArg(prhs, index);
}

void readProgress(InsertOptions& options, const mxArray* const prhs[], int index) {
    options.progress = progressArg(prhs, index);
}

const OptionRow<InsertOptions> kInsertOptions[] = {
    {"exactNames", readExactNames},
    {kNullsOption, readNulls},
    {"nan", readNan},
    {"dates", readDates},
    {"timeZone", readTimeZone},
    {"progress", readProgress},
};

InsertOptions optionArgs(const mxArray* const prhs[], int nrhs) {
    InsertOptions options;
    readOptions(prhs, kFirstOptionArg, nrhs, kInsertOptions, options);
    return options;
}

// M, the rows of every field.
size_t rowCountOf(const mxArray* data) {
    size_t rows = 0;
    for (int i = 0; i < mxGetNumberOfFields(data); ++i) {
        const mxArray* field = mxGetFieldByNumber(data, 0, i);
        if (!field)
            raiseError("rowCounts", "field '%s' of data holds no column",
                       fieldName(data, i).c_str());
        size_t count = mxGetM(field);
        if (i == 0)
            rows = count;
        else if (count != rows)
            raiseError("rowCounts",
                       "the fields of data differ in row count: '%s' has %zu, '%s' %zu",
                       fieldName(data, 0).c_str(), rows, fieldName(data, i).c_str(), count);
    }
    return rows;
}

// --- Binding --------------------------------------------------------------------

// A field's name as PostgreSQL folds an unquoted identifier.
std::string folded(std::string name) {
    for (char& c : name)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return name;
}

const TargetColumn* columnNamed(const CopyTarget& target, const std::string& name) {
    for (const TargetColumn& column : target.columns)
        if (column.ownName == name) return &column;
    return nullptr;
}

// A column whose name differs from the field's in case alone, if any.
const TargetColumn* columnNamedIgnoringCase(const CopyTarget& target, const std::string& name) {
    for (const TargetColumn& column : target.columns)
        if (strcasecmp(column.ownName.c_str(), name.c_str()) == 0) return &column;
    return nullptr;
}

[[noreturn]] void raiseUnknownField(const CopyTarget& target, const std::string& field,
                                    bool exactNames) {
    std::string rule = exactNames ? "with 'exactNames' a field binds the column of exactly its name"
                                  : "a field binds the column of its name in lower case, as SQL "
                                    "folds an unquoted name";
    const TargetColumn* near = columnNamedIgnoringCase(target, field);
    std::string hint;
    if (near && !exactNames && near->ownName == field)
        hint = "; 'exactNames', true binds it to column " + near->name;
    else if (near)
        hint = "; the table has column " + near->name;
    raiseError("unknownField",
               "field '%s' of data names no column of %s: %s (generated columns "
               "take no values)%s",
               field.c_str(), target.relation.c_str(), rule.c_str(), hint.c_str());
}

void bindFields(InsertLoad& load, const mxArray* data, const CopyTarget& target,
                const InsertOptions& options) {
    for (size_t i = 0; i < load.columns.size(); ++i) {
        InsertColumn& bound = load.columns[i];
        std::string field = fieldName(data, static_cast<int>(i));
        bound.field = static_cast<int>(i);
        bound.nanIsNull = options.nanIsNull;
        bound.column = columnNamed(target, options.exactNames ? field : folded(field));
        if (!bound.column) raiseUnknownField(target, field, options.exactNames);
        for (size_t j = 0; j < i; ++j)
            if (load.columns[j].column == bound.column)
                raiseError("duplicateField", "fields '%s' and '%s' of data both name column %s",
                           fieldName(data, static_cast<int>(j)).c_str(), field.c_str(),
                           bound.column->name.c_str());
        bound.label = "field '" + field + "' (column " + bound.column->name + ", " +
                      bound.column->typeName + ")";
    }
}

// The 'nulls' option's fields name fields of data, each an M-by-1 logical.
void bindNulls(InsertLoad& load, const mxArray* data, const mxArray* nulls, size_t rows) {
    if (!nulls) return;
    for (int k = 0; k < mxGetNumberOfFields(nulls); ++k) {
        std::string name = fieldName(nulls, k);
        int field = mxGetFieldNumber(data, name.c_str());
        if (field < 0)
            raiseError("nullsField", "field '%s' of '%s' names no field of data", name.c_str(),
                       kNullsOption);
        const mxArray* flags = mxGetFieldByNumber(nulls, 0, k);
        if (!flags || !mxIsLogical(flags) || mxIsSparse(flags) || !isColumnOf(flags, rows))
            raiseError("nullsShape", "field '%s' of '%s' must be a %zu-by-1 logical column, not %s",
                       name.c_str(), kNullsOption, rows, flags ? shapeText(flags).c_str() : "none");
        load.columns[static_cast<size_t>(field)].nullRows = rows ? mxGetLogicals(flags) : nullptr;
    }
}

// --- Column types ---------------------------------------------------------------

// Whether COPY can take values of `oid` in binary: it and its elements
// have binary forms.
bool takesBinary(const ServerTypes& types, Oid oid) {
    auto type = types.find(oid);
    if (type == types.end() || !type->second.hasBinary) return false;
    return type->second.element == 0 || takesBinary(types, type->second.element);
}

// The catalogue's row each column's values are sent as: its type, the
// element type of an array, or text for enums, jsonb and the types the
// server converts from texts (cast to the column's own type, so that a
// domain's constraints are checked before the COPY).
void typeColumns(PGconn* conn, InsertLoad& load) {
    std::vector<Oid> unknown;
    for (InsertColumn& bound : load.columns) {
        Oid base = bound.column->baseType;
        if ((bound.type = typeOfOid(base))) continue;
        if ((bound.type = typeOfArrayOid(base))) {
            bound.isArray = true;
            continue;
        }
        if (base == kJsonbOid) {
            bound.type = typeNamed("text");
            bound.sending = Sending::jsonb;
            continue;
        }
        unknown.push_back(base);
        unknown.push_back(bound.column->ownType);
    }
    ServerTypes types;
    if (!unknown.empty() && !lookUpServerTypes(conn, unknown, types)) {
        GatewayError error{errorId("copyFailed"), "the column types could not be looked up: " +
                                                      libpqText(PQerrorMessage(conn))};
        noteLostConnection(conn, error);
        throw error;
    }
    for (InsertColumn& bound : load.columns) {
        if (bound.type) continue;
        auto base = types.find(bound.column->baseType);
        auto own = types.find(bound.column->ownType);
        bool isEnum = base != types.end() && base->second.kind == 'e';
        if (own == types.end() || (!isEnum && !takesBinary(types, bound.column->baseType)))
            raiseError("unsupportedType",
                       "%s: insert cannot send values of type %s, which has no binary form; use "
                       "batchExec with a cast in its statement",
                       bound.label.c_str(), bound.column->typeName.c_str());
        bound.type = typeNamed("text");
        if (isEnum) continue;
        bound.sending = Sending::serverCast;
        bound.castType = own->second.sqlName;
        bound.castsArray = base->second.element != 0;
    }
}

// One record per column, from specifiers of the catalogue's names.
void buildColumnRecords(InsertLoad& load, PGparam* param, const mxArray* data) {
    std::string format;
    std::vector<std::string> classNames;
    for (const InsertColumn& bound : load.columns) {
        format += std::string(format.empty() ? "%" : " %") + bound.type->name +
                  (bound.isArray ? "[]" : "");
        classNames.push_back(mxGetClassName(mxGetFieldByNumber(data, 0, bound.field)));
    }
    std::vector<ParamRecord> records =
        buildRecords(format.c_str(), paramTypeHandlers(param), classNames);
    for (size_t i = 0; i < records.size(); ++i) {
        InsertColumn& bound = load.columns[i];
        bound.record = records[i];
        bound.record.context = bound.label;
        bound.record.checkEmptyShape = false;  // an empty array is sent as one
        bound.record.nanIsNull = bound.nanIsNull;
        bound.record.cellNulls = true;
        bound.vectorRecord = bound.record;
        bound.vectorRecord.flags |= kSpecFlatten;
    }
}

// --- Values ---------------------------------------------------------------------

[[noreturn]] void raiseMisfit(const InsertColumn& bound, size_t row, long double value,
                              const char* reason) {
    raiseError("badValue", "%s, row %zu: %.17g %s", bound.label.c_str(), row + 1,
               static_cast<double>(value), reason);
}

// Every number of `array` must be a value of the column's type.  The rows
// of a column are its first dimension, NULL rows left out (and NaN, which
// is NULL unless 'nan', 'value'); a cell's value belongs to row `cellRow`.
void requireFit(const InsertColumn& bound, const mxArray* array, size_t rows,
                long long cellRow = -1) {
    const void* data = mxGetData(array);
    mxClassID classId = classOf(array);
    size_t count = mxGetNumberOfElements(array);
    for (size_t i = 0; i < count; ++i) {
        size_t row = cellRow >= 0 ? static_cast<size_t>(cellRow) : i % rows;
        if (cellRow < 0 && bound.nullRows && bound.nullRows[row]) continue;
        long double value = numberAt(data, classId, i);
        if (bound.nanIsNull && std::isnan(value)) continue;
        if (const char* reason = misfitReason(value, *bound.type))
            raiseMisfit(bound, row, value, reason);
    }
}

// Whether numbers of `classId` need checking against the column's type:
// every date number, and numbers of another class than the type's.
bool needsFit(const InsertColumn& bound, mxClassID classId) {
    return bound.type->kind == TypeKind::dateTime || classId != bound.type->classId;
}

void requireNumberColumn(const InsertColumn& bound, const mxArray* field, size_t rows) {
    if (!isNumberClass(classOf(field)) || mxIsSparse(field))
        raiseError("columnClass",
                   "%s: values of this type are given as a full numeric or logical column, "
                   "not %s (NULLs: the '%s' option)",
                   bound.label.c_str(), shapeText(field).c_str(), kNullsOption);
    if (mxIsComplex(field))
        raiseError("complexColumn", "%s: complex values cannot be sent", bound.label.c_str());
    if (!isColumnOf(field, rows))
        raiseError("columnShape", "%s: a %zu-by-1 column is needed, not %s", bound.label.c_str(),
                   rows, shapeText(field).c_str());
}

// Numbers of another class become the class the type's codec reads.
HostArrayOwner convertNumbers(const InsertColumn& bound, const mxArray* field, size_t rows) {
    mxClassID target = bound.type->classId;
    HostArrayOwner converted(target == mxLOGICAL_CLASS
                                 ? mxCreateLogicalMatrix(rows, 1)
                                 : mxCreateNumericMatrix(rows, 1, target, mxREAL));
    const void* data = mxGetData(field);
    mxClassID source = classOf(field);
    void* out = mxGetData(converted.get());
    for (size_t row = 0; row < rows; ++row) {
        if (bound.nullRows && bound.nullRows[row]) continue;
        long double value = numberAt(data, source, row);
        if (bound.nanIsNull && std::isnan(value)) continue;
        if (const char* reason = misfitReason(value, *bound.type))
            raiseMisfit(bound, row, value, reason);
        switch (target) {
            case mxLOGICAL_CLASS:
                static_cast<mxLogical*>(out)[row] = value != 0;
                break;
            case mxINT16_CLASS:
                static_cast<int16_t*>(out)[row] = static_cast<int16_t>(value);
                break;
            case mxINT32_CLASS:
                static_cast<int32_t*>(out)[row] = static_cast<int32_t>(value);
                break;
            case mxINT64_CLASS:
                static_cast<int64_t*>(out)[row] = static_cast<int64_t>(value);
                break;
            case mxSINGLE_CLASS:
                static_cast<float*>(out)[row] = static_cast<float>(value);
                break;
            default:
                static_cast<double*>(out)[row] = static_cast<double>(value);
                break;
        }
    }
    return converted;
}

// With 'nan', 'null', the rows of a double or single field that are NaN
// are NULL: found as the rows are sent, in the field's own numbers.
void findNanRows(InsertColumn& bound, const void* numbers, mxClassID classId) {
    if (!bound.nanIsNull || (classId != mxDOUBLE_CLASS && classId != mxSINGLE_CLASS)) return;
    bound.nanRows = numbers;
    bound.nanRowsSingle = classId == mxSINGLE_CLASS;
}

// Numbers into a fixed-width or date/time column.
void prepareNumbers(InsertColumn& bound, const mxArray* field, size_t rows) {
    requireNumberColumn(bound, field, rows);
    mxClassID classId = classOf(field);
    findNanRows(bound, mxGetData(field), classId);
    if (bound.type->kind == TypeKind::dateTime && classId != mxDOUBLE_CLASS)
        raiseError("columnClass", "%s: date and time values are date numbers (double), not %s",
                   bound.label.c_str(), shapeText(field).c_str());
    bound.values = field;
    if (classId != mxDOUBLE_CLASS && classId != bound.type->classId) {
        bound.converted = convertNumbers(bound, field, rows);
        bound.values = bound.converted.get();
    } else if (needsFit(bound, classId)) {
        requireFit(bound, field, rows);
    }
}

// Numbers into a numeric column, written as their shortest decimal text.
void prepareNumericNumbers(InsertColumn& bound, const mxArray* field, size_t rows,
                           const PGtypeFormatInfo& server) {
    requireNumberColumn(bound, field, rows);
    bound.sending = Sending::numericNumbers;
    bound.values = field;
    // Read once: Octave names an array's class to find its number, and
    // records every element pointer the call takes.
    bound.numbers = mxGetData(field);
    bound.numberClass = classOf(field);
    findNanRows(bound, bound.numbers, bound.numberClass);
    if (server.sversion >= 140000) return;
    for (size_t row = 0; row < rows; ++row) {
        long double value = numberAt(bound.numbers, bound.numberClass, row);
        if (std::isinf(value) && !(bound.nullRows && bound.nullRows[row]))
            raiseMisfit(bound, row, value, "has no numeric form before PostgreSQL 14");
    }
}

[[noreturn]] void raiseCellClass(const InsertColumn& bound, size_t row, const mxArray* value,
                                 const char* wanted) {
    raiseError("cellClass", "%s, row %zu: the cell holds a %s; this column takes %s ([] for NULL)",
               bound.label.c_str(), row + 1, shapeText(value).c_str(), wanted);
}

// A cell of a scalar column: a char row (text-like and numeric text) or a
// uint8 row (bytea).
void checkScalarCell(const InsertColumn& bound, size_t row, const mxArray* value) {
    bool isText = bound.record.classId == mxCHAR_CLASS;
    if (isText ? !mxIsChar(value) : !mxIsUint8(value))
        raiseCellClass(bound, row, value, isText ? "texts (char rows)" : "uint8 rows");
    if (!mxIsEmpty(value) && !(mxGetNumberOfDimensions(value) == 2 && mxGetM(value) == 1))
        raiseCellClass(bound, row, value, isText ? "texts (char rows)" : "uint8 rows");
}

// A cell of an array column: an array of the element type's class (or
// doubles for numbers, checked), or a cell for elements with a length of
// their own.
void checkArrayCell(const InsertColumn& bound, size_t row, const mxArray* value) {
    if (bound.record.isTextLike) {
        if (!mxIsCell(value)) raiseCellClass(bound, row, value, "cell arrays of its elements");
        return;
    }
    mxClassID classId = classOf(value);
    bool accepted =
        classId == bound.type->classId || (classId == mxDOUBLE_CLASS && bound.record.isNumericLike);
    if (!accepted || mxIsSparse(value) || mxIsComplex(value)) {
        std::string wanted =
            std::string(classIdName(bound.type->classId)) + " arrays" +
            (bound.record.isNumericLike && classId != mxDOUBLE_CLASS ? " or double arrays" : "");
        raiseCellClass(bound, row, value, wanted.c_str());
    }
    if (needsFit(bound, classId)) requireFit(bound, value, 1, static_cast<long long>(row));
}

// Every row of a cell column, before anything is sent: its NULLs ([] or
// an unset cell, and the 'nulls' option's), the class and shape of its
// values, and which array values are vectors.
void readCellForms(InsertColumn& bound, const mxArray* cells, size_t rows) {
    bound.cellForms.assign(rows, kCellValue);
    const std::vector<const char*>& readRows = bound.prepared.cellRows.bytes;
    for (size_t row = 0; row < rows; ++row) {
        uint8_t& form = bound.cellForms[row];
        if (bound.nullRows && bound.nullRows[row]) {
            form = kCellNull;
            continue;
        }
        // A row read with the column is a row of its class: nothing is left
        // to check, and asking the cell for it would make its host array.
        if (!readRows.empty() && readRows[row]) continue;
        const mxArray* value = mxGetCell(cells, row);
        if (isNullCellValue(value)) {
            form = kCellNull;
        } else if (bound.castsArray && mxIsCell(value)) {
            if (!isVector(value) && !mxIsEmpty(value))
                raiseCellClass(bound, row, value, "texts, or vector cells of element texts");
            form = kCellVector;
        } else if (bound.isArray) {
            checkArrayCell(bound, row, value);
            if (isVector(value)) form = kCellVector;
        } else {
            checkScalarCell(bound, row, value);
        }
    }
}

void prepareValues(InsertColumn& bound, const mxArray* field, size_t rows,
                   const PGtypeFormatInfo& server) {
    bool isCell = mxIsCell(field);
    if (bound.sending == Sending::serverCast && !isCell && !mxIsChar(field))
        raiseError("columnClass",
                   "%s: values of this type are given as texts, a cell column of char rows "
                   "([] for NULL) or an M-by-K char matrix, not %s",
                   bound.label.c_str(), shapeText(field).c_str());
    TypeKind kind = bound.type->kind;
    if (!bound.isArray && !isCell && isNumberClass(classOf(field)) && kind == TypeKind::numeric) {
        prepareNumericNumbers(bound, field, rows, server);
        return;
    }
    bound.values = field;
    if (!bound.isArray && !isVariableLength(kind)) {
        prepareNumbers(bound, field, rows);
    } else if (bound.isArray && !isCell) {
        // Row r of an M-by-k matrix is a vector, sent as one dimension;
        // rows of more dimensions keep their shape.
        if (mxGetNumberOfDimensions(field) == 2) bound.record = bound.vectorRecord;
        if (mxIsDouble(field) && !mxIsSparse(field) && bound.record.isNumericLike &&
            needsFit(bound, mxDOUBLE_CLASS))
            requireFit(bound, field, rows);
    }
    prepareColumn(bound.prepared, bound.record, bound.values, nullptr, nullptr, rows, bound.label);
    if (isCell) readCellForms(bound, field, rows);
}

// A date/time field read exactly: its NULLs are the rows' forms.
void prepareExactDates(InsertColumn& bound, const mxArray* field, size_t rows,
                       const InsertOptions& options) {
    bound.sending = Sending::exactDates;
    std::vector<uint8_t> isNull;
    readExactDates(field, rows, bound.type->oid, options.dates, options.nanIsNull, bound.nullRows,
                   bound.label, bound.exactDates, isNull);
    bound.cellForms.assign(rows, kCellValue);
    for (size_t row = 0; row < rows; ++row)
        if (isNull[row]) bound.cellForms[row] = kCellNull;
}

bool isNanRow(const InsertColumn& bound, size_t row) {
    return bound.nanRowsSingle ? std::isnan(static_cast<const float*>(bound.nanRows)[row])
                               : std::isnan(static_cast<const double*>(bound.nanRows)[row]);
}

// Row `row`'s form: NULL where the 'nulls' option, a NaN or the cell says so.
uint8_t formOf(const InsertColumn& bound, size_t row) {
    if (bound.nullRows && bound.nullRows[row]) return kCellNull;
    if (bound.nanRows && isNanRow(bound, row)) return kCellNull;
    return bound.cellForms.empty() ? uint8_t{kCellValue} : bound.cellForms[row];
}

// A cell of element texts ([] for NULL) in the array's text form, every
// element quoted: {"a","b\"c",NULL}.
std::string arrayText(const InsertColumn& bound, size_t row, const mxArray* cell) {
    std::string text = "{";
    for (size_t k = 0; k < mxGetNumberOfElements(cell); ++k) {
        if (k) text += ',';
        const mxArray* element = mxGetCell(cell, k);
        if (isNullCellValue(element)) {
            text += "NULL";
            continue;
        }
        std::string bytes;
        bool isRow =
            mxIsEmpty(element) || (mxGetNumberOfDimensions(element) == 2 && mxGetM(element) == 1);
        if (!mxIsChar(element) || !isRow || !charRowBytes(element, bytes))
            raiseError("cellClass",
                       "%s, row %zu: element %zu holds a %s; the elements are texts (char rows), "
                       "[] for NULL",
                       bound.label.c_str(), row + 1, k + 1, shapeText(element).c_str());
        if (bytes.find('\0') != std::string::npos)
            raiseError("textHasNul", "%s, row %zu: element %zu holds a NUL character",
                       bound.label.c_str(), row + 1, k + 1);
        appendQuotedElement(text, bytes);
    }
    return text + "}";
}

// The server converts the texts of each serverCast column, after every
// other check and before the COPY.
void castColumns(PGconn* conn, InsertLoad& load, size_t rows) {
    for (InsertColumn& bound : load.columns) {
        if (bound.sending != Sending::serverCast) continue;
        CopyBuffer elements;
        std::vector<size_t> starts;
        starts.reserve(rows + 1);
        for (size_t row = 0; row < rows; ++row) {
            starts.push_back(elements.size());
            uint8_t form = formOf(bound, row);
            if (form == kCellNull) {
                appendInt32(elements, -1);
                continue;
            }
            if (form == kCellVector) {
                std::string text = arrayText(bound, row, mxGetCell(bound.values, row));
                if (text.size() > static_cast<size_t>(INT32_MAX))
                    raiseError("tooLong", "%s, row %zu: the array's text passes 2 GB",
                               bound.label.c_str(), row + 1);
                appendInt32(elements, static_cast<int32_t>(text.size()));
                std::memcpy(elements.append(text.size()), text.data(), text.size());
                continue;
            }
            try {
                appendField(elements, bound.record, columnValue(bound.record, bound.prepared, row),
                            *load.server);
            } catch (GatewayError& error) {
                prefixRowNumber(error, row);
                throw;
            }
        }
        starts.push_back(elements.size());
        bound.cast = castTexts(conn, bound.castType, CastTexts{elements, starts}, bound.label);
    }
}

// --- The rows ---------------------------------------------------------------------

void appendJsonb(CopyBuffer& buffer, const InsertColumn& bound, const ColumnValue& value,
                 const PGtypeFormatInfo& server) {
    constexpr char kJsonbVersion = 1;
    size_t lengthAt = buffer.size();
    buffer.append(4);
    *buffer.append(1) = kJsonbVersion;
    size_t length =
        encodeValue(ValueRoom{bufferRoom, &buffer}, bound.record, value.source, value.mask, server);
    storeBig32(buffer.at(lengthAt), static_cast<uint32_t>(length + 1));
}

void appendNumericNumber(CopyBuffer& buffer, const InsertColumn& bound, size_t row,
                         const PGtypeFormatInfo& server) {
    char text[kNumberTextRoom];
    size_t length = numberText(bound.numbers, bound.numberClass, row, text);
    std::string wire, error;
    if (!encodeNumeric(text, length, server.sversion >= 140000, wire, error))
        raiseError("badValue", "%s: %s", bound.label.c_str(), error.c_str());
    appendInt32(buffer, static_cast<int32_t>(wire.size()));
    std::memcpy(buffer.append(wire.size()), wire.data(), wire.size());
}

void appendCastValue(CopyBuffer& buffer, const InsertColumn& bound, size_t row) {
    int length = 0;
    const char* value = castValue(bound.cast, row, length);
    if (!value) {
        appendInt32(buffer, -1);
        return;
    }
    appendInt32(buffer, length);
    std::memcpy(buffer.append(static_cast<size_t>(length)), value, static_cast<size_t>(length));
}

void appendInsertRow(void* context, CopyBuffer& buffer, size_t row) {
    InsertLoad& load = *static_cast<InsertLoad*>(context);
    const PGtypeFormatInfo& server = *load.server;
    for (InsertColumn& bound : load.columns) {
        uint8_t form = formOf(bound, row);
        if (form == kCellNull) {
            appendInt32(buffer, -1);
            continue;
        }
        if (bound.sending == Sending::serverCast) {
            appendCastValue(buffer, bound, row);
            continue;
        }
        if (bound.sending == Sending::exactDates) {
            appendExactDate(buffer, bound.type->oid, bound.exactDates[row], server);
            continue;
        }
        if (bound.sending == Sending::numericNumbers) {
            appendNumericNumber(buffer, bound, row, server);
            continue;
        }
        ColumnValue value = columnValue(bound.record, bound.prepared, row);
        if (bound.sending == Sending::jsonb)
            appendJsonb(buffer, bound, value, server);
        else
            appendField(buffer, form == kCellVector ? bound.vectorRecord : bound.record, value,
                        server);
    }
}

// The COPY's target: the table as the server named it, and the bound
// columns quoted.
std::string copyTargetOf(const CopyTarget& target, const InsertLoad& load) {
    std::string text = target.relation + " (";
    for (size_t i = 0; i < load.columns.size(); ++i)
        text += (i ? ", " : "") + load.columns[i].column->name;
    return text + ")";
}

}  // namespace

void commandInsert(const Command&, int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    PGconn* conn = connectionArg(prhs, kInsertConnArg, RowRule::anyRows);
    std::string table = sqlRowArg(prhs, kTableArg, "table", "table");
    const mxArray* data = dataArg(prhs);
    InsertOptions options = optionArgs(prhs, nrhs);
    size_t rows = rowCountOf(data);
    InsertLoad load;
    load.columns.resize(static_cast<size_t>(mxGetNumberOfFields(data)));
    bindNulls(load, data, options.nulls, rows);

    TargetText text;
    text.relation = table;
    CopyTarget target = lookUpCopyTarget(conn, text, "badTable");
    requireFillable(target, "badTable");
    bindFields(load, data, target, options);
    typeColumns(conn, load);
    ParamOwner param(createParam(conn));
    if (!param) raiseError("paramCreateFailed", "no parameter set could be made: %s", PQgeterror());
    load.server = paramTypeHandlers(param.get()).server;
    buildColumnRecords(load, param.get(), data);
    for (InsertColumn& bound : load.columns) {
        const mxArray* field = mxGetFieldByNumber(data, 0, bound.field);
        if (bound.type->kind == TypeKind::dateTime && !bound.isArray &&
            insertsExactDates(bound.type->oid, field, options.dates))
            prepareExactDates(bound, field, rows, options);
        else
            prepareValues(bound, field, rows, *load.server);
    }

    double copied = 0;
    Progress progress;
    startProgress(progress, options.progress, static_cast<double>(rows));
    if (rows > 0) {
        castColumns(conn, load, rows);
        copied = copyRowsIn(conn, {copyTargetOf(target, load), target.relationName}, rows,
                            load.columns.size(), appendInsertRow, &load, progress);
    }
    finishProgress(progress, 0);  // no rows: the COPY finished it otherwise
    if (nlhs > 0) plhs[0] = mxCreateDoubleScalar(copied);
}

}  // namespace vorlex
