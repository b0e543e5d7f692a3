// SPDX-License-Identifier: BSD-3-Clause
// query_cursor.cpp - fetch and close: the rows of a statement that query
// started with 'chunk', a chunk at a time.
//
//   [data, info, done] = vorlex('fetch', cur [, 'progress', tf|fn])
//   vorlex('close', cur)
//
// The statement runs once: a plain read as a binary COPY, whose stream
// each fetch goes on decoding, any other in libpq's single-row mode, where
// each row arrives as a result of its own.  Rows are read into the chunk's
// columns as they arrive, so that no more than a chunk's rows are held.
// Nothing is declared on the server, so it runs outside a transaction
// block and through a pooler alike.  A fetch reads until its chunk is full
// and then takes the next row or the end too, to tell whether the rows are
// done: the cursor ends with the fetch that returns its last rows (done is
// true), and a later fetch is refused.
#include "query/query_cursor.hpp"

#include <cmath>
#include <memory>
#include <string>
#include <utility>

#include "columns/copy_stream.hpp"
#include "connection/progress.hpp"
#include "connection/server_wait.hpp"
#include "handles/registry.hpp"
#include "host/command.hpp"
#include "host/errors.hpp"
#include "host/host.hpp"
#include "host/options.hpp"
#include "statements/copy_session.hpp"
#include "statements/lost_connection.hpp"
#include "statements/unnamed_statement.hpp"

namespace vorlex {

namespace {

struct Cursor {
    CursorRead read;
    std::unique_ptr<CopyStreamDecoder> stream;  // the rows come as a COPY: its decoding
    ResultOwner next;     // single-row mode: the next result, taken before it was needed
    size_t rowsRead = 0;  // over the whole statement
};

void releaseCursor(void* state) { delete static_cast<Cursor*>(state); }

// The end of the statement's rows: its tag, once the connection is idle.
// A failure is raised naming the row the server was making.
std::string endOfRows(PGconn* conn, const Cursor& cursor, const PGresult* end) {
    discardEarlierResults(conn);
    ExecStatusType status = PQresultStatus(end);
    if (end && (status == PGRES_TUPLES_OK || status == PGRES_COMMAND_OK))
        return PQcmdStatus(const_cast<PGresult*>(end));
    std::string what = failedAtRow(cursor.rowsRead);
    if (end) raiseQueryFailed(conn, end, what);
    raiseOnConnection(conn, "queryFailed",
                      what + ": its rows ended early: " + libpqText(PQerrorMessage(conn)));
}

// Reads rows into `chunk` until it is full, and takes the result after
// them: a row or a failure is kept for the next fetch.  True when the
// rows are done, their tag in `command`.
bool readChunk(PGconn* conn, Cursor& cursor, ChunkColumns& chunk, Progress& progress,
               std::string& command) {
    for (;;) {
        ResultOwner next =
            cursor.next ? std::move(cursor.next) : awaitNextResult(conn, "the statement");
        ExecStatusType status = PQresultStatus(next.get());
        bool ended = status == PGRES_TUPLES_OK || status == PGRES_COMMAND_OK;
        if (chunk.rows() == cursor.read.chunk && !ended) {
            cursor.next = std::move(next);
            return false;
        }
        if (status != PGRES_SINGLE_TUPLE) {
            command = endOfRows(conn, cursor, next.get());
            return true;
        }
        // Each row passes here once.
        chunk.add(next.get());
        advanceProgress(progress, ++cursor.rowsRead);
    }
}

// Reads a chunk of rows of the statement running as a COPY; the COPY is
// left running for the next fetch until its rows are done.
bool readCopyChunk(PGconn* conn, Cursor& cursor, ChunkColumns& chunk, Progress& progress,
                   std::string& command) {
    CopySession copy(conn);
    copy.resumeReceiving();
    ResultOwner end = chunk.addCopyRows(copy, *cursor.stream, progress, cursor.rowsRead);
    cursor.rowsRead += chunk.rows();
    if (!end) {
        copy.leaveRunning();
        return false;
    }
    if (PQresultStatus(end.get()) != PGRES_COMMAND_OK)
        raiseQueryFailed(conn, end.get(), failedAtRow(cursor.rowsRead));
    command = "SELECT " + std::to_string(cursor.rowsRead);
    return true;
}

// Reads and drops the rows the statement has left, if any.
void dropRows(PGconn* conn, Cursor& cursor) {
    cursor.next.reset();
    discardEarlierResults(conn);
}

// fetch's one option: 'progress', the rows of the whole statement read so
// far (the count of all is not known).
const OptionRow<ProgressOption> kFetchOptions[] = {
    {"progress", [](ProgressOption& option, const mxArray* const prhs[],
                    int index) { option = progressArg(prhs, index); }},
};

}  // namespace

std::string failedAtRow(size_t rowsRead) {
    return "the statement failed at row " + std::to_string(rowsRead + 1);
}

namespace {

// The handle output of a cursor just registered; should the host have no
// memory for it, the cursor goes again (its statement is the caller's to
// end).
mxArray* cursorOutput(std::unique_ptr<Cursor> cursor, uint32_t connection) {
    uint32_t number = registerCursor(cursor.release(), releaseCursor, connection);
    try {
        return createHandle(number);
    } catch (...) {
        releaseHandle(HandleKind::cursor, number, 0);
        throw;
    }
}

}  // namespace

mxArray* openCopyCursor(uint32_t connection, CursorRead read) {
    auto cursor = std::make_unique<Cursor>();
    cursor->read = std::move(read);
    cursor->stream = std::make_unique<CopyStreamDecoder>();
    return cursorOutput(std::move(cursor), connection);
}

mxArray* openCursor(uint32_t connection, CursorRead read, ResultOwner first) {
    auto cursor = std::make_unique<Cursor>();
    cursor->read = std::move(read);
    cursor->next = std::move(first);
    return cursorOutput(std::move(cursor), connection);
}

void commandFetch(const Command&, int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    OpenCursor open = openCursorArg(prhs, 0);
    Cursor& cursor = *static_cast<Cursor*>(open.state);
    ProgressOption option;
    readOptions(prhs, 1, nrhs, kFetchOptions, option);
    Progress progress;
    startProgress(progress, option, NAN);
    bool done = false;
    try {
        ChunkColumns chunk(open.conn, cursor.read.plan, cursor.read.options, cursor.read.chunk);
        std::string command;
        done = cursor.stream ? readCopyChunk(open.conn, cursor, chunk, progress, command)
                             : readChunk(open.conn, cursor, chunk, progress, command);
        finishProgress(progress, cursor.rowsRead);
        chunk.finish(command.c_str(), plhs[0], nlhs > 1 ? &plhs[1] : nullptr);
    } catch (...) {
        // A failure the server did not make (a value that cannot be read)
        // leaves the statement running; a failed progress function stops
        // it, as an interrupt does.
        if (progress.finished && progress.option.mode == ProgressMode::function)
            requestCancel(open.conn);
        dropRows(open.conn, cursor);
        endCursor(open.number, "ended when a fetch failed");
        throw;
    }
    if (done) endCursor(open.number, "has returned its last rows");
    if (nlhs > 2) plhs[2] = mxCreateLogicalScalar(done);
}

// The rows left are read and dropped rather than cancelled: a cancel would
// undo what a data-modifying statement did, or abort the transaction the
// statement runs in.  An interrupt while they are read cancels.
void commandClose(const Command&, int, mxArray*[], int, const mxArray* prhs[]) {
    OpenCursor open = cursorArg(prhs, 0);
    if (open.state) dropRows(open.conn, *static_cast<Cursor*>(open.state));
    releaseHandle(HandleKind::cursor, open.number, argPosition(0));
}

}  // namespace vorlex
