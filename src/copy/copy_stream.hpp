// SPDX-License-Identifier: BSD-3-Clause
// copy_stream.hpp - a binary COPY TO stream decoded into result columns
// that grow as the rows arrive.
//
// The stream is PostgreSQL's binary COPY format: an 11-byte signature, a
// 32-bit flags word and a header extension, then per row a 16-bit field
// count and per field a 32-bit length (-1 for NULL) and the value's binary
// form, and a count of -1 at the end.  Messages are taken as they come: a
// row (or the header) cut across messages waits for the rest.
#pragma once

#include <libpqtypes.h>
#include <mex.h>

#include <cstddef>
#include <string>
#include <vector>

#include "types/array_codec.hpp"
#include "types/wire.hpp"
#include "host/owners.hpp"
#include "results/column_reading.hpp"

namespace vorlex {

// Host memory that grows by mxRealloc.
class HostBuffer {
  public:
    HostBuffer() = default;
    ~HostBuffer() { free(); }
    HostBuffer(HostBuffer&& other) noexcept;
    HostBuffer(const HostBuffer&) = delete;
    HostBuffer& operator=(const HostBuffer&) = delete;

    void* data() const { return data_; }
    void resize(size_t bytes);
    void* release();
    void free();

  private:
    void* data_ = nullptr;
};

// One output column while the rows arrive: numeric and logical columns in
// buffers, cell columns in cells, all with room for `capacity` rows.
//
// A column of arrays of a fixed-width type is packed while every row is a
// non-NULL array of one shape: the rows' elements and masks lie back to
// back, and a large column becomes its cells in one host pass at the end.
// The first row that breaks the pattern unpacks the rows before it into
// cells, and the column goes on row by row.
struct GrowingColumn {
    explicit GrowingColumn(const ResultColumn& described);

    ResultColumn column;
    HostBuffer valueData;
    HostArrayOwner valueCells;
    HostBuffer maskData;
    HostArrayOwner maskCells;
    HostBuffer rowIsNull;

    bool packed;
    mwSize packedNdims = 0;
    mwSize packedDims[kMaxArrayDims] = {};
    size_t packedCount = 0;     // elements per row
    size_t packedCapacity = 0;  // rows the packed buffers hold
    HostBuffer packedValues;
    HostBuffer packedMasks;

    // Room for `capacity` rows, of which `filled` are kept.
    void grow(size_t capacity, size_t filled);
    ColumnOutput output() const;
    // Packs row `row` (null bytes: NULL); false when it breaks the pattern.
    bool pack(const char* bytes, size_t length, const PGtypeFormatInfo& server, size_t row);
    // Turns the `filled` packed rows into cells of room for `capacity`.
    void unpack(size_t filled, size_t capacity);
    // The output struct of the first `rows` rows; the buffers are released.
    mxArray* finish(size_t rows);

  private:
    void unpackFrom(const char* values, const mxLogical* masks, size_t filled, size_t capacity);
    HostArrayOwner packedArray(HostBuffer& data, mxClassID classId, size_t elementSize,
                               size_t rows);
};

class CopyStreamDecoder {
  public:
    CopyStreamDecoder(std::vector<GrowingColumn>& columns, const PGtypeFormatInfo& server)
        : columns_(columns), server_(server) {}

    // Decodes one message of the stream.
    void take(const char* data, size_t length);
    // Raises readFailed unless the stream ended with its end marker.
    void requireEnd() const;
    size_t rows() const { return rows_; }

  private:
    size_t decode(const char* data, size_t length);
    bool readHeader(WireReader& reader);
    bool rowIsWhole(const WireReader& reader) const;
    void decodeRow(WireReader& reader);
    void growTo(size_t capacity);

    std::vector<GrowingColumn>& columns_;
    const PGtypeFormatInfo& server_;
    std::string pending_;
    bool headerRead_ = false;
    bool ended_ = false;
    size_t rows_ = 0;
    size_t capacity_ = 0;
};

}  // namespace vorlex
