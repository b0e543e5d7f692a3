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

#include "convert/array_codec.hpp"
#include "convert/element_access.hpp"
#include "convert/param_building.hpp"
#include "convert/pqtypes_private.hpp"
#include "convert/type_tables.hpp"
#include "gateway/commands.hpp"
#include "gateway/dispatch.hpp"
#include "gateway/errors.hpp"
#include "gateway/host.hpp"
#include "gateway/registry.hpp"

namespace vorlex {

namespace {

constexpr char kColumnVectorsOption[] = "columnVectors";

// One requested column.
struct Column {
    const PGtypeHandler* handler;
    bool isArray;
    bool flatten;
    std::string description;  // names the specifier in messages
    int number;
    mxClassID classId;
    const ElementCodec* codec;
    bool cellValue;   // `value` is a cell: arrays, variable-length types, or columnVectors false
    bool cellMask;    // `valueIsNull` is a cell: arrays or columnVectors false
    bool textFormat;  // the column came in text format (a result of execText)
};

bool optionColumnVectors(int nlhs, int nrhs, const mxArray* prhs[]) {
    if (nrhs == nlhs + 2) return true;
    if (nrhs != nlhs + 4)
        raiseError("nargin",
                   "%d output(s) need %d column argument(s): vorlex('resultGet', result, format, "
                   "column1, ... [, 'columnVectors', tf]); %d argument(s) given",
                   nlhs, nlhs, nrhs);
    int index = nlhs + 2;
    const mxArray* keyword = prhs[index];
    if (!mxIsChar(keyword))
        raiseError("optionNotChar", "argument %d must be the option name '%s', not %s",
                   argPosition(index), kColumnVectorsOption, mxGetClassName(keyword));
    std::string text;
    if (!charArrayBytes(keyword, text) || strcasecmp(text.c_str(), kColumnVectorsOption) != 0 ||
        text.size() != std::strlen(kColumnVectorsOption))
        raiseError("unknownOption", "argument %d: unknown option '%s'; the option is '%s'",
                   argPosition(index), text.c_str(), kColumnVectorsOption);
    const mxArray* flag = prhs[index + 1];
    if (!mxIsLogical(flag) || mxGetNumberOfElements(flag) != 1)
        raiseError("optionValue", "argument %d: the value of '%s' must be a logical scalar",
                   argPosition(index + 1), text.c_str());
    return *mxGetLogicals(flag) != 0;
}

// libpq's PQfnumber reads column names that a COPY result does not have.
int columnByName(const PGresult* result, const Column& column, const mxArray* arg, int index) {
    if (!mxIsChar(arg))
        raiseError("columnNameNotText", "argument %d must be a column name for %s, not %s",
                   argPosition(index), column.description.c_str(), mxGetClassName(arg));
    std::string name;
    if (!charArrayBytes(arg, name))
        raiseError("columnNameNotText", "argument %d (column name) could not be read",
                   argPosition(index));
    ExecStatusType status = PQresultStatus(result);
    bool hasNames = status != PGRES_COPY_OUT && status != PGRES_COPY_IN &&
                    status != PGRES_COPY_BOTH && name.find('\0') == std::string::npos;
    int number = hasNames ? PQfnumber(result, name.c_str()) : -1;
    if (number < 0)
        raiseError("unknownColumn", "argument %d: the result has no column named '%s'",
                   argPosition(index), name.c_str());
    return number;
}

// A column number is an integral double, counted from 0.
int columnByNumber(const Column& column, const mxArray* arg, int index) {
    if (mxGetNumberOfElements(arg) != 1 || mxGetNumberOfDimensions(arg) != 2 || mxIsSparse(arg) ||
        !mxIsDouble(arg) || mxIsComplex(arg))
        raiseError("columnNumber", "argument %d must be one column number (a real double) for %s",
                   argPosition(index), column.description.c_str());
    double value = mxGetScalar(arg);
    double whole = std::trunc(value);
    if (!(std::fabs(value - whole) <= 0x1p-52))
        raiseError("columnNumber", "argument %d: column number %g is not a whole number",
                   argPosition(index), value);
    // Out of int's range: no such column, reported by the type check.
    return whole >= 0 && whole <= 2147483647.0 ? static_cast<int>(whole) : -1;
}

Column describeColumn(const PGresult* result, PGtypeHandler* handler, int flags, int position,
                      const mxArray* const prhs[], bool columnVectors) {
    Column column{};
    column.handler = handler;
    column.isArray = (flags & kSpecArray) != 0;
    column.description =
        "specifier " + std::to_string(position) + " (" + specifierText(handler, flags) + ")";
    if (isDateTimeOid(handler->typoid) && !isGatewayHandler(handler))
        raiseError("dateTimeSchema",
                   "%s: date and time columns are read as date numbers through the %s types; "
                   "name the type without a schema",
                   column.description.c_str(), kTypeSchema);
    column.classId = classForTypeOid(handler->typoid);
    column.codec = elementCodecNamed(handler->typname);
    if (!isSupportedHandler(handler))
        raiseError("unsupportedType", "%s: the type %s.%s (OID %u) is not supported",
                   column.description.c_str(), handler->typschema, handler->typname,
                   handler->typoid);

    int index = position + 1;
    column.number = (flags & kSpecByName) ? columnByName(result, column, prhs[index], index)
                                          : columnByNumber(column, prhs[index], index);
    Oid wanted = column.isArray ? handler->typoid_array : handler->typoid;
    // Checked here: libpq would also print a notice for a column it lacks.
    bool exists = column.number >= 0 && column.number < PQnfields(result);
    Oid actual = exists ? PQftype(result, column.number) : 0;
    if (actual != wanted)
        raiseError("typeMismatch", "%s: column %d has type OID %u, the specifier reads OID %u",
                   column.description.c_str(), column.number, actual, wanted);
    column.cellValue = column.isArray || !columnVectors || isTextLikeOid(handler->typoid);
    column.cellMask = column.isArray || !columnVectors;
    column.textFormat = PQfformat(result, column.number) == 0;
    return column;
}

mxArray* createColumnVector(mxClassID classId, size_t rows) {
    if (classId == mxLOGICAL_CLASS) return mxCreateLogicalMatrix(rows, 1);
    return mxCreateNumericMatrix(rows, 1, classId, mxREAL);
}

mxArray* createEmpty(mxClassID classId) {
    mwSize dims[2] = {0, 0};
    if (classId == mxCHAR_CLASS) return mxCreateCharArray(2, dims);
    if (classId == mxLOGICAL_CLASS) return mxCreateLogicalArray(2, dims);
    return mxCreateNumericArray(2, dims, classId, mxREAL);
}

struct ColumnOutput {
    mxArray* value;
    mxArray* valueIsNull;
    mxLogical* rowIsNull;
};

// Serialised values fail only in the Octave function that restores them.
[[noreturn]] void raiseReadFailure(const Column& column, int row, const std::string& error) {
    bool restoring = column.codec->read == readSerialised;
    raiseError(restoring ? "deserialiseFailed" : "readFailed", "%s, row %d: %s",
               column.description.c_str(), row, error.c_str());
}

// --- Text-format columns, through libpqtypes --------------------------------

std::string takePendingError() {
    const char* pending = PQgeterror();
    std::string text = pending && *pending ? pending : "the value could not be read";
    PQseterror(nullptr);
    return text;
}

template <typename Wire, typename Stored>
bool getThroughLibpqtypes(const PGresult* result, int row, const Column& column,
                          const std::string& spec, const ElementTarget& target, size_t index) {
    Wire value{};
    if (!PQgetf(result, row, spec.c_str(), column.number, &value)) return false;
    storeAt(target, index, static_cast<Stored>(value));
    return true;
}

bool readTextFormat(const PGresult* result, int row, const Column& column,
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
        case mxDOUBLE_CLASS:
            ok = getThroughLibpqtypes<double, double>(result, row, column, spec, target, index);
            break;
        case mxCHAR_CLASS: {
            PGtext text = nullptr;
            ok = PQgetf(result, row, spec.c_str(), column.number, &text);
            if (ok) mxSetCell(target.array, index, createCharRow(text));
            break;
        }
        default: {  // uint8: bytea and the serialised types
            PGbytea bytes{};
            ok = PQgetf(result, row, spec.c_str(), column.number, &bytes);
            if (ok)
                return column.codec->read(bytes.data, static_cast<size_t>(bytes.len), target, index,
                                          PGtypeFormatInfo{}, error);
        }
    }
    if (!ok) error = takePendingError();
    return ok;
}

// --- Filling one output ---------------------------------------------------

bool readField(const PGresult* result, int row, const Column& column,
               const PGtypeFormatInfo& format, const ElementTarget& target, size_t index,
               std::string& error) {
    if (column.textFormat) return readTextFormat(result, row, column, target, index, error);
    return column.codec->read(PQgetvalue(result, row, column.number),
                              static_cast<size_t>(PQgetlength(result, row, column.number)), target,
                              index, format, error);
}

void fillArrayRow(const PGresult* result, int row, const Column& column,
                  const PGtypeFormatInfo& format, const ColumnOutput& out) {
    if (column.textFormat)
        raiseReadFailure(column, row, "the array column is in text format; read it with getValue");
    mxArray *value, *mask;
    std::string error;
    if (!decodeArrayFrame(PQgetvalue(result, row, column.number),
                          static_cast<size_t>(PQgetlength(result, row, column.number)),
                          *column.codec, column.handler->typoid, column.flatten, format, value,
                          mask, error))
        raiseReadFailure(column, row, error);
    mxSetCell(out.value, row, value);
    mxSetCell(out.valueIsNull, row, mask);
}

void fillScalarRow(const PGresult* result, int row, const Column& column,
                   const PGtypeFormatInfo& format, const ColumnOutput& out) {
    std::string error;
    bool ok;
    if (!column.cellValue) {
        ok = readField(result, row, column, format, {out.value, mxGetData(out.value)}, row, error);
    } else if (column.codec->width == 0) {  // the reader sets the cell itself
        ok = readField(result, row, column, format, {out.value, nullptr}, row, error);
    } else {
        mxArray* single = createColumnVector(column.classId, 1);
        ok = readField(result, row, column, format, {single, mxGetData(single)}, 0, error);
        mxSetCell(out.value, row, single);
    }
    if (!ok) raiseReadFailure(column, row, error);
    if (column.cellMask) mxSetCell(out.valueIsNull, row, mxCreateLogicalScalar(false));
}

void setNullRow(int row, const Column& column, const ColumnOutput& out) {
    out.rowIsNull[row] = true;
    if (column.cellValue) mxSetCell(out.value, row, createEmpty(column.classId));
    if (!column.cellMask)
        mxGetLogicals(out.valueIsNull)[row] = true;
    else if (column.isArray)
        mxSetCell(out.valueIsNull, row, createEmpty(mxLOGICAL_CLASS));
    else
        mxSetCell(out.valueIsNull, row, mxCreateLogicalScalar(true));
}

mxArray* extractColumn(const PGresult* result, const Column& column,
                       const PGtypeFormatInfo& format) {
    int rows = PQntuples(result);
    const char* fields[] = {"value", "valueIsNull", "rowIsNull"};
    mxArray* output = mxCreateStructMatrix(1, 1, 3, fields);
    mxArray* value =
        column.cellValue ? mxCreateCellMatrix(rows, 1) : createColumnVector(column.classId, rows);
    mxArray* valueIsNull =
        column.cellMask ? mxCreateCellMatrix(rows, 1) : mxCreateLogicalMatrix(rows, 1);
    mxArray* rowIsNull = mxCreateLogicalMatrix(rows, 1);
    mxSetFieldByNumber(output, 0, 0, value);
    mxSetFieldByNumber(output, 0, 1, valueIsNull);
    mxSetFieldByNumber(output, 0, 2, rowIsNull);

    ColumnOutput out{value, valueIsNull, mxGetLogicals(rowIsNull)};
    for (int row = 0; row < rows; ++row) {
        if (PQgetisnull(result, row, column.number))
            setNullRow(row, column, out);
        else if (column.isArray)
            fillArrayRow(result, row, column, format, out);
        else
            fillScalarRow(result, row, column, format, out);
    }
    return output;
}

}  // namespace

void commandResultGet(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    if (nlhs < 1)
        raiseError("nargout",
                   "resultGet needs at least one output: [s1, ...] = "
                   "vorlex('resultGet', result, format, column1, ...)");
    bool columnVectors = optionColumnVectors(nlhs, nrhs, prhs);
    PGresult* result = resultArg(prhs, 0, RowRule::anyRows);
    PqtTypeData* types = resultTypeData(result);
    if (!types)
        raiseError("noTypeData",
                   "result %u carries no type data; use a result of exec or paramExec",
                   *static_cast<const uint32_t*>(mxGetData(prhs[0])));
    std::string format = formatArg(prhs, 1);

    SpecifierParse parse;
    for (const char* rest = format.c_str(); *rest;) {
        rest = parseSpecifier(rest, types->typhandlers, types->typhcnt, parse);
        if (!parse.handler) continue;
        int position = parse.position;
        if (position > nlhs)
            raiseError("tooManySpecifiers", "the format has more specifiers than the %d output(s)",
                       nlhs);
        bool flatten = (parse.flags & kSpecArray) && *rest == '@';
        if (flatten) ++rest;
        Column column =
            describeColumn(result, parse.handler, parse.flags, position, prhs, columnVectors);
        column.flatten = flatten;
        plhs[position - 1] = extractColumn(result, column, types->fmtinfo);
    }
}

}  // namespace vorlex
