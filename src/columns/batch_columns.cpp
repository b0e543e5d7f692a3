// SPDX-License-Identifier: BSD-3-Clause
// batch_columns.cpp - checks and preparation of the batch command's
// columns, and the put of one row.
#include "columns/batch_columns.hpp"

#include <algorithm>
#include <cstring>
#include <string>

#include "backend/host_classes.hpp"
#include "columns/rearrange.hpp"
#include "host/errors.hpp"
#include "host/host.hpp"
#include "types/type_tables.hpp"

namespace vorlex {

namespace {

// Names a column in messages: "parameter 2 (field 'price', %pg_catalog.int4)".
struct ColumnLabel {
    std::string text;
    const char* c_str() const { return text.c_str(); }
};

ColumnLabel labelOf(const ParamRecord& record, const mxArray* values, size_t i) {
    return {"parameter " + std::to_string(i + 1) + " (field '" +
            mxGetFieldNameByNumber(values, static_cast<int>(i)) + "', " + specifierOf(record) +
            ")"};
}

bool isSerbytea(const ParamRecord& record) {
    return isGatewayHandler(record.handler) &&
           std::strcmp(record.handler->typname, kSerializedTypeName) == 0;
}

// An M-by-1 column (0-by-0 or 0-by-1 when M is 0).
bool isColumnOf(const mxArray* array, size_t rows) {
    return mxGetNumberOfDimensions(array) == 2 && mxGetM(array) == rows &&
           (mxGetN(array) == 1 || (rows == 0 && mxGetN(array) == 0));
}

bool sameShape(const mxArray* a, const mxArray* b) {
    mwSize ndims = mxGetNumberOfDimensions(a);
    return ndims == mxGetNumberOfDimensions(b) &&
           std::equal(mxGetDimensions(a), mxGetDimensions(a) + ndims, mxGetDimensions(b));
}

const mxLogical* logicalData(const mxArray* array, size_t rows) {
    return rows ? mxGetLogicals(array) : nullptr;
}

// A non-cell column is read as raw elements of the record's class, so any
// other class would be read with the wrong width: it is refused here.
void checkColumnClass(const ParamRecord& record, const mxArray* column, const ColumnLabel& label) {
    if (record.isArray && record.isVariableLength)
        raiseError("columnNotCell", "%s: arrays of this type are given as a cell column, not %s",
                   label.c_str(), shapeText(column).c_str());
    bool accepted =
        isOfClass(column, record.classId) || (record.isNumericLike && mxIsDouble(column));
    if (!accepted || mxIsSparse(column))
        raiseError("columnClass",
                   "%s: a %s column cannot be sent as this type (it takes full %s%s)",
                   label.c_str(), shapeText(column).c_str(), classIdName(record.classId),
                   record.isNumericLike && record.classId != mxDOUBLE_CLASS ? " or double" : "");
    if (mxIsComplex(column))
        raiseError("complexColumn", "%s: complex values cannot be sent", label.c_str());
}

// Bytes of a column rearranged at a time: a block in cache, sent soon.
constexpr size_t kBlockBytes = size_t{1} << 18;

// The column's data when a row's `count` elements already lie together
// (one row or one element), else null with `rearranged` set to rearrange
// it `perBlock` rows at a time (0: blocks of kBlockBytes).
const void* rowsTogetherData(const mxArray* column, size_t rows, size_t count, size_t perBlock,
                             RowBlock& rearranged) {
    if (rows <= 1 || count <= 1) return mxGetData(column);
    size_t elementSize = mxGetElementSize(column);
    rearranged = {static_cast<const char*>(mxGetData(column)),
                  rows,
                  count,
                  elementSize,
                  perBlock ? perBlock : std::max<size_t>(1, kBlockBytes / (count * elementSize)),
                  0,
                  0,
                  {}};
    return nullptr;
}

// Where row `row` is among the rows of a slice: in place, or in the block
// of `rearranged`, which is made first when it holds other rows.
size_t sliceRow(RowBlock& rearranged, size_t row) {
    if (!rearranged.column) return row;
    if (row < rearranged.first || row >= rearranged.end) {
        rearranged.first = row - row % rearranged.perBlock;
        rearranged.end = std::min(rearranged.rows, rearranged.first + rearranged.perBlock);
        size_t taken = rearranged.end - rearranged.first;
        rearranged.block.resize(taken * rearranged.count * rearranged.elementSize);
        rowsTogether(rearranged.column + rearranged.first * rearranged.elementSize, rearranged.rows,
                     taken, rearranged.count, rearranged.elementSize, rearranged.block.data());
    }
    return row - rearranged.first;
}

void makeTextSlice(BatchColumn& column, const ParamRecord& record, const mxArray* values,
                   size_t rows) {
    size_t count = mxGetN(values);
    if (count > UINT32_MAX) raiseError("tooLong", "values of %zu characters are too long", count);
    column.dims = {1, static_cast<uint32_t>(count)};
    if (record.classId == mxCHAR_CLASS) {
        mwSize scratchDims[2] = {1, static_cast<mwSize>(count)};
        column.scratch.reset(mxCreateCharArray(2, scratchDims));
    }
    column.slice = {rowsTogetherData(values, rows, count, 0, column.valueRows),
                    0,
                    static_cast<uint32_t>(count),
                    2,
                    column.dims.data(),
                    column.scratch.get()};
    column.hasSlice = true;
}

// Cell columns, and non-cell columns of scalar records.
void prepareRowColumn(BatchColumn& column, const ParamRecord& record, const mxArray* values,
                      const mxArray* elementNulls, size_t rows, const ColumnLabel& label) {
    if (record.isSerialised && !column.isCell)
        raiseError("serialisedNotCell", "%s: serialised values are given as a cell column, not %s",
                   label.c_str(), shapeText(values).c_str());
    if (mxGetNumberOfDimensions(values) > 2)
        raiseError("columnShape", "%s: a column has 2 dimensions, not %s", label.c_str(),
                   shapeText(values).c_str());
    if ((column.isCell || !record.isVariableLength) && !isColumnOf(values, rows))
        raiseError("columnShape", "%s: a %zu-by-1 column is needed, not %s", label.c_str(), rows,
                   shapeText(values).c_str());
    if (!column.isCell) {
        checkColumnClass(record, values, label);
        if (rows >= 1 && record.isVariableLength)
            makeTextSlice(column, record, values, rows);
        else
            column.data = rows ? mxGetData(values) : nullptr;
    }
    if (!elementNulls) return;
    if (!isColumnOf(elementNulls, rows))
        raiseError("elementNullsShape",
                   "%s: its elementNulls field must be a %zu-by-1 column, not %s", label.c_str(),
                   rows, shapeText(elementNulls).c_str());
    if (record.isArray && column.isCell) {
        if (!mxIsCell(elementNulls))
            raiseError("elementNullsClass",
                       "%s: its elementNulls field must be a cell column of logical masks, not %s",
                       label.c_str(), shapeText(elementNulls).c_str());
        column.maskCells = rows ? elementNulls : nullptr;
        return;
    }
    if (!mxIsLogical(elementNulls) || mxIsSparse(elementNulls))
        raiseError("elementNullsClass",
                   "%s: its elementNulls field must be a full logical column, not %s",
                   label.c_str(), shapeText(elementNulls).c_str());
    column.maskData = logicalData(elementNulls, rows);
}

// Non-cell columns of array records: row r is the array values(r, :, :, ...).
void prepareArrayColumn(BatchColumn& column, const ParamRecord& record, const mxArray* values,
                        const mxArray* elementNulls, size_t rows, const ColumnLabel& label) {
    checkColumnClass(record, values, label);
    mwSize ndims = mxGetNumberOfDimensions(values);
    if (ndims > static_cast<mwSize>(kMaxArrayDims))
        raiseError("tooManyDims",
                   "%s: a column of %zu dimensions holds values of as many; "
                   "arrays have at most %d",
                   label.c_str(), static_cast<size_t>(ndims), kMaxArrayDims);
    const mwSize* extents = mxGetDimensions(values);
    size_t count = 1;
    column.dims.assign(ndims, 1);
    for (mwSize d = 1; d < ndims; ++d) {
        if (extents[d] > static_cast<mwSize>(INT32_MAX))
            raiseError("tooLarge", "%s: the values are too large", label.c_str());
        column.dims[d] = static_cast<uint32_t>(extents[d]);
        count *= extents[d];
    }
    if (count > UINT32_MAX) raiseError("tooLarge", "%s: the values are too large", label.c_str());
    if (elementNulls && (!mxIsLogical(elementNulls) || mxIsSparse(elementNulls) ||
                         !sameShape(elementNulls, values)))
        raiseError("elementNullsShape",
                   "%s: its elementNulls field must be a full logical array shaped like the "
                   "column (%s), not %s",
                   label.c_str(), shapeText(values).c_str(), shapeText(elementNulls).c_str());
    if (rows == 0) return;
    column.slice = {rowsTogetherData(values, rows, count, 0, column.valueRows),
                    column.isDouble,
                    static_cast<uint32_t>(count),
                    static_cast<uint32_t>(ndims),
                    column.dims.data(),
                    nullptr};
    column.hasSlice = true;
    if (elementNulls)
        column.maskData = static_cast<const mxLogical*>(rowsTogetherData(
            elementNulls, rows, count, column.valueRows.perBlock, column.maskRows));
}

void prepareRowNulls(BatchColumn& column, const mxArray* valueNulls, size_t rows,
                     const ColumnLabel& label) {
    if (!mxIsLogical(valueNulls) || mxIsSparse(valueNulls) ||
        mxGetNumberOfDimensions(valueNulls) != 2 || mxGetN(valueNulls) > 1 ||
        (rows > 0 && mxGetN(valueNulls) != 1))
        raiseError("valueNullsShape",
                   "%s: its valueNulls field must be a full logical column, not %s", label.c_str(),
                   shapeText(valueNulls).c_str());
    if (mxGetM(valueNulls) != rows)
        raiseError("valueNullsRows", "%s: its valueNulls field has %zu rows, not %zu",
                   label.c_str(), static_cast<size_t>(mxGetM(valueNulls)), rows);
    column.rowNulls = logicalData(valueNulls, rows);
}

// Scalar texts and bytes: a cell column of them is read in one pass.
bool readsRows(const ParamRecord& record) {
    return !record.isArray && !record.isSerialised &&
           (record.classId == mxCHAR_CLASS || record.classId == mxUINT8_CLASS);
}

const mxArray* fieldOf(const mxArray* structure, size_t i) {
    return structure ? mxGetFieldByNumber(structure, 0, static_cast<int>(i)) : nullptr;
}

// The element mask of a cell column's row: shaped like the row's value.
const char* cellRowMask(const ParamRecord& record, const BatchColumn& column, size_t row,
                        const mxArray* value) {
    const mxArray* mask = mxGetCell(column.maskCells, row);
    if (!value) return nullptr;  // refused as a missing value
    if (!mask || !mxIsLogical(mask) || mxIsSparse(mask) || !sameShape(mask, value))
        raiseError("elementNullsShape",
                   "%s: its elementNulls mask must be a full logical array shaped like the "
                   "value (%s), not %s",
                   contextOf(record).c_str(), shapeText(value).c_str(),
                   mask ? shapeText(mask).c_str() : "missing");
    return reinterpret_cast<const char*>(mxGetLogicals(mask));
}

void refuseNullSerbytea(const ParamRecord& record, bool isNull, const char* mask, size_t count) {
    if (isNull)
        raiseError("serialisedNull", "%s: serbytea values cannot be NULL (serbytea_wn can)",
                   contextOf(record).c_str());
    if (mask && std::any_of(mask, mask + count, [](char flag) { return flag != 0; }))
        raiseError("serialisedNull", "%s: serbytea elements cannot be NULL (serbytea_wn can)",
                   contextOf(record).c_str());
}

}  // namespace

ColumnValue columnValue(const ParamRecord& record, BatchColumn& column, size_t row) {
    ColumnValue value;
    value.isNull = column.rowNulls && column.rowNulls[row];
    ValueSource& source = value.source;
    size_t maskCount = 0;
    if (column.isCell) {
        // Asking the cell for an element makes the host array of every
        // element; rows read with the column need none.
        if (!column.cellRows.bytes.empty() && column.cellRows.bytes[row]) {
            source.rowBytes = column.cellRows.bytes[row];
            source.rowLength = column.cellRows.lengths[row];
        } else {
            source.array = mxGetCell(column.cells, row);
        }
        if (column.maskCells) {
            value.mask = cellRowMask(record, column, row, source.array);
            maskCount = source.array ? mxGetNumberOfElements(source.array) : 0;
        } else if (column.maskData && column.maskData[row]) {
            value.isNull = true;
        }
    } else if (!value.isNull) {
        if (column.hasSlice) {
            // The value and its mask come from blocks of the same rows.
            size_t sliced = sliceRow(column.valueRows, row);
            if (column.valueRows.column) column.slice.data = column.valueRows.block.data();
            source.slice = &column.slice;
            source.offset = static_cast<long long>(sliced) * column.slice.count;
            if (record.isArray && column.maskRows.column) {
                sliceRow(column.maskRows, row);
                value.mask = column.maskRows.block.data();
            } else if (record.isArray) {
                value.mask = reinterpret_cast<const char*>(column.maskData);
            }
        } else {
            source.data = column.data;
            source.isDouble = column.isDouble;
            source.offset = static_cast<long long>(row);
        }
        if (!record.isArray && column.maskData && column.maskData[row]) value.isNull = true;
    }
    if (column.refusesNull) refuseNullSerbytea(record, value.isNull, value.mask, maskCount);
    return value;
}

void prefixRowNumber(GatewayError& error, size_t row) {
    error.message = "row " + std::to_string(row + 1) + ": " + error.message;
}

void prepareColumn(BatchColumn& column, const ParamRecord& record, const mxArray* field,
                   const mxArray* elementNulls, const mxArray* valueNulls, size_t rows,
                   const std::string& label) {
    ColumnLabel named{label};
    column.isCell = mxIsCell(field);
    column.isDouble = !column.isCell && mxIsDouble(field);
    column.refusesNull = isSerbytea(record);
    if (column.isCell) column.cells = field;
    if (column.isCell || !record.isArray)
        prepareRowColumn(column, record, field, elementNulls, rows, named);
    else
        prepareArrayColumn(column, record, field, elementNulls, rows, named);
    if (column.isCell && rows > 0 && readsRows(record))
        readCellRows(field, record.classId, column.cellRows);
    if (valueNulls) prepareRowNulls(column, valueNulls, rows, named);
}

void prepareColumns(BatchRows& batch, const mxArray* values, const mxArray* elementNulls,
                    const mxArray* valueNulls, size_t rows) {
    const std::vector<ParamRecord>& records = *batch.records;
    batch.columns.resize(records.size());
    for (size_t i = 0; i < records.size(); ++i) {
        ColumnLabel label = labelOf(records[i], values, i);
        const mxArray* field = fieldOf(values, i);
        if (!field) raiseError("missingColumn", "%s: the column is missing", label.c_str());
        const mxArray* masks = fieldOf(elementNulls, i);
        if (elementNulls && !masks)
            raiseError("missingColumn", "%s: its elementNulls field is missing", label.c_str());
        const mxArray* flags = fieldOf(valueNulls, i);
        if (valueNulls && !flags)
            raiseError("missingColumn", "%s: its valueNulls field is missing", label.c_str());
        prepareColumn(batch.columns[i], records[i], field, masks, flags, rows, label.text);
    }
}

void putBatchRow(void* context, PGparam* param, size_t row) {
    BatchRows& batch = *static_cast<BatchRows*>(context);
    const std::vector<ParamRecord>& records = *batch.records;
    try {
        for (size_t i = 0; i < records.size(); ++i) {
            ColumnValue value = columnValue(records[i], batch.columns[i], row);
            if (row == 0)
                putValue(param, records[i], value.source, value.mask, value.isNull);
            else
                replaceValue(param, static_cast<int>(i), records[i], value.source, value.mask,
                             value.isNull);
        }
    } catch (GatewayError& error) {
        prefixRowNumber(error, row);
        throw;
    }
}

}  // namespace vorlex
