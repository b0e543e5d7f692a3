// SPDX-License-Identifier: BSD-3-Clause
// growing_column.cpp - result columns that grow as the rows arrive.
#include "columns/growing_column.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "backend/host_cells.hpp"
#include "host/errors.hpp"
#include "host/host.hpp"

namespace vorlex {

namespace {

constexpr size_t kFirstCapacity = 1024;

// A finished numeric or logical column of `rows` elements from `buffer`,
// which is released at once: the columns are made one at a time, so that
// at most one column's data is held twice.
mxArray* vectorFrom(GrowingBuffer& buffer, mxClassID classId, size_t elementSize, size_t rows) {
    void* data;
    mxArray* column = createColumnArray(classId, rows, data);
    if (rows) std::memcpy(data, buffer.data(), rows * elementSize);
    buffer.free();
    return column;
}

// The whole column: the cells made before and those of the last rows.
mxArray* cellsOf(CellColumn& cells, std::vector<HostArrayOwner>& parts) {
    if (parts.empty()) return cells.make();
    parts.emplace_back(cells.make());
    std::vector<mxArray*> taken;
    taken.reserve(parts.size());
    for (HostArrayOwner& part : parts) taken.push_back(part.release());
    parts.clear();
    return joinRowCells(taken.data(), taken.size());
}

}  // namespace

GrowingBuffer::GrowingBuffer(GrowingBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)) {}

bool GrowingBuffer::resize(size_t bytes) {
    void* resized = std::realloc(data_, bytes ? bytes : 1);
    if (!resized) return false;  // the old buffer stays, for the destructor
    data_ = resized;
    return true;
}

void GrowingBuffer::free() { std::free(std::exchange(data_, nullptr)); }

GrowingColumn::GrowingColumn(const ResultColumn& described)
    : column(described), valueCells(valueCellsOf(described)), maskCells(maskCellsOf(described)) {}

void GrowingColumn::grow(size_t capacity) {
    bool grown = rowIsNull.resize(capacity * sizeof(mxLogical)) &&
                 (valueCells || valueData.resize(capacity * column.elementSize));
    if (!grown)
        raiseError("outOfMemory", "%s: out of memory growing its output to %zu rows",
                   describe(column).c_str(), capacity);
}

void GrowingColumn::makeCellsSoFar() {
    if (valueCells) valueParts.emplace_back(valueCells->make());
    if (maskCells) maskParts.emplace_back(maskCells->make());
}

ColumnOutput GrowingColumn::output() {
    return {valueCells ? &*valueCells : nullptr, valueData.data(),
            maskCells ? &*maskCells : nullptr, static_cast<mxLogical*>(rowIsNull.data()),
            static_cast<mxLogical*>(rowIsNull.data())};
}

ColumnArrays GrowingColumn::finish(size_t rows) {
    ColumnArrays arrays;
    arrays.value.reset(valueCells
                           ? cellsOf(*valueCells, valueParts)
                           : vectorFrom(valueData, column.classId, column.elementSize, rows));
    if (maskCells) arrays.valueIsNull.reset(cellsOf(*maskCells, maskParts));
    arrays.rowIsNull.reset(vectorFrom(rowIsNull, mxLOGICAL_CLASS, sizeof(mxLogical), rows));
    return arrays;
}

size_t nextCapacity(size_t capacity, size_t most) {
    return std::min(capacity ? capacity * 2 : kFirstCapacity, most);
}

}  // namespace vorlex
