// SPDX-License-Identifier: BSD-3-Clause
// result_get.cpp - resultGet: whole columns of a result as Octave arrays.
//
// Each specifier of the format fills one output struct {value,
// valueIsNull, rowIsNull}.  Binary columns (exec, paramExec) are decoded
// straight from the result with the gateway's element codecs, the same
// codecs the connection's prepared specifiers run, without a libpqtypes
// call per value; text-format columns go through PQgetf, which parses the
// text.
#include <libpq-fe.h>
#include <libpqtypes.h>
#include <strings.h>

#include <cmath>
#include <cstring>
#include <string>

#include "columns/column_reading.hpp"
#include "handles/registry.hpp"
#include "host/command.hpp"
#include "host/errors.hpp"
#include "host/host.hpp"
#include "host/options.hpp"
#include "params/param_building.hpp"
#include "types/array_codec.hpp"
#include "types/element_access.hpp"
#include "types/libpqtypes_error.hpp"
#include "types/pqtypes_private.hpp"
#include "types/type_tables.hpp"

namespace vorlex {

namespace {

// resultGet's one option, after the columns: whether numbers come as
// column vectors.
const OptionRow<bool> kResultGetOptions[] = {
    {"columnVectors", [](bool& columnVectors, const mxArray* const prhs[],
                         int index) { columnVectors = flagArg(prhs, index, "columnVectors"); }},
};

bool optionColumnVectors(const Command& command, int nlhs, int nrhs, const mxArray* prhs[]) {
    if (nrhs != nlhs + 2 && nrhs != nlhs + 4)
        raiseError("nargin",
                   "%d output(s) need %d column argument(s); %d argument(s) given; usage: %s", nlhs,
                   nlhs, nrhs, command.usage);
    bool columnVectors = true;
    readOptions(prhs, nlhs + 2, nrhs, kResultGetOptions, columnVectors);
    return columnVectors;
}

// libpq's PQfnumber reads column names that a COPY result does not have.
int columnByName(const PGresult* result, const ResultColumn& column, const mxArray* arg,
                 int index) {
    std::string title = "column name for " + describe(column);
    std::string name =
        charArgBytes(arg, argPosition(index),
                     {title.c_str(), "columnNameNotText", "columnNameNotText", "unknownColumn"});
    ExecStatusType status = PQresultStatus(result);
    bool hasNames =
        status != PGRES_COPY_OUT && status != PGRES_COPY_IN && status != PGRES_COPY_BOTH;
    int number = hasNames ? PQfnumber(result, name.c_str()) : -1;
    if (number < 0)
        raiseError("unknownColumn", "argument %d: the result has no column named '%s'",
                   argPosition(index), name.c_str());
    return number;
}

// A column number is an integral double, counted from 0.
int columnByNumber(const ResultColumn& column, const mxArray* arg, int index) {
    // One element: the host drops trailing singleton extents, so it has two.
    if (mxGetNumberOfElements(arg) != 1 || mxIsSparse(arg) || !mxIsDouble(arg) || mxIsComplex(arg))
        raiseError("columnNumber", "argument %d must be one column number (a real double) for %s",
                   argPosition(index), describe(column).c_str());
    double value = mxGetScalar(arg);
    double whole = std::trunc(value);
    if (!(std::fabs(value - whole) <= 0x1p-52))
        raiseError("columnNumber", "argument %d: column number %g is not a whole number",
                   argPosition(index), value);
    // Out of int's range: no such column, reported by the type check.
    return whole >= 0 && whole <= 2147483647.0 ? static_cast<int>(whole) : -1;
}

ResultColumn describeColumn(const PGresult* result, PGtypeHandler* handler, int flags, int position,
                            const mxArray* const prhs[], bool columnVectors) {
    ResultColumn column = describeSpecifier(handler, flags, position, columnVectors);
    int index = position + 1;
    column.number = (flags & kSpecByName) ? columnByName(result, column, prhs[index], index)
                                          : columnByNumber(column, prhs[index], index);
    // Checked here: libpq would also print a notice for a column it lacks.
    bool exists = column.number >= 0 && column.number < PQnfields(result);
    requireColumnType(column, exists ? PQftype(result, column.number) : 0);
    column.textFormat = PQfformat(result, column.number) == 0;
    return column;
}

// --- Text-format columns, through libpqtypes --------------------------------

std::string takePendingError() {
    std::string text = takeTypesError();
    return text.empty() ? "the value could not be read" : text;
}

template <typename Wire, typename Stored>
bool getThroughLibpqtypes(const PGresult* result, int row, const ResultColumn& column,
                          const std::string& spec, const ElementTarget& target, size_t index) {
    Wire value{};
    if (!PQgetf(result, row, spec.c_str(), column.number, &value)) return false;
    storeAt(target, index, static_cast<Stored>(value));
    return true;
}

bool readTextFormat(const PGresult* result, int row, const ResultColumn& column,
                    const ElementTarget& target, size_t index, std::string& error) {
    std::string spec = std::string("@") + column.handler->typname;
    bool ok = true;
    switch (column.classId) {
        case mxLOGICAL_CLASS:
            ok = getThroughLibpqtypes<PGbool, mxLogical>(result, row, column, spec, target, index);
            break;
        case mxINT16_CLASS:
            ok = getThroughLibpqtypes<PGint2, int16_t>(result, row, column, spec, target, index);
            break;
        case mxINT32_CLASS:
            ok = getThroughLibpqtypes<PGint4, int32_t>(result, row, column, spec, target, index);
            break;
        case mxINT64_CLASS:
            ok = getThroughLibpqtypes<PGint8, int64_t>(result, row, column, spec, target, index);
            break;
        case mxSINGLE_CLASS:
            ok = getThroughLibpqtypes<PGfloat4, float>(result, row, column, spec, target, index);
            break;
        default:
            ok = getThroughLibpqtypes<double, double>(result, row, column, spec, target, index);
    }
    if (!ok) error = takePendingError();
    return ok;
}

// A text-like, bytea, numeric or serialised value of a text-format column,
// as its cell holds it.
void fillTextFormatVariable(const PGresult* result, int row, const ResultColumn& column,
                            const ColumnOutput& out) {
    std::string spec = std::string("@") + column.handler->typname;
    if (column.classId == mxCHAR_CLASS) {
        PGtext text = nullptr;
        if (!PQgetf(result, row, spec.c_str(), column.number, &text))
            raiseReadFailure(column, row, takePendingError());
        fillVariableRow(column, out, row, text ? text : "", text ? std::strlen(text) : 0);
    } else {  // uint8: bytea and the serialised types
        PGbytea bytes{};
        if (!PQgetf(result, row, spec.c_str(), column.number, &bytes))
            raiseReadFailure(column, row, takePendingError());
        fillVariableRow(column, out, row, bytes.data, static_cast<size_t>(bytes.len));
    }
}

// --- Filling one output ---------------------------------------------------

struct TextField {
    const PGresult* result;
    int row;
    const ResultColumn* column;
};

bool readTextField(const void* context, const ElementTarget& target, size_t index,
                   std::string& error) {
    const auto& field = *static_cast<const TextField*>(context);
    return readTextFormat(field.result, field.row, *field.column, target, index, error);
}

}  // namespace

ColumnArrays extractColumn(const PGresult* result, const ResultColumn& column,
                           const PGtypeFormatInfo& server, ColumnForm form) {
    int rows = PQntuples(result);
    ColumnParts parts(column, static_cast<size_t>(rows), form);
    ColumnOutput out = parts.output();
    for (int row = 0; row < rows; ++row) {
        if (PQgetisnull(result, row, column.number)) {
            fillNullRow(column, out, row);
        } else if (column.textFormat) {
            if (column.isArray)
                raiseReadFailure(column, row,
                                 "the array column is in text format; read it with getValue");
            if (column.codec->width == 0) {
                fillTextFormatVariable(result, row, column, out);
                continue;
            }
            TextField field{result, row, &column};
            fillScalarRow(column, out, row, readTextField, &field);
        } else {
            fillBinaryRow(column, PQgetvalue(result, row, column.number),
                          static_cast<size_t>(PQgetlength(result, row, column.number)), server, out,
                          row);
        }
    }
    return parts.finish();
}

void commandResultGet(const Command& command, int nlhs, mxArray* plhs[], int nrhs,
                      const mxArray* prhs[]) {
    bool columnVectors = optionColumnVectors(command, nlhs, nrhs, prhs);
    PGresult* result = resultArg(prhs, 0, RowRule::anyRows);
    TypeHandlers types = resultTypeHandlers(result);
    if (!types.handlers)
        raiseError("noTypeData",
                   "result %u carries no type data; use a result of exec or paramExec",
                   *static_cast<const uint32_t*>(mxGetData(prhs[0])));
    std::string format = formatArg(prhs, 1);

    SpecifierParse parse;
    for (const char* rest = format.c_str(); *rest;) {
        rest = parseSpecifier(rest, types, parse);
        if (!parse.handler) continue;
        int position = parse.position;
        if (position > nlhs)
            raiseError("tooManySpecifiers", "the format has more specifiers than the %d output(s)",
                       nlhs);
        bool flatten = (parse.flags & kSpecArray) && *rest == '@';
        if (flatten) ++rest;
        ResultColumn column =
            describeColumn(result, parse.handler, parse.flags, position, prhs, columnVectors);
        column.flatten = flatten;
        plhs[position - 1] =
            columnStruct(extractColumn(result, column, *types.server, ColumnForm::outputStruct));
    }
}

}  // namespace vorlex
