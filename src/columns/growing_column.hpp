// SPDX-License-Identifier: BSD-3-Clause
// growing_column.hpp - result columns that grow as rows arrive one at a
// time (a COPY stream, a query's rows in chunks), made into host arrays at
// the end.
#pragma once

#include <mex.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "columns/cell_column.hpp"
#include "columns/column_reading.hpp"
#include "host/owners.hpp"

namespace vorlex {

// Memory that grows as the rows arrive; a finished column is copied into
// its host array, so the module allocates it itself.
class GrowingBuffer {
  public:
    GrowingBuffer() = default;
    ~GrowingBuffer() { free(); }
    GrowingBuffer(GrowingBuffer&& other) noexcept;
    GrowingBuffer(const GrowingBuffer&) = delete;
    GrowingBuffer& operator=(const GrowingBuffer&) = delete;

    void* data() const { return data_; }
    // False, the buffer unchanged, when the memory is not there.
    bool resize(size_t bytes);
    void free();

  private:
    void* data_ = nullptr;
};

// One output column while the rows arrive: numeric and logical columns in
// buffers with room for `capacity` rows, cells gathered flat.
struct GrowingColumn {
    explicit GrowingColumn(const ResultColumn& described);

    ResultColumn column;
    GrowingBuffer valueData;
    std::optional<CellColumn> valueCells;
    std::optional<CellColumn> maskCells;  // else valueIsNull is rowIsNull
    GrowingBuffer rowIsNull;

    // Cells made of the rows before, in order (see makeCellsSoFar).
    std::vector<HostArrayOwner> valueParts;
    std::vector<HostArrayOwner> maskParts;

    // Room for `capacity` rows in the buffers.
    void grow(size_t capacity);
    // Has the host make the cells of the rows gathered since the last
    // call, releasing their flat rows: while rows still arrive, so that
    // making the cells overlaps their transfer.
    void makeCellsSoFar();
    ColumnOutput output();
    // The arrays of the first `rows` rows; the buffers are released.
    ColumnArrays finish(size_t rows);
};

// The room to make for rows when `capacity` is full: doubled, from a
// first few thousand, and never more than `most`.
size_t nextCapacity(size_t capacity, size_t most = SIZE_MAX);

}  // namespace vorlex
