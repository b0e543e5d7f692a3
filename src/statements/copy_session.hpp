// SPDX-License-Identifier: BSD-3-Clause
// copy_session.hpp - one COPY on a connection, from its start to a
// connection ready for the next command, whatever fails in between.
//
// The connection is non-blocking for the COPY, and every wait on the server
// is one of server_wait.hpp's, which the user can interrupt.  A COPY that
// an error or an interrupt leaves unfinished is ended before the error
// reaches the caller: COPY FROM STDIN with a failure message, so that the
// server keeps none of it, and COPY TO STDOUT with a cancel request and its
// remaining data read and dropped.  Every result is then read, and the
// connection's own blocking mode restored.  An interrupt is raised as
// "interrupted" once the connection is idle.
#pragma once

#include <libpq-fe.h>

#include <cstddef>
#include <string>

#include "connection/server_wait.hpp"
#include "host/owners.hpp"

namespace vorlex {

// One message of a COPY TO stream, owned.
class CopyData {
  public:
    CopyData(char* bytes, int length) : bytes_(bytes), length_(length) {}
    ~CopyData() {
        if (bytes_) PQfreemem(bytes_);
    }
    CopyData(const CopyData&) = delete;
    CopyData& operator=(const CopyData&) = delete;

    const char* bytes() const { return bytes_; }
    size_t length() const { return length_ > 0 ? static_cast<size_t>(length_) : 0; }
    bool atEnd() const { return !bytes_; }

  private:
    char* bytes_;
    int length_;
};

class CopySession {
  public:
    explicit CopySession(PGconn* conn);
    ~CopySession();
    CopySession(const CopySession&) = delete;
    CopySession& operator=(const CopySession&) = delete;

    // Runs the COPY statement; a result other than `expected` (the
    // server's refusal) is raised under `check` with the server's message.
    void start(const std::string& sql, ExecStatusType expected, const char* check);
    // Runs `sql`, a statement that gives rows (none, to describe them)
    // and a COPY TO after it, as one simple query; returns the first
    // statement's result, once the COPY has started.
    ResultOwner startDescribed(const std::string& sql, const char* check);

    // COPY FROM STDIN: sends stream bytes; then ends the stream and
    // returns the COPY's result (its status is the caller's to check).
    // send tells whether the server still takes the stream: false once
    // the server's refusal of it has come (the rest need not be sent, and
    // finishSending returns the refusal), which refused() tells too.  Where
    // libpq's input cannot be read (libpq_private.hpp), the refusal is
    // only known when the stream ends.
    bool send(const char* data, size_t size);
    bool refused();
    ResultOwner finishSending();

    // COPY TO STDOUT: the next message, or one that is atEnd() when the
    // stream is over; then the COPY's result.
    CopyData receive();
    ResultOwner finishReceiving();
    // COPY TO STDOUT read in parts by sessions one after another (a
    // cursor's fetches): leaveRunning leaves the rest of the stream for a
    // later session, which takes it up with resumeReceiving.
    void leaveRunning() {
        state_ = PGRES_EMPTY_QUERY;
        leftRunning_ = true;
    }
    void resumeReceiving() { state_ = PGRES_COPY_OUT; }
    // COPY TO STDOUT: reads the rest of the stream and drops it, so that
    // the statement ends as it would have, a transaction block sound.
    void discardRows();

    // The COPY's waits, for a progress report to interrupt.
    ServerWait& serverWait() { return wait_; }

  private:
    [[noreturn]] void raiseFailure(const char* what);
    void requireStatus(const PGresult* result, ExecStatusType expected);
    [[noreturn]] void stopForInterrupt(bool failureSeen = false);
    ResultOwner takeResult();

    PGconn* conn_;
    ServerWait wait_;
    bool savedNonblocking_;
    const char* check_ = "copyFailed";
    ExecStatusType state_ = PGRES_EMPTY_QUERY;  // PGRES_COPY_IN/OUT while the COPY runs
    bool leftRunning_ = false;
};

}  // namespace vorlex
