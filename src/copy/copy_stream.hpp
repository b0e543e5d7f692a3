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
#include <optional>
#include <string>
#include <vector>

#include "results/cell_column.hpp"
#include "results/column_reading.hpp"
#include "types/wire.hpp"

namespace vorlex {

// Memory that grows as the rows arrive; a finished column is copied into
// its host array (vectorFrom), so the module allocates it itself.
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

    // Room for `capacity` rows in the buffers.
    void grow(size_t capacity);
    ColumnOutput output();
    // The output struct of the first `rows` rows; the buffers are released.
    mxArray* finish(size_t rows);
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
