// copy_out.cpp - copyOut: the rows of a query streamed with one
// COPY (query) TO STDOUT in PostgreSQL's binary format, into the columns
// resultGet would give.
//
//   [s1, ..., sK] = vorlex('copyOut', conn, query, spec [, 'columnVectors', tf])
//
// The k-th specifier reads the query's k-th column.  The columns' types are
// checked before the COPY starts, against the query prepared (unnamed) and
// described, since the stream itself carries no types.  Rows are decoded
// as their messages arrive, into outputs that grow geometrically and are
// trimmed at the end: no result ever holds the whole set.
#include <libpq-fe.h>
#include <libpqtypes.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "batch/batch_columns.hpp"
#include "convert/param_building.hpp"
#include "convert/pqtypes_private.hpp"
#include "convert/wire.hpp"
#include "gateway/commands.hpp"
#include "gateway/errors.hpp"
#include "gateway/host.hpp"
#include "gateway/owners.hpp"
#include "gateway/registry.hpp"
#include "query/column_reading.hpp"
#include "query/copy_session.hpp"
#include "query/statement_args.hpp"

namespace vorlex {

namespace {

enum Arg { kConn, kQuery, kSpec, kOption };

constexpr size_t kFirstCapacity = 1024;

// --- The outputs, growing ----------------------------------------------------

// Host memory that grows by mxRealloc, handed to an array at the end.
class HostBuffer {
  public:
    HostBuffer() = default;
    ~HostBuffer() {
        if (data_) mxFree(data_);
    }
    HostBuffer(HostBuffer&& other) noexcept : data_(std::exchange(other.data_, nullptr)) {}
    HostBuffer(const HostBuffer&) = delete;
    HostBuffer& operator=(const HostBuffer&) = delete;

    void* data() const { return data_; }
    void resize(size_t bytes) {
        if (bytes == 0) bytes = 1;
        data_ = data_ ? mxRealloc(data_, bytes) : mxMalloc(bytes);
    }
    void free() {
        if (data_) mxFree(std::exchange(data_, nullptr));
    }

  private:
    void* data_ = nullptr;
};

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

struct GrowingColumn {
    ResultColumn column;
    HostBuffer valueData;
    HostArrayOwner valueCells;
    HostBuffer maskData;
    HostArrayOwner maskCells;
    HostBuffer rowIsNull;

    void grow(size_t capacity, size_t filled) {
        if (column.cellValue)
            growCells(valueCells, capacity, filled);
        else
            valueData.resize(capacity * column.elementSize);
        if (column.cellMask)
            growCells(maskCells, capacity, filled);
        else
            maskData.resize(capacity * sizeof(mxLogical));
        rowIsNull.resize(capacity * sizeof(mxLogical));
    }

    ColumnOutput output() const {
        return {valueCells.get(), valueData.data(), maskCells.get(),
                static_cast<mxLogical*>(maskData.data()),
                static_cast<mxLogical*>(rowIsNull.data())};
    }

    mxArray* finish(size_t rows) {
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
};

// --- The stream ----------------------------------------------------------------

constexpr char kSignature[11] = {'P', 'G', 'C', 'O', 'P', 'Y', '\n', '\377', '\r', '\n', '\0'};
constexpr uint32_t kFlagWithOids = 1u << 16;

// Decodes the binary COPY stream into the columns.  Messages are taken as
// they come: a row (or the header) cut across messages waits for the rest.
class StreamDecoder {
  public:
    StreamDecoder(std::vector<GrowingColumn>& columns, const PGtypeFormatInfo& format)
        : columns_(columns), format_(format) {}

    void take(const char* data, size_t length) {
        if (pending_.empty()) {
            size_t used = decode(data, length);
            pending_.assign(data + used, length - used);
        } else {
            pending_.append(data, length);
            size_t used = decode(pending_.data(), pending_.size());
            pending_.erase(0, used);
        }
    }

    void requireEnd() const {
        if (!ended_ || !pending_.empty())
            raiseError("readFailed", "the COPY stream ended %s",
                       ended_ ? "with extra bytes" : "early");
    }

    size_t rows() const { return rows_; }

  private:
    // Decodes what is whole of `data`; returns the bytes used.
    size_t decode(const char* data, size_t length) {
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

    bool readHeader(WireReader& reader) {
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
    bool rowIsWhole(const WireReader& reader) const {
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

    void decodeRow(WireReader& reader) {
        if (rows_ == capacity_) growTo(capacity_ ? capacity_ * 2 : kFirstCapacity);
        for (GrowingColumn& growing : columns_) {
            int32_t length = -1;
            reader.readInt32(length);  // rowIsWhole has seen it
            ColumnOutput out = growing.output();
            if (length == -1)
                fillNullRow(growing.column, out, rows_);
            else
                fillBinaryRow(growing.column, reader.take(static_cast<size_t>(length)),
                              static_cast<size_t>(length), format_, out, rows_);
        }
        ++rows_;
    }

    void growTo(size_t capacity) {
        for (GrowingColumn& growing : columns_) growing.grow(capacity, rows_);
        capacity_ = capacity;
    }

    std::vector<GrowingColumn>& columns_;
    const PGtypeFormatInfo& format_;
    std::string pending_;
    bool headerRead_ = false;
    bool ended_ = false;
    size_t rows_ = 0;
    size_t capacity_ = 0;
};

// --- Arguments and the query's columns ---------------------------------------

std::vector<GrowingColumn> specifiedColumns(const std::string& format, PGparam* param,
                                            bool columnVectors) {
    std::vector<GrowingColumn> columns;
    SpecifierParse parse;
    for (const char* rest = format.c_str(); *rest;) {
        rest = parseSpecifier(rest, param->typhandlers, param->typhcnt, parse);
        if (!parse.handler) continue;
        if (parse.flags & kSpecByName)
            raiseError("badFormat",
                       "specifier %d of the format names its column (#); copyOut reads the "
                       "query's columns in order: use %%",
                       parse.position);
        columns.emplace_back();
        ResultColumn& column = columns.back().column;
        column = describeSpecifier(parse.handler, parse.flags, parse.position, columnVectors);
        column.number = parse.position - 1;
        column.flatten = (parse.flags & kSpecArray) && *rest == '@';
        if (column.flatten) ++rest;
    }
    return columns;
}

[[noreturn]] void raiseQueryFailure(const PGresult* result, PGconn* conn, const char* what) {
    std::string message = libpqText(result ? PQresultErrorMessage(result) : PQerrorMessage(conn));
    raiseError("queryFailed", "%s: %s", what, message.c_str());
}

// The query is prepared as the unnamed statement and described, so that its
// columns' types are checked before a row is read.
void checkQueryColumns(PGconn* conn, const std::string& query,
                       const std::vector<GrowingColumn>& columns) {
    ResultOwner prepared(PQprepare(conn, "", query.c_str(), 0, nullptr));
    if (PQresultStatus(prepared.get()) != PGRES_COMMAND_OK)
        raiseQueryFailure(prepared.get(), conn, "the query was refused");
    ResultOwner described(PQdescribePrepared(conn, ""));
    if (PQresultStatus(described.get()) != PGRES_COMMAND_OK)
        raiseQueryFailure(described.get(), conn, "the query could not be described");
    int fields = PQnfields(described.get());
    if (static_cast<size_t>(fields) != columns.size())
        raiseError("columnCount", "the query returns %d column(s); the format has %zu specifier(s)",
                   fields, columns.size());
    for (const GrowingColumn& growing : columns)
        requireColumnType(growing.column, PQftype(described.get(), growing.column.number));
}

}  // namespace

void commandCopyOut(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    const char* usage = "[s1, ...] = vorlex('copyOut', conn, query, spec [, 'columnVectors', tf])";
    if (nrhs != 3 && nrhs != 5)
        raiseError("nargin", "%d argument(s) given after the command; usage: %s", nrhs, usage);
    PGconn* conn = connectionArg(prhs, kConn, RowRule::anyRows);
    std::string query = sqlRowArg(prhs, kQuery, "query", "query");
    std::string format = formatArg(prhs, kSpec);
    bool columnVectors = nrhs == 5 ? columnVectorsOption(prhs, kOption) : true;

    ParamOwner param(PQparamCreate(conn));  // the connection's types
    if (!param)
        raiseError("paramCreateFailed", "the connection's types are missing: %s", PQgeterror());
    std::vector<GrowingColumn> columns = specifiedColumns(format, param.get(), columnVectors);
    if (nlhs < 1 || static_cast<size_t>(nlhs) != columns.size())
        raiseError("nargout",
                   "the format has %zu specifier(s), so copyOut gives %zu output(s); %d requested",
                   columns.size(), columns.size(), nlhs);
    checkQueryColumns(conn, query, columns);

    CopySession copy(conn);
    // The line break ends a comment the query may end with.
    copy.start("COPY (" + query + "\n) TO STDOUT (FORMAT binary)", PGRES_COPY_OUT, "queryFailed");
    StreamDecoder decoder(columns, param->fmtinfo);
    for (;;) {
        CopyData data = copy.receive();
        if (data.atEnd()) break;
        decoder.take(data.bytes(), data.length());
    }
    ResultOwner result = copy.finishReceiving();
    if (PQresultStatus(result.get()) != PGRES_COMMAND_OK)
        raiseQueryFailure(result.get(), conn, "the COPY failed");
    decoder.requireEnd();
    for (size_t k = 0; k < columns.size(); ++k) plhs[k] = columns[k].finish(decoder.rows());
}

}  // namespace vorlex
