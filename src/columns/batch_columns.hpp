// SPDX-License-Identifier: BSD-3-Clause
// batch_columns.hpp - the batch command's columns, ready to be read row by
// row in place.
//
// Every parameter's values arrive as one column of M rows: a cell column
// (one Octave array per row, put in the direct form), a plain numeric or
// logical column vector (element r is row r), or, for variable-length and array
// parameters, a matrix whose row r holds one value (M-by-K characters or
// bytes, or M-by-d2-by-d3... elements), read through a ColumnSlice.  Such a
// matrix is rearranged, a block of rows at a time as the rows are read, so
// that each row's elements lie together.
// Every check on shapes and classes runs here, before anything is sent.
#pragma once

#include <mex.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "backend/host_cells.hpp"
#include "host/errors.hpp"
#include "host/owners.hpp"
#include "params/param_building.hpp"
#include "types/array_codec.hpp"

namespace vorlex {

// A matrix column's rows with each row's elements together
// (rearrange.hpp), made a block at a time as the rows are read: a stream
// starts with its first block, not after the whole column.
struct RowBlock {
    const char* column = nullptr;  // the column-major matrix; null: read in place
    size_t rows = 0;               // the matrix's rows
    size_t count = 0;              // elements of a row
    size_t elementSize = 0;
    size_t perBlock = 0;        // rows rearranged at a time
    size_t first = 0, end = 0;  // the rows `block` holds
    std::vector<char> block;
};

struct BatchColumn {
    bool isCell = false;
    const mxArray* cells = nullptr;  // a cell column
    const void* data = nullptr;      // a plain column: its elements
    bool isDouble = false;           // the column holds doubles
    bool hasSlice = false;           // variable-length and array matrices
    ColumnSlice slice{};
    std::vector<uint32_t> dims;           // the slice's extents of one value
    const mxArray* maskCells = nullptr;   // per-row element masks of a cell column
    const mxLogical* maskData = nullptr;  // element masks, or per-row NULL flags
    const mxLogical* rowNulls = nullptr;  // whole-value NULL flags
    bool refusesNull = false;             // serbytea has no NULL
    CellRows cellRows;                    // a cell column of texts or bytes, read in one pass
    RowBlock valueRows;                   // the slice's rows, rearranged
    RowBlock maskRows;                    // the element masks' rows, in the same blocks
    HostArrayOwner scratch;               // the slice's 1-by-K char array
};

// The columns of one call and the records they are put with.
struct BatchRows {
    const std::vector<ParamRecord>* records;
    std::vector<BatchColumn> columns;
};

// Checks and prepares one column for its record: `field` holds its rows,
// `elementNulls` and `valueNulls` its fields of the NULL structs (null
// when absent); `label` names it in messages.  `rows` is M.
void prepareColumn(BatchColumn& column, const ParamRecord& record, const mxArray* field,
                   const mxArray* elementNulls, const mxArray* valueNulls, size_t rows,
                   const std::string& label);

// Checks and prepares column i of `values` (and of the NULL structs, which
// may be null) for its record.  `rows` is M.
void prepareColumns(BatchRows& batch, const mxArray* values, const mxArray* elementNulls,
                    const mxArray* valueNulls, size_t rows);

// Row `row` of a prepared column: where its value comes from, its element
// mask and whether it is NULL.  A NULL serbytea value or element is
// refused here.
struct ColumnValue {
    ValueSource source;
    const char* mask = nullptr;
    bool isNull = false;
};
ColumnValue columnValue(const ParamRecord& record, BatchColumn& column, size_t row);

// Errors raised while row `row` (0-based) is sent start "row N: ".
void prefixRowNumber(GatewayError& error, size_t row);

// Puts row `row` of every column into the set, row 0 into the empty set
// and each later row over the one before; a RowBuilder's procedure
// (context: the BatchRows).
void putBatchRow(void* context, PGparam* param, size_t row);

}  // namespace vorlex
