// SPDX-License-Identifier: BSD-3-Clause
// copy_stream.cpp - the binary COPY TO stream into growing result columns.
#include "columns/copy_stream.hpp"

#include <cstdlib>
#include <cstring>
#include <utility>

#include "host/errors.hpp"
#include "host/host.hpp"

namespace vorlex {

namespace {

constexpr char kSignature[11] = {'P', 'G', 'C', 'O', 'P', 'Y', '\n', '\377', '\r', '\n', '\0'};
constexpr uint32_t kFlagWithOids = 1u << 16;

}  // namespace

namespace {

// Rows whose cells are made at once: enough that a part costs nothing to
// join, few enough that their flat copy stays small.
constexpr size_t kRowsPerCellPart = 65536;

}  // namespace

void CopyStreamDecoder::take(const char* data, size_t length) {
    if (pending_.empty()) {
        size_t used = decode(data, length);
        if (used < length) pending_.assign(data + used, length - used);
    } else {
        pending_.append(data, length);
        size_t used = decode(pending_.data(), pending_.size());
        pending_.erase(0, used);
    }
    if (rows_ - cellsMade_ >= kRowsPerCellPart) makeCellsSoFar();
}

void CopyStreamDecoder::readInto(std::vector<GrowingColumn>& columns,
                                 const PGtypeFormatInfo& server) {
    columns_ = &columns;
    server_ = &server;
    rows_ = capacity_ = cellsMade_ = 0;
    if (!pending_.empty()) take("", 0);
}

bool CopyStreamDecoder::hold(const char* data, size_t length) {
    if (length == 2 && static_cast<int16_t>(loadBig16(data)) == -1 && pending_.empty()) {
        ended_ = true;
        return false;
    }
    pending_.append(data, length);
    return true;
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
        if (static_cast<size_t>(fields) != columns_->size())
            raiseError("readFailed", "a row of the COPY stream has %d fields, not %zu", fields,
                       columns_->size());
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
    for (size_t k = 0; k < columns_->size(); ++k) {
        int32_t length;
        if (!probe.readInt32(length)) return false;
        if (length < -1)
            raiseError("readFailed", "a field of the COPY stream has length %d", length);
        if (length > 0 && !probe.take(static_cast<size_t>(length))) return false;
    }
    return true;
}

void CopyStreamDecoder::decodeRow(WireReader& reader) {
    if (rows_ == capacity_) growTo(nextCapacity(capacity_));
    for (size_t k = 0; k < outputs_.size(); ++k) {
        int32_t length = -1;
        reader.readInt32(length);  // rowIsWhole has seen it
        const char* bytes = length >= 0 ? reader.take(static_cast<size_t>(length)) : nullptr;
        size_t size = length >= 0 ? static_cast<size_t>(length) : 0;
        const ResultColumn& column = (*columns_)[k].column;
        if (scalars_[k])
            fillScalarField(column, bytes, size, *server_, outputs_[k], rows_);
        else
            fillField(column, bytes, size, *server_, outputs_[k], rows_);
    }
    ++rows_;
}

void CopyStreamDecoder::makeCellsSoFar() {
    for (GrowingColumn& growing : *columns_) growing.makeCellsSoFar();
    cellsMade_ = rows_;
}

void CopyStreamDecoder::lookAtColumns() {
    outputs_.clear();
    scalars_.clear();
    for (GrowingColumn& growing : *columns_) {
        outputs_.push_back(growing.output());
        scalars_.push_back(readsScalarsIntoVectors(growing.column));
    }
}

void CopyStreamDecoder::growTo(size_t capacity) {
    for (GrowingColumn& growing : *columns_) growing.grow(capacity);
    capacity_ = capacity;
    lookAtColumns();
}

}  // namespace vorlex
