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
#include <strings.h>

#include <string>

#include "handles/registry.hpp"
#include "host/command.hpp"
#include "host/errors.hpp"
#include "host/host.hpp"
#include "host/options.hpp"
#include "host/owners.hpp"
#include "insert/insert_load.hpp"
#include "statements/statement_args.hpp"

namespace vorlex {

namespace {

enum InsertArg { kInsertConnArg, kTableArg, kDataArg, kFirstOptionArg };

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
    {"exactNames", readExactNames}, {kNullsOption, readNulls},  {"nan", readNan},
    {"dates", readDates},           {"timeZone", readTimeZone}, {"progress", readProgress},
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
