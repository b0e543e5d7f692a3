// SPDX-License-Identifier: BSD-3-Clause
// copy_in.hpp - the stream of a COPY ... FROM STDIN in PostgreSQL's binary
// format, shared by the commands that load rows (copyIn, insert).
//
// A caller appends each row's fields to a buffer of whole rows (per field
// a 32-bit length, -1 for NULL, and the value's binary form: the bytes a
// parameter of that type carries), which goes to the server a chunk at a
// time; the header, field counts and end marker are the stream's own.
#pragma once

#include <libpq-fe.h>
#include <libpqtypes.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>

#include "columns/batch_columns.hpp"
#include "connection/progress.hpp"
#include "params/param_building.hpp"

namespace vorlex {

constexpr size_t kChunkBytes = size_t{1} << 20;

// Whole rows of the stream, waiting to be sent.
class CopyBuffer {
  public:
    CopyBuffer() = default;
    ~CopyBuffer() { std::free(data_); }
    CopyBuffer(const CopyBuffer&) = delete;
    CopyBuffer& operator=(const CopyBuffer&) = delete;

    size_t size() const { return size_; }
    const char* data() const { return data_; }
    char* at(size_t offset) { return data_ + offset; }
    void clear() { size_ = 0; }

    // Room for n more bytes; valid until the next append.
    char* append(size_t n) {
        if (size_ + n > capacity_) grow(size_ + n);
        char* room = data_ + size_;
        size_ += n;
        return room;
    }

  private:
    void grow(size_t needed) {
        size_t capacity = capacity_ ? capacity_ * 2 : kChunkBytes + (kChunkBytes >> 4);
        if (capacity < needed) capacity = needed;
        void* grown = std::realloc(data_, capacity);
        if (!grown) throw std::bad_alloc();
        data_ = static_cast<char*>(grown);
        capacity_ = capacity;
    }

    char* data_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
};

// Room in the buffer for a ValueRoom (context: the CopyBuffer).
char* bufferRoom(void* context, size_t size);

void appendInt32(CopyBuffer& buffer, int32_t value);

// One field: NULL, or the value encoded by encodeValue.
void appendField(CopyBuffer& buffer, const ParamRecord& record, const ColumnValue& value,
                 const PGtypeFormatInfo& server);

// Appends the fields of row `row` (0-based).
using RowAppender = void (*)(void* context, CopyBuffer& buffer, size_t row);

// What a COPY fills: the target as SQL writes it, and the relation's name
// as the server's messages give it (CopyTarget::relationName).
struct CopyStatement {
    std::string target;
    std::string relationName;
};

// The row a COPY into `relationName` failed on, from the error's context,
// or 0 when the context names none.  The server translates the context
// ("COPY t, line 5" reads "COPY t, Zeile 5" in German): in every
// translation the row follows the relation's name, which stands at the
// start of its line or after the keyword COPY, and it is the last line
// (a trigger's lines come before it).
unsigned long long failedRowOf(const char* context, const std::string& relationName);

// Runs "COPY <target> FROM STDIN (FORMAT binary)" and streams `rows` rows
// of `fields` fields each; returns the count of rows the server copied.
// Errors raised while a row is appended name the row; a failure on either
// side ends the COPY so that the server keeps none of it.  The server's
// refusal of a row is seen within a chunk or so of coming (where libpq's
// input can be read) and ends the stream there, and it comes before an
// error of a later row on the client.  `statement.target` is SQL
// and must be safe to run as written.  The rows encoded are reported to
// `progress`, finished before the stream ends, so that a progress
// function's error still stores nothing.
double copyRowsIn(PGconn* conn, const CopyStatement& statement, size_t rows, size_t fields,
                  RowAppender append, void* context, Progress& progress);

}  // namespace vorlex
