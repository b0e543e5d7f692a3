// SPDX-License-Identifier: BSD-3-Clause
// server_wait.cpp - sliced waits on the server, cancel requests, and the
// draining of a connection back to idle.
#include "connection/server_wait.hpp"

#include <sys/socket.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "backend/host_backend.hpp"
#include "host/errors.hpp"

namespace vorlex {

namespace {

// How often a cancel request is repeated while the server has not stopped.
constexpr auto kCancelRepeat = std::chrono::seconds(1);

// What ends a COPY FROM STDIN that the server still expects data for.
constexpr char kCopyStopped[] = "the client stopped the COPY";

bool isFailure(const PGresult* result) {
    ExecStatusType status = PQresultStatus(result);
    return status == PGRES_FATAL_ERROR || status == PGRES_BAD_RESPONSE;
}

// Whether `next` is libpq's own failure (no SQLSTATE) after the server's
// failure `last`: a session the server ends sends its error (FATAL 57P01
// when an administrator ended it) before closing, and libpq then adds
// "server closed the connection unexpectedly".  The server's words are
// the ones that say why.
bool isLibpqFailureAfterServerFailure(const PGresult* last, const PGresult* next) {
    return last && isFailure(last) && PQresultErrorField(last, PG_DIAG_SQLSTATE) &&
           isFailure(next) && !PQresultErrorField(next, PG_DIAG_SQLSTATE);
}

// A COPY IN that libpq cannot end would hold the connection for ever: the
// connection is given up instead.
void endCopyIn(ServerWait& wait) {
    PGconn* conn = wait.connection();
    int queued;
    while ((queued = PQputCopyEnd(conn, kCopyStopped)) == 0) wait.await(POLLOUT);
    if (queued == 1) {
        flushOutput(wait);
    } else {
        dropConnection(conn);
        PQconsumeInput(conn);  // finds the socket shut: the connection is bad
    }
}

void dropCopyOut(ServerWait& wait) {
    PGconn* conn = wait.connection();
    for (;;) {
        char* bytes = nullptr;
        int length = PQgetCopyData(conn, &bytes, 1);
        if (bytes) PQfreemem(bytes);
        if (length > 0) continue;
        if (length < 0) return;  // the end of the data, or the connection's failure
        wait.await(POLLIN);
    }
}

// connect_timeout as libpq reads it: seconds, at least 2; -1 for none.
int connectTimeoutSeconds(PGconn* conn) {
    PQconninfoOption* options = PQconninfo(conn);
    int seconds = -1;
    for (PQconninfoOption* option = options; option && option->keyword; ++option)
        if (std::strcmp(option->keyword, "connect_timeout") == 0 && option->val)
            seconds = std::atoi(option->val);
    PQconninfoFree(options);
    if (seconds <= 0) return -1;
    return seconds < 2 ? 2 : seconds;
}

// Fails every attempt that is left, so that libpq ends with a bad
// connection.  Each attempt costs one step; the bound only guards against
// a libpq that keeps starting new ones.
void giveUpConnecting(PGconn* conn, PostgresPollingStatusType (*step)(PGconn*)) {
    constexpr int kMostAttempts = 256;
    for (int attempt = 0; attempt < kMostAttempts; ++attempt) {
        dropConnection(conn);
        PostgresPollingStatusType state = step(conn);
        if (state != PGRES_POLLING_READING && state != PGRES_POLLING_WRITING) return;
    }
}

}  // namespace

SocketWait waitOnSocket(int socket, short events, int timeoutMilliseconds) {
    if (socket < 0) return SocketWait::ready;
    using Clock = std::chrono::steady_clock;
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
    for (;;) {
        if (takeInterruptRequest()) return SocketWait::interrupted;
        int slice = kWaitSliceMilliseconds;
        if (timeoutMilliseconds >= 0) {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) return SocketWait::timedOut;
            if (left.count() < slice) slice = static_cast<int>(left.count());
        }
        pollfd ready{socket, events, 0};
        int count = poll(&ready, 1, slice);
        // A failed poll is left to libpq's next call on the socket to report.
        if (count > 0 || (count < 0 && errno != EINTR)) return SocketWait::ready;
    }
}

void requestCancel(PGconn* conn) {
    PGcancel* cancel = PQgetCancel(conn);
    if (!cancel) return;
    char reason[256];
    PQcancel(cancel, reason, sizeof reason);
    PQfreeCancel(cancel);
}

void dropConnection(PGconn* conn) {
    int socket = PQsocket(conn);
    if (socket >= 0) shutdown(socket, SHUT_RDWR);
}

void ServerWait::cancel() {
    requestCancel(conn_);
    cancelling_ = true;
    lastCancel_ = std::chrono::steady_clock::now();
}

void ServerWait::takeInterrupt() {
    if (!cleaning_) {
        interrupted_ = true;
        cleaning_ = true;
        cancel();
    } else if (!cancelling_) {
        cancel();
    } else {
        dropConnection(conn_);
        dropped_ = true;
    }
}

bool ServerWait::await(short events) {
    for (;;) {
        if (cancelling_ && !dropped_ &&
            std::chrono::steady_clock::now() - lastCancel_ >= kCancelRepeat)
            cancel();
        SocketWait outcome =
            waitOnSocket(PQsocket(conn_), events, cancelling_ ? kWaitSliceMilliseconds : -1);
        if (outcome == SocketWait::timedOut) continue;
        if (outcome == SocketWait::interrupted) {
            bool working = !cleaning_;
            takeInterrupt();
            if (working) return false;
            if (!dropped_) continue;
        }
        // The read also keeps a server that waits on its own output going
        // while libpq waits to send; a failure marks the connection bad,
        // which libpq's next call reports.
        PQconsumeInput(conn_);
        return true;
    }
}

bool ServerWait::interruptedNow() {
    if (!takeInterruptRequest()) return false;
    bool working = !cleaning_;
    takeInterrupt();
    return working;
}

Connecting awaitConnecting(PGconn* conn, PostgresPollingStatusType (*step)(PGconn*)) {
    using Clock = std::chrono::steady_clock;
    int timeout = connectTimeoutSeconds(conn);
    Clock::time_point deadline;
    int attemptSocket = -1;
    ConnStatusType stage = CONNECTION_NEEDED;
    // PQconnectStart and PQresetStart leave the first step to the socket's
    // being writable.
    PostgresPollingStatusType state = PGRES_POLLING_WRITING;
    bool timedOut = false;
    while (state == PGRES_POLLING_READING || state == PGRES_POLLING_WRITING) {
        // A new socket, or a return to the start, is the next attempt: like
        // PQconnectdb, each attempt has the whole connect_timeout.
        bool restarted = PQstatus(conn) == CONNECTION_STARTED && stage != CONNECTION_STARTED;
        if (PQsocket(conn) != attemptSocket || restarted) {
            attemptSocket = PQsocket(conn);
            deadline = Clock::now() + std::chrono::seconds(timeout);
            timedOut = false;
        }
        stage = PQstatus(conn);
        int left = -1;
        if (timeout > 0) {
            auto rest =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            left = rest.count() > 0 ? static_cast<int>(rest.count()) : 0;
        }
        short events = state == PGRES_POLLING_READING ? POLLIN : POLLOUT;
        SocketWait outcome = waitOnSocket(PQsocket(conn), events, left);
        if (outcome == SocketWait::interrupted) {
            giveUpConnecting(conn, step);
            return Connecting::interrupted;
        }
        if (outcome == SocketWait::timedOut) {
            dropConnection(conn);
            timedOut = true;
        }
        state = step(conn);
    }
    return timedOut && state == PGRES_POLLING_FAILED ? Connecting::timedOut : Connecting::ended;
}

bool flushOutput(ServerWait& wait) {
    PGconn* conn = wait.connection();
    // PQflush: 0 when all is sent, -1 on failure (the next read reports it).
    while (PQflush(conn) == 1)
        if (!wait.await(POLLIN | POLLOUT)) return false;
    return true;
}

bool nextResult(ServerWait& wait, ResultOwner& result) {
    PGconn* conn = wait.connection();
    if (!flushOutput(wait)) return false;
    while (PQisBusy(conn)) {
        if (!wait.await(POLLIN)) return false;
        if (PQstatus(conn) == CONNECTION_BAD) break;
    }
    result.reset(PQgetResult(conn));
    return true;
}

bool drainToIdle(ServerWait& wait) {
    wait.beginCleanup();
    PGconn* conn = wait.connection();
    bool failed = false;
    for (;;) {
        ResultOwner result;
        nextResult(wait, result);
        if (!result) return failed;
        ExecStatusType status = PQresultStatus(result.get());
        failed = failed || isFailure(result.get());
        if (status == PGRES_COPY_IN)
            endCopyIn(wait);
        else if (status == PGRES_COPY_OUT)
            dropCopyOut(wait);
        // libpq answers a lost connection with a failure, then no more.
        if (PQstatus(conn) == CONNECTION_BAD) return true;
    }
}

void discardEarlierResults(PGconn* conn) {
    ServerWait wait(conn);
    drainToIdle(wait);
}

ResultOwner awaitStatement(PGconn* conn, const char* what) {
    ServerWait wait(conn);
    ResultOwner last;
    for (;;) {
        ResultOwner next;
        if (!nextResult(wait, next)) {
            bool failed = last && isFailure(last.get());
            last.reset();
            raiseInterrupted(wait, drainToIdle(wait) || failed, what);
        }
        if (!next) return last;
        if (!isLibpqFailureAfterServerFailure(last.get(), next.get())) last = std::move(next);
        ExecStatusType status = PQresultStatus(last.get());
        if (status == PGRES_COPY_IN || status == PGRES_COPY_OUT || status == PGRES_COPY_BOTH ||
            PQstatus(conn) == CONNECTION_BAD)
            return last;
    }
}

ResultOwner awaitNextResult(PGconn* conn, const char* what) {
    ServerWait wait(conn);
    ResultOwner next;
    if (!nextResult(wait, next)) raiseInterrupted(wait, drainToIdle(wait), what);
    return next;
}

ResultOwner execParams(PGconn* conn, const char* sql, int count, const char* const* values,
                       const char* what) {
    discardEarlierResults(conn);
    if (!PQsendQueryParams(conn, sql, count, nullptr, values, nullptr, nullptr, 0))
        return ResultOwner();
    return awaitStatement(conn, what);
}

void raiseInterrupted(const ServerWait& wait, bool serverStopped, const char* what) {
    PGconn* conn = wait.connection();
    std::string message = serverStopped
                              ? std::string("interrupted: the server stopped ") + what
                              : std::string("interrupted, but the server had already completed ") +
                                    what + ": its changes are kept";
    if (wait.dropped())
        message += "; a further interrupt gave the connection up: reset restores it";
    else if (PQstatus(conn) == CONNECTION_BAD)
        message += "\nThe connection is lost; reset restores it.";
    else if (PQtransactionStatus(conn) == PQTRANS_INERROR)
        message += "; the open transaction is aborted (ROLLBACK ends it)";
    raiseError("interrupted", "%s", message.c_str());
}

}  // namespace vorlex
