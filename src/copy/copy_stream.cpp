// SPDX-License-Identifier: BSD-3-Clause
// copy_stream.cpp - the binary COPY TO stream into growing result columns.
#include "copy/copy_stream.hpp"

#include <algorithm>
#include <cstring>
#include <utility>

#include "host/errors.hpp"
#include "host/host.hpp"

namespace vorlex {

namespace {

constexpr size_t kFirstCapacity = 1024;

constexpr char kSignature[11] = {'P', 'G', 'C', 'O', 'P', 'Y', '\n', '\377', '\r', '\n', '\0'};
constexpr uint32_t kFlagWithOids = 1u << 16;

// A cell column that grows: its elements move to a larger cell.
void growCells(HostArrayOwner& cells, size_t capacity, size_t filled) {
    HostArrayOwner grown(mxCreateCellMatrix(capacity, 1));
    for (size_t i = 0; i < filled; ++i) {
        mxSetCell(grown.get(), i, mxGetCell(cells.get(), i));
        mxSetCell(cells.get(), i, nullptr);
    }
    cells = std::move(grown);
}

// A finished numeric or logical column of `rows` elements from `buffer`,
// which is released at once: the columns are made one at a time, so that
// at most one column's data is held twice.
mxArray* vectorFrom(HostBuffer& buffer, mxClassID classId, size_t elementSize, size_t rows) {
    mxArray* column = createColumnVector(classId, rows);
    if (rows) std::memcpy(mxGetData(column), buffer.data(), rows * elementSize);
    buffer.free();
    return column;
}

}  // namespace

HostBuffer::HostBuffer(HostBuffer&& other) noexcept : data_(std::exchange(other.data_, nullptr)) {}

void HostBuffer::resize(size_t bytes) {
    if (bytes == 0) bytes = 1;
    data_ = data_ ? mxRealloc(data_, bytes) : mxMalloc(bytes);
}

void* HostBuffer::release() { return std::exchange(data_, nullptr); }

void HostBuffer::free() {
    if (data_) mxFree(std::exchange(data_, nullptr));
}

GrowingColumn::GrowingColumn(const ResultColumn& described)
    : column(described), packed(described.isArray && described.codec->width > 0) {}

void GrowingColumn::grow(size_t capacity, size_t filled) {
    rowIsNull.resize(capacity * sizeof(mxLogical));
    if (packed) return;  // the packed buffers grow as rows come
    if (column.cellValue)
        growCells(valueCells, capacity, filled);
    else
        valueData.resize(capacity * column.elementSize);
    if (column.cellMask)
        growCells(maskCells, capacity, filled);
    else
        maskData.resize(capacity * sizeof(mxLogical));
}

bool GrowingColumn::pack(const char* bytes, size_t length, const PGtypeFormatInfo& server,
                         size_t row) {
    if (!bytes) return false;
    mwSize ndims;
    mwSize dims[kMaxArrayDims];
    std::string error;
    if (!arrayFrameShape(bytes, length, column.handler->typoid, column.flatten, ndims, dims, error))
        return false;  // the row-by-row decoding raises it
    size_t count = 1;
    for (mwSize d = 0; d < ndims; ++d) count *= dims[d];
    if (row == 0) {
        if (count == 0) return false;
        packedNdims = ndims;
        std::copy(dims, dims + ndims, packedDims);
        packedCount = count;
    } else if (ndims != packedNdims || !std::equal(dims, dims + ndims, packedDims)) {
        return false;
    }
    if (row == packedCapacity) {
        packedCapacity = packedCapacity ? packedCapacity * 2 : kFirstCapacity;
        packedValues.resize(packedCapacity * packedCount * column.elementSize);
        packedMasks.resize(packedCapacity * packedCount * sizeof(mxLogical));
    }
    char* values = static_cast<char*>(packedValues.data()) + row * packedCount * column.elementSize;
    mxLogical* masks = static_cast<mxLogical*>(packedMasks.data()) + row * packedCount;
    if (!decodeArrayFrameInto(bytes, length, *column.codec, column.handler->typoid, server, values,
                              column.elementSize, masks, error))
        raiseReadFailure(column, row, error);
    static_cast<mxLogical*>(rowIsNull.data())[row] = false;
    return true;
}

void GrowingColumn::unpack(size_t filled, size_t capacity) {
    unpackFrom(static_cast<const char*>(packedValues.data()),
               static_cast<const mxLogical*>(packedMasks.data()), filled, capacity);
}

void GrowingColumn::unpackFrom(const char* values, const mxLogical* masks, size_t filled,
                               size_t capacity) {
    packed = false;
    valueCells.reset(mxCreateCellMatrix(capacity, 1));
    maskCells.reset(mxCreateCellMatrix(capacity, 1));
    size_t valueBytes = packedCount * column.elementSize;
    for (size_t row = 0; row < filled; ++row) {
        mxArray* value = column.codec->create(packedNdims, packedDims);
        std::memcpy(mxGetData(value), values + row * valueBytes, valueBytes);
        mxSetCell(valueCells.get(), row, value);
        mxArray* mask = mxCreateLogicalArray(packedNdims, packedDims);
        std::memcpy(mxGetLogicals(mask), masks + row * packedCount, packedCount);
        mxSetCell(maskCells.get(), row, mask);
    }
    packedValues.free();
    packedMasks.free();
}

ColumnOutput GrowingColumn::output() const {
    return {valueCells.get(), valueData.data(), maskCells.get(),
            static_cast<mxLogical*>(maskData.data()), static_cast<mxLogical*>(rowIsNull.data())};
}

// A packed buffer as one array whose last dimension counts the rows.
HostArrayOwner GrowingColumn::packedArray(HostBuffer& data, mxClassID classId, size_t elementSize,
                                          size_t rows) {
    mwSize dims[kMaxArrayDims + 1];
    std::copy(packedDims, packedDims + packedNdims, dims);
    dims[packedNdims] = rows;
    mwSize empty[2] = {0, 0};
    HostArrayOwner whole(classId == mxLOGICAL_CLASS
                             ? mxCreateLogicalArray(2, empty)
                             : mxCreateNumericArray(2, empty, classId, mxREAL));
    if (void* none = mxGetData(whole.get())) mxFree(none);
    data.resize(rows * packedCount * elementSize);
    mxSetData(whole.get(), data.release());
    mxSetDimensions(whole.get(), dims, packedNdims + 1);
    return whole;
}

mxArray* GrowingColumn::finish(size_t rows) {
    // Below this many rows the host's passes cost more than they save.
    constexpr size_t kHostCellRows = 4096;
    if (packed && rows >= kHostCellRows) {
        HostArrayOwner values = packedArray(packedValues, column.classId, column.elementSize, rows);
        HostArrayOwner masks = packedArray(packedMasks, mxLOGICAL_CLASS, sizeof(mxLogical), rows);
        int sliceDims = static_cast<int>(packedNdims);
        mxArray* valueCellsMade = createHostSliceCells(values.get(), sliceDims, rows);
        mxArray* maskCellsMade =
            valueCellsMade ? createHostSliceCells(masks.get(), sliceDims, rows) : nullptr;
        if (maskCellsMade)
            return columnStruct(valueCellsMade, maskCellsMade,
                                vectorFrom(rowIsNull, mxLOGICAL_CLASS, sizeof(mxLogical), rows));
        if (valueCellsMade) mxDestroyArray(valueCellsMade);
        // The host did not cut them: the rows become cells one by one.
        unpackFrom(static_cast<const char*>(mxGetData(values.get())), mxGetLogicals(masks.get()),
                   rows, rows);
    }
    if (packed) unpack(rows, rows);
    if (column.cellValue) growCells(valueCells, rows, rows);
    if (column.cellMask) growCells(maskCells, rows, rows);
    mxArray* value = column.cellValue
                         ? valueCells.release()
                         : vectorFrom(valueData, column.classId, column.elementSize, rows);
    mxArray* valueIsNull = column.cellMask
                               ? maskCells.release()
                               : vectorFrom(maskData, mxLOGICAL_CLASS, sizeof(mxLogical), rows);
    return columnStruct(value, valueIsNull,
                        vectorFrom(rowIsNull, mxLOGICAL_CLASS, sizeof(mxLogical), rows));
}

void CopyStreamDecoder::take(const char* data, size_t length) {
    if (pending_.empty()) {
        size_t used = decode(data, length);
        pending_.assign(data + used, length - used);
    } else {
        pending_.append(data, length);
        size_t used = decode(pending_.data(), pending_.size());
        pending_.erase(0, used);
    }
}

void CopyStreamDecoder::requireEnd() const {
    if (!ended_ || !pending_.empty())
        raiseError("readFailed", "the COPY stream ended %s", ended_ ? "with extra bytes" : "early");
}

// Decodes what is whole of `data`; returns the bytes used.
size_t CopyStreamDecoder::decode(const char* data, size_t length) {
    WireReader reader(data, length);
    if (!headerRead_ && !readHeader(reader)) return 0;
    size_t used = length - reader.left();
    while (reader.left() >= 2) {
        if (ended_) raiseError("readFailed", "the COPY stream has bytes after its end");
        int16_t fields = static_cast<int16_t>(loadBig16(reader.take(2)));
        if (fields == -1) {
            ended_ = true;
            used = length - reader.left();
            continue;
        }
        if (static_cast<size_t>(fields) != columns_.size())
            raiseError("readFailed", "a row of the COPY stream has %d fields, not %zu", fields,
                       columns_.size());
        if (!rowIsWhole(reader)) break;
        decodeRow(reader);
        used = length - reader.left();
    }
    return used;
}

bool CopyStreamDecoder::readHeader(WireReader& reader) {
    WireReader probe = reader;
    const char* signature = probe.take(sizeof kSignature);
    int32_t flags, extension;
    if (!signature || !probe.readInt32(flags) || !probe.readInt32(extension)) return false;
    if (std::memcmp(signature, kSignature, sizeof kSignature) != 0)
        raiseError("readFailed", "the COPY stream does not start with the binary signature");
    if ((static_cast<uint32_t>(flags) & kFlagWithOids) || extension < 0)
        raiseError("readFailed", "the COPY stream's header is not one this module reads");
    if (!probe.take(static_cast<size_t>(extension))) return false;
    reader = probe;
    headerRead_ = true;
    return true;
}

// Whether every field of the row at the reader is there.
bool CopyStreamDecoder::rowIsWhole(const WireReader& reader) const {
    WireReader probe = reader;
    for (size_t k = 0; k < columns_.size(); ++k) {
        int32_t length;
        if (!probe.readInt32(length)) return false;
        if (length < -1)
            raiseError("readFailed", "a field of the COPY stream has length %d", length);
        if (length > 0 && !probe.take(static_cast<size_t>(length))) return false;
    }
    return true;
}

void CopyStreamDecoder::decodeRow(WireReader& reader) {
    if (rows_ == capacity_) growTo(capacity_ ? capacity_ * 2 : kFirstCapacity);
    for (GrowingColumn& growing : columns_) {
        int32_t length = -1;
        reader.readInt32(length);  // rowIsWhole has seen it
        const char* bytes = length >= 0 ? reader.take(static_cast<size_t>(length)) : nullptr;
        size_t size = length >= 0 ? static_cast<size_t>(length) : 0;
        if (growing.packed) {
            if (growing.pack(bytes, size, server_, rows_)) continue;
            growing.unpack(rows_, capacity_);
        }
        ColumnOutput out = growing.output();
        if (!bytes)
            fillNullRow(growing.column, out, rows_);
        else
            fillBinaryRow(growing.column, bytes, size, server_, out, rows_);
    }
    ++rows_;
}

void CopyStreamDecoder::growTo(size_t capacity) {
    for (GrowingColumn& growing : columns_) growing.grow(capacity, rows_);
    capacity_ = capacity;
}

}  // namespace vorlex
