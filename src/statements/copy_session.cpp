// SPDX-License-Identifier: BSD-3-Clause
// copy_session.cpp - the COPY's start, its stream, and its end on every path.
#include "statements/copy_session.hpp"

#include <poll.h>

#include <utility>

#include "connection/libpq_private.hpp"
#include "host/errors.hpp"
#include "statements/lost_connection.hpp"
#include "statements/server_error.hpp"

namespace vorlex {

namespace {

bool isFailure(const PGresult* result) {
    ExecStatusType status = PQresultStatus(result);
    return status == PGRES_FATAL_ERROR || status == PGRES_BAD_RESPONSE;
}

}  // namespace

CopySession::CopySession(PGconn* conn)
    : conn_(conn), wait_(conn), savedNonblocking_(PQisnonblocking(conn)) {
    if (!savedNonblocking_) PQsetnonblocking(conn_, 1);
}

CopySession::~CopySession() {
    // Without a cancel the server would send every remaining row; an
    // interrupt has sent one already.
    if (state_ == PGRES_COPY_OUT && !wait_.interrupted()) requestCancel(conn_);
    if (!leftRunning_) drainToIdle(wait_);
    if (!savedNonblocking_) PQsetnonblocking(conn_, 0);
}

void CopySession::raiseFailure(const char* what) {
    raiseOnConnection(conn_, check_, std::string(what) + ": " + libpqText(PQerrorMessage(conn_)));
}

// Rows that were still being sent are ended with a failure: the server
// keeps none of them.
void CopySession::stopForInterrupt(bool failureSeen) {
    bool sendingRows = state_ == PGRES_COPY_IN;
    state_ = PGRES_COMMAND_OK;
    bool stopped = drainToIdle(wait_) || sendingRows || failureSeen;
    raiseInterrupted(wait_, stopped, "the COPY");
}

void CopySession::start(const std::string& sql, ExecStatusType expected, const char* check) {
    check_ = check;
    discardEarlierResults(conn_);
    if (!PQsendQueryParams(conn_, sql.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0))
        raiseFailure("the COPY could not be sent");
    requireStatus(awaitStatement(conn_, "the COPY").get(), expected);
}

ResultOwner CopySession::startDescribed(const std::string& sql, const char* check) {
    check_ = check;
    discardEarlierResults(conn_);
    if (!PQsendQuery(conn_, sql.c_str())) raiseFailure("the COPY could not be sent");
    ResultOwner described = awaitNextResult(conn_, "the COPY");
    requireStatus(described.get(), PGRES_TUPLES_OK);
    requireStatus(awaitNextResult(conn_, "the COPY").get(), PGRES_COPY_OUT);
    return described;
}

void CopySession::requireStatus(const PGresult* result, ExecStatusType expected) {
    if (!result) raiseFailure("the COPY could not be sent");
    ExecStatusType status = PQresultStatus(result);
    if (status == PGRES_COPY_IN || status == PGRES_COPY_OUT) state_ = status;
    if (status != expected) {
        std::string message = serverErrorText(conn_, result);
        if (message.empty()) message = std::string("the COPY gave ") + PQresStatus(status);
        raiseOnConnection(conn_, check_, message, result);
    }
}

// Each piece is sent whole before the caller builds the next, so that
// libpq's buffer stays the size of one piece.
bool CopySession::send(const char* data, size_t size) {
    if (wait_.interruptedNow()) stopForInterrupt();
    // PQputCopyData takes an int: a buffer past 2 GB goes in pieces.
    constexpr size_t kMostPerCall = size_t{1} << 30;
    while (size > 0) {
        size_t piece = size < kMostPerCall ? size : kMostPerCall;
        int queued = PQputCopyData(conn_, data, static_cast<int>(piece));
        if (queued == -1) raiseFailure("the rows could not be sent");
        if (queued == 0) {  // no room yet in libpq's buffer
            if (!wait_.await(POLLOUT)) stopForInterrupt();
            continue;
        }
        data += piece;
        size -= piece;
        if (!flushOutput(wait_)) stopForInterrupt();
    }
    return !refused();
}

// The server refuses a COPY FROM STDIN at the first row it cannot store,
// then reads and drops the rest of the stream; libpq leaves its error
// unread until the stream ends.
bool CopySession::refused() { return serverErrorWaits(conn_); }

ResultOwner CopySession::finishSending() {
    int queued;
    while ((queued = PQputCopyEnd(conn_, nullptr)) == 0)
        if (!wait_.await(POLLOUT)) stopForInterrupt();
    if (queued != 1) raiseFailure("the COPY could not be ended");
    state_ = PGRES_COMMAND_OK;
    return takeResult();
}

CopyData CopySession::receive() {
    for (;;) {
        char* bytes = nullptr;
        int length = PQgetCopyData(conn_, &bytes, 1);
        if (length > 0) {
            // Rows can come faster than they are decoded: the user may
            // interrupt without a wait.
            if (!wait_.interruptedNow()) return CopyData(bytes, length);
            PQfreemem(bytes);
            stopForInterrupt();
        }
        if (length == -1) {
            state_ = PGRES_COMMAND_OK;
            return CopyData(nullptr, length);
        }
        if (length == -2) raiseFailure("the rows could not be read");
        if (!wait_.await(POLLIN)) stopForInterrupt();
    }
}

ResultOwner CopySession::finishReceiving() { return takeResult(); }

void CopySession::discardRows() {
    while (!receive().atEnd()) {
    }
    takeResult();
}

// The COPY's own result, unless a later one failed: the implicit
// transaction the COPY ran in commits after it, and a deferred constraint
// can fail there.
ResultOwner CopySession::takeResult() {
    ResultOwner result;
    if (!nextResult(wait_, result)) stopForInterrupt();
    if (!result) raiseFailure("the COPY gave no result");
    for (;;) {
        ResultOwner next;
        if (!nextResult(wait_, next)) stopForInterrupt(isFailure(result.get()));
        if (!next) break;
        if (isFailure(next.get()) && !isFailure(result.get())) result = std::move(next);
        if (PQstatus(conn_) == CONNECTION_BAD) break;
    }
    return result;
}

}  // namespace vorlex
