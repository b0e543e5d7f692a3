// SPDX-License-Identifier: BSD-3-Clause
// column_reading.cpp - result columns into Octave arrays.
#include "results/column_reading.hpp"

#include <strings.h>

#include <cstring>

#include "types/array_codec.hpp"
#include "params/param_building.hpp"
#include "types/pqtypes_private.hpp"
#include "types/type_tables.hpp"
#include "host/errors.hpp"
#include "host/host.hpp"

namespace vorlex {

namespace {

constexpr char kColumnVectorsOption[] = "columnVectors";

mxArray* createEmpty(mxClassID classId) {
    mwSize dims[2] = {0, 0};
    if (classId == mxCHAR_CLASS) return mxCreateCharArray(2, dims);
    if (classId == mxLOGICAL_CLASS) return mxCreateLogicalArray(2, dims);
    return mxCreateNumericArray(2, dims, classId, mxREAL);
}

size_t classElementSize(mxClassID classId) {
    switch (classId) {
        case mxLOGICAL_CLASS:
        case mxUINT8_CLASS:
        case mxCHAR_CLASS:
            return 1;
        case mxINT16_CLASS:
            return 2;
        case mxINT32_CLASS:
        case mxSINGLE_CLASS:
            return 4;
        default:
            return 8;
    }
}

}  // namespace

ResultColumn describeSpecifier(const PGtypeHandler* handler, int flags, int position,
                               bool columnVectors) {
    ResultColumn column{};
    column.handler = handler;
    column.isArray = (flags & kSpecArray) != 0;
    column.description =
        "specifier " + std::to_string(position) + " (" + specifierText(handler, flags) + ")";
    if (isDateTimeOid(handler->typoid) && !isGatewayHandler(handler))
        raiseError("dateTimeSchema",
                   "%s: date and time columns are read as date numbers through the %s types; "
                   "name the type without a schema",
                   column.description.c_str(), kTypeSchema);
    const PgType* type = typeOfHandler(handler);
    if (!type)
        raiseError("unsupportedType", "%s: the type %s.%s (OID %u) is not supported",
                   column.description.c_str(), handler->typschema, handler->typname,
                   handler->typoid);
    column.classId = type->classId;
    column.elementSize = classElementSize(column.classId);
    column.codec = &type->codec;
    column.cellValue = column.isArray || !columnVectors || isVariableLength(type->kind);
    column.cellMask = column.isArray || !columnVectors;
    return column;
}

void requireColumnType(const ResultColumn& column, Oid actual) {
    Oid wanted = column.isArray ? column.handler->typoid_array : column.handler->typoid;
    if (actual != wanted)
        raiseError("typeMismatch", "%s: column %d has type OID %u, the specifier reads OID %u",
                   column.description.c_str(), column.number, actual, wanted);
}

bool columnVectorsOption(const mxArray* const prhs[], int index) {
    std::string name = std::string("option name '") + kColumnVectorsOption + "'";
    std::string text =
        charArg(prhs, index, {name.c_str(), "optionNotChar", "unknownOption", "unknownOption"});
    if (strcasecmp(text.c_str(), kColumnVectorsOption) != 0)
        raiseError("unknownOption", "argument %d: unknown option '%s'; the option is '%s'",
                   argPosition(index), text.c_str(), kColumnVectorsOption);
    const mxArray* flag = prhs[index + 1];
    if (!mxIsLogical(flag) || mxGetNumberOfElements(flag) != 1)
        raiseError("optionValue", "argument %d: the value of '%s' must be a logical scalar",
                   argPosition(index + 1), text.c_str());
    return *mxGetLogicals(flag) != 0;
}

mxArray* createColumnVector(mxClassID classId, size_t rows) {
    // Below this the host's call costs more than the copy it saves.
    constexpr size_t kHostColumnRows = 4096;
    if (rows >= kHostColumnRows)
        if (mxArray* column = createHostColumn(classId, rows)) return column;
    if (classId == mxLOGICAL_CLASS) return mxCreateLogicalMatrix(rows, 1);
    return mxCreateNumericMatrix(rows, 1, classId, mxREAL);
}

mxArray* columnStruct(mxArray* value, mxArray* valueIsNull, mxArray* rowIsNull) {
    const char* fields[] = {"value", "valueIsNull", "rowIsNull"};
    mxArray* output = mxCreateStructMatrix(1, 1, 3, fields);
    mxSetFieldByNumber(output, 0, 0, value);
    mxSetFieldByNumber(output, 0, 1, valueIsNull);
    mxSetFieldByNumber(output, 0, 2, rowIsNull);
    return output;
}

mxArray* createColumnStruct(const ResultColumn& column, size_t rows, ColumnOutput& out) {
    mxArray* value =
        column.cellValue ? mxCreateCellMatrix(rows, 1) : createColumnVector(column.classId, rows);
    mxArray* valueIsNull =
        column.cellMask ? mxCreateCellMatrix(rows, 1) : mxCreateLogicalMatrix(rows, 1);
    mxArray* rowIsNull = mxCreateLogicalMatrix(rows, 1);
    out = {column.cellValue ? value : nullptr, column.cellValue ? nullptr : mxGetData(value),
           column.cellMask ? valueIsNull : nullptr,
           column.cellMask ? nullptr : mxGetLogicals(valueIsNull), mxGetLogicals(rowIsNull)};
    return columnStruct(value, valueIsNull, rowIsNull);
}

void raiseReadFailure(const ResultColumn& column, size_t row, const std::string& error) {
    bool restoring = column.codec->read == readSerialised;
    raiseError(restoring ? "deserialiseFailed" : "readFailed", "%s, row %zu: %s",
               column.description.c_str(), row, error.c_str());
}

void fillNullRow(const ResultColumn& column, const ColumnOutput& out, size_t row) {
    out.rowIsNull[row] = true;
    if (column.cellValue)
        mxSetCell(out.valueCells, row, createEmpty(column.classId));
    else
        std::memset(static_cast<char*>(out.valueData) + row * column.elementSize, 0,
                    column.elementSize);
    if (!column.cellMask)
        out.maskData[row] = true;
    else if (column.isArray)
        mxSetCell(out.maskCells, row, createEmpty(mxLOGICAL_CLASS));
    else
        mxSetCell(out.maskCells, row, mxCreateLogicalScalar(true));
}

void fillScalarRow(const ResultColumn& column, const ColumnOutput& out, size_t row,
                   ElementRead read, const void* context) {
    std::string error;
    bool ok;
    if (!column.cellValue) {
        ok = read(context, {nullptr, out.valueData}, row, error);
    } else if (column.codec->width == 0) {  // the reader sets the cell itself
        ok = read(context, {out.valueCells, nullptr}, row, error);
    } else {
        mxArray* single = createColumnVector(column.classId, 1);
        ok = read(context, {single, mxGetData(single)}, 0, error);
        mxSetCell(out.valueCells, row, single);
    }
    if (!ok) raiseReadFailure(column, row, error);
    out.rowIsNull[row] = false;
    if (column.cellMask)
        mxSetCell(out.maskCells, row, mxCreateLogicalScalar(false));
    else
        out.maskData[row] = false;
}

namespace {

struct BinaryField {
    const ResultColumn* column;
    const char* bytes;
    size_t length;
    const PGtypeFormatInfo* server;
};

bool readBinary(const void* context, const ElementTarget& target, size_t index,
                std::string& error) {
    const auto& field = *static_cast<const BinaryField*>(context);
    return field.column->codec->read(field.bytes, field.length, target, index, *field.server,
                                     error);
}

}  // namespace

void fillBinaryRow(const ResultColumn& column, const char* bytes, size_t length,
                   const PGtypeFormatInfo& server, const ColumnOutput& out, size_t row) {
    if (!column.isArray) {
        BinaryField field{&column, bytes, length, &server};
        fillScalarRow(column, out, row, readBinary, &field);
        return;
    }
    mxArray *value, *mask;
    std::string error;
    if (!decodeArrayFrame(bytes, length, *column.codec, column.handler->typoid, column.flatten,
                          server, value, mask, error))
        raiseReadFailure(column, row, error);
    out.rowIsNull[row] = false;
    mxSetCell(out.valueCells, row, value);
    mxSetCell(out.maskCells, row, mask);
}

}  // namespace vorlex
