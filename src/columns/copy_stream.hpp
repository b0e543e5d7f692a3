// SPDX-License-Identifier: BSD-3-Clause
// copy_stream.hpp - a binary COPY TO stream decoded into result columns
// that grow as the rows arrive.
//
// The stream is PostgreSQL's binary COPY format: an 11-byte signature, a
// 32-bit flags word and a header extension, then per row a 16-bit field
// count and per field a 32-bit length (-1 for NULL) and the value's binary
// form, and a count of -1 at the end.  Messages are taken as they come: a
// row (or the header) cut across messages waits for the rest.  The host
// makes the cells of every so many rows while the rest still come.
#pragma once

#include <libpqtypes.h>
#include <mex.h>

#include <cstddef>
#include <string>
#include <vector>

#include "columns/column_reading.hpp"
#include "columns/growing_column.hpp"
#include "types/wire.hpp"

namespace vorlex {

class CopyStreamDecoder {
  public:
    CopyStreamDecoder(std::vector<GrowingColumn>& columns, const PGtypeFormatInfo& server)
        : columns_(&columns), server_(&server) {}
    // A decoder given its columns by readInto.
    CopyStreamDecoder() = default;

    // Decodes one message of the stream.
    void take(const char* data, size_t length);
    // From now on decodes into `columns`, with a count of rows from 0,
    // starting with the row held (a stream read in chunks).
    void readInto(std::vector<GrowingColumn>& columns, const PGtypeFormatInfo& server);
    // Keeps a message for the next columns instead of decoding it; false
    // when it is the stream's end marker, which ends the stream.  The
    // server sends a row per message.
    bool hold(const char* data, size_t length);
    // Raises readFailed unless the stream ended with its end marker.
    void requireEnd() const;
    size_t rows() const { return rows_; }

  private:
    size_t decode(const char* data, size_t length);
    bool readHeader(WireReader& reader);
    bool rowIsWhole(const WireReader& reader) const;
    void decodeRow(WireReader& reader);
    void growTo(size_t capacity);
    void makeCellsSoFar();
    void lookAtColumns();

    std::vector<GrowingColumn>* columns_ = nullptr;
    // Per column: where its rows go (as of the last growth), and whether
    // its values are scalars read straight into vectors.
    std::vector<ColumnOutput> outputs_;
    std::vector<char> scalars_;
    const PGtypeFormatInfo* server_ = nullptr;
    std::string pending_;
    bool headerRead_ = false;
    bool ended_ = false;
    size_t rows_ = 0;
    size_t capacity_ = 0;
    size_t cellsMade_ = 0;  // rows whose cells the host has made
};

}  // namespace vorlex
