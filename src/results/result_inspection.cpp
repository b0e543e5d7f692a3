// SPDX-License-Identifier: BSD-3-Clause
// result_inspection.cpp - the commands that look into a result one item at
// a time: its counts, column names and sizes, NULL flags and value lengths
// (for text and binary results alike), and getValue, which converts one
// value of a text-format result by its type (types/text_values.hpp).
//
// Checks run in this order, after the dispatcher's counts: the classes and
// shapes of the arguments in argument order, the handle's single row and its
// membership of the result registry, then the indices, row before column.
#include <libpq-fe.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "handles/registry.hpp"
#include "host/command.hpp"
#include "host/errors.hpp"
#include "host/host.hpp"
#include "results/server_types.hpp"
#include "types/text_values.hpp"
#include "types/type_catalogue.hpp"

namespace vorlex {

namespace {

// A row or column index argument and the checks it gets.
struct IndexArg {
    const char* noun;
    const char* classCheck;
    const char* shapeCheck;
    const char* rangeCheck;
};

const IndexArg kRowArg{"row", "rowNotNumeric", "rowNotScalar", "rowRange"};
const IndexArg kColumnArg{"column", "columnNotNumeric", "columnNotScalar", "columnRange"};

// The indices a command takes after the result handle.
enum class Indices { none, column, rowAndColumn };

struct ResultItem {
    PGresult* result;
    int row;
    int column;
};

void requireIndexShape(const mxArray* const prhs[], int index, const IndexArg& arg) {
    const mxArray* value = prhs[index];
    if (!mxIsNumeric(value))
        raiseError(arg.classCheck, "argument %d (%s index) must be numeric, not %s",
                   argPosition(index), arg.noun, mxGetClassName(value));
    if (mxGetNumberOfElements(value) != 1)
        raiseError(arg.shapeCheck, "argument %d (%s index) must be a scalar, not %zux%zu",
                   argPosition(index), arg.noun, static_cast<size_t>(mxGetM(value)),
                   static_cast<size_t>(mxGetN(value)));
}

// The index truncated toward zero, which must lie in [0, count).  The test
// is made on the double so that NaN and values beyond the int range are
// refused instead of converted.
int indexWithin(const mxArray* const prhs[], int index, int count, const IndexArg& arg) {
    double given = mxGetScalar(prhs[index]);
    double truncated = std::trunc(given);
    if (!(truncated >= 0 && truncated < count))
        raiseError(arg.rangeCheck,
                   "argument %d (%s index %g) must be at least 0 and below the %s count %d",
                   argPosition(index), arg.noun, given, arg.noun, count);
    return static_cast<int>(truncated);
}

ResultItem checkedItem(const mxArray* prhs[], Indices indices) {
    int columnIndex = indices == Indices::rowAndColumn ? 2 : 1;
    requireHandleClass(HandleKind::result, prhs, 0);
    if (indices == Indices::rowAndColumn) requireIndexShape(prhs, 1, kRowArg);
    if (indices != Indices::none) requireIndexShape(prhs, columnIndex, kColumnArg);

    ResultItem item{resultArg(prhs, 0, RowRule::oneRow), 0, 0};
    if (indices == Indices::rowAndColumn)
        item.row = indexWithin(prhs, 1, PQntuples(item.result), kRowArg);
    if (indices != Indices::none)
        item.column = indexWithin(prhs, columnIndex, PQnfields(item.result), kColumnArg);
    return item;
}

mxArray* numberOutput(int value) { return mxCreateDoubleScalar(static_cast<double>(value)); }

// The columns of a COPY result are described without names, and PQfnumber
// dereferences every column's name: such results never reach it.
bool columnsHaveNames(const PGresult* result) {
    for (int column = 0; column < PQnfields(result); ++column)
        if (!PQfname(result, column)) return false;
    return true;
}

// PQfnumber's answer, with its rules of quoting and case folding.  No
// column name holds a NUL, so a name with one matches none (instead of
// matching the part before the NUL).
int columnNumber(const PGresult* result, const std::string& name) {
    if (!columnsHaveNames(result) || name.find('\0') != std::string::npos) return -1;
    return PQfnumber(result, name.c_str());
}

template <typename T>
mxArray* integerScalar(mxClassID classId, int64_t value) {
    mxArray* scalar = mxCreateNumericMatrix(1, 1, classId, mxREAL);
    *static_cast<T*>(mxGetData(scalar)) = static_cast<T>(value);
    return scalar;
}

mxArray* doubleMatrix(const TextValue& value) {
    mxArray* matrix = mxCreateDoubleMatrix(value.rows, value.columns, mxREAL);
    if (!value.matrix.empty())
        std::memcpy(mxGetData(matrix), value.matrix.data(), value.matrix.size() * sizeof(double));
    return matrix;
}

// Rows padded with blanks to the longest.
mxArray* charMatrix(const std::vector<std::string>& lines) {
    std::vector<const char*> texts;
    texts.reserve(lines.size());
    for (const std::string& line : lines) texts.push_back(line.c_str());
    return mxCreateCharMatrixFromStrings(texts.size(), texts.data());
}

mxArray* valueOutput(const TextValue& value, const char* text, size_t length,
                     const ResultItem& item) {
    switch (value.kind) {
        case TextValueKind::int64Scalar:
            return integerScalar<int64_t>(mxINT64_CLASS, value.integer);
        case TextValueKind::int32Scalar:
            return integerScalar<int32_t>(mxINT32_CLASS, value.integer);
        case TextValueKind::doubleScalar:
            return mxCreateDoubleScalar(value.number);
        case TextValueKind::doubleMatrix:
            return doubleMatrix(value);
        case TextValueKind::textRows:
            return charMatrix(value.lines);
        case TextValueKind::truncatedArray:
            raiseError("arrayTruncated",
                       "the array at row %d, column %d ends before its last element: %.60s",
                       item.row, item.column, std::string(text, length).c_str());
        case TextValueKind::rawText:
            break;
    }
    return createCharRow(text, length);
}

}  // namespace

void commandRowCount(const Command&, int, mxArray* plhs[], int, const mxArray* prhs[]) {
    ResultItem item = checkedItem(prhs, Indices::none);
    plhs[0] = numberOutput(PQntuples(item.result));
}

void commandFieldCount(const Command&, int, mxArray* plhs[], int, const mxArray* prhs[]) {
    ResultItem item = checkedItem(prhs, Indices::none);
    plhs[0] = numberOutput(PQnfields(item.result));
}

void commandFieldName(const Command&, int, mxArray* plhs[], int, const mxArray* prhs[]) {
    ResultItem item = checkedItem(prhs, Indices::column);
    const char* name = PQfname(item.result, item.column);
    if (!name)
        raiseError("unnamedColumn",
                   "column %d has no name: the result of a COPY describes its columns "
                   "without names",
                   item.column);
    plhs[0] = createCharRow(name);
}

void commandFieldNumber(const Command&, int, mxArray* plhs[], int, const mxArray* prhs[]) {
    requireHandleClass(HandleKind::result, prhs, 0);
    // The text is taken in column-major order, whatever its shape; a NUL
    // makes a name that matches no column.
    std::string name = charArg(prhs, 1, {"column name", "nameNotChar", "nameUnreadable", nullptr});
    PGresult* result = resultArg(prhs, 0, RowRule::oneRow);
    plhs[0] = numberOutput(columnNumber(result, name));
}

void commandFieldSize(const Command&, int, mxArray* plhs[], int, const mxArray* prhs[]) {
    ResultItem item = checkedItem(prhs, Indices::column);
    plhs[0] = numberOutput(PQfsize(item.result, item.column));
}

void commandIsNull(const Command&, int, mxArray* plhs[], int, const mxArray* prhs[]) {
    ResultItem item = checkedItem(prhs, Indices::rowAndColumn);
    plhs[0] = mxCreateLogicalScalar(PQgetisnull(item.result, item.row, item.column) != 0);
}

// The name is the catalogue's for the module's types; others are asked of
// the server on the connection the result came from, while it is open.
void commandFieldType(const Command&, int nlhs, mxArray* plhs[], int, const mxArray* prhs[]) {
    ResultItem item = checkedItem(prhs, Indices::column);
    Oid oid = PQftype(item.result, item.column);
    plhs[0] = mxCreateDoubleScalar(oid);
    if (nlhs < 2) return;
    std::string name = knownTypeName(oid);
    PGconn* conn = name.empty()
                       ? resultConnection(*static_cast<const uint32_t*>(mxGetData(prhs[0])))
                       : nullptr;
    if (conn) name = serverTypeName(conn, oid);
    plhs[1] = createCharRow(name.data(), name.size());
}

// 0 for NULL as for an empty value.
void commandValueLength(const Command&, int, mxArray* plhs[], int, const mxArray* prhs[]) {
    ResultItem item = checkedItem(prhs, Indices::rowAndColumn);
    plhs[0] = numberOutput(PQgetlength(item.result, item.row, item.column));
}

void commandGetValue(const Command&, int, mxArray* plhs[], int, const mxArray* prhs[]) {
    ResultItem item = checkedItem(prhs, Indices::rowAndColumn);
    if (PQbinaryTuples(item.result))
        raiseError("binaryResult",
                   "the result holds binary values (from exec or paramExec); read them with "
                   "resultGet, or run the statement with execText");
    const char* text = PQgetvalue(item.result, item.row, item.column);
    size_t length = static_cast<size_t>(PQgetlength(item.result, item.row, item.column));
    TextValue value = readTextValue(PQftype(item.result, item.column), text, length);
    plhs[0] = valueOutput(value, text, length, item);
}

}  // namespace vorlex
