// SPDX-License-Identifier: BSD-3-Clause
// server_wait.hpp - every wait of the module on the server.
//
// No command blocks inside libpq: connections are non-blocking, and a
// command waits on the connection's socket in slices of at most 100 ms,
// asking the host between slices whether the user has interrupted
// (host_backend.hpp).  A wait is in one of two modes:
//
//   working   the command's own work.  An interrupt ends it: the server is
//             asked to cancel, the wait turns to cleaning up, and the
//             command brings the connection back to idle and raises
//             "interrupted".
//   cleaning  bringing the connection back to idle, after an interrupt or
//             any other failure.  While the server has been asked to
//             cancel, the request is repeated each second (one that reached
//             the server between two messages is dropped there).  An
//             interrupt asks the server to cancel if it has not been asked
//             yet, and otherwise gives the connection up: its socket is
//             shut, so that every later read fails at once and the
//             connection is bad until reset.
#pragma once

#include <libpq-fe.h>
#include <poll.h>

#include <chrono>

#include "host/owners.hpp"

namespace vorlex {

// The longest the module waits on the server without asking the host for
// an interrupt.
constexpr int kWaitSliceMilliseconds = 100;

// How a wait on a socket ended.
enum class SocketWait { ready, interrupted, timedOut };

// Waits until `socket` is ready for `events` (or has failed), the user
// interrupts, or `timeoutMilliseconds` pass (never when negative).  A
// negative socket is ready at once: the caller's next libpq call reports
// the connection's state.
SocketWait waitOnSocket(int socket, short events, int timeoutMilliseconds = -1);

// Asks the server to stop what `conn` runs.  The request travels on a
// connection of its own; when it arrives between two statements, the
// server drops it.
void requestCancel(PGconn* conn);

// Shuts the connection's socket down, so that libpq finds it closed on its
// next read or write and marks the connection bad.
void dropConnection(PGconn* conn);

// How the wait for a connection ended.
enum class Connecting {
    ended,        // connected, or failed: PQstatus tells
    timedOut,     // failed after its last attempt outlasted connect_timeout
    interrupted,  // the user interrupted: the attempt was given up, the connection is bad
};

// Completes a connection that PQconnectStart or PQresetStart began, with
// `step` PQconnectPoll or PQresetPoll, waiting as PQconnectdb would,
// connect_timeout included: an attempt that outlasts it is dropped.  Where
// the server had taken the connection without answering, libpq then fails
// instead of trying the next host as PQconnectdb does.
Connecting awaitConnecting(PGconn* conn, PostgresPollingStatusType (*step)(PGconn*));

// The waits of one command on one connection.
class ServerWait {
  public:
    explicit ServerWait(PGconn* conn) : conn_(conn) {}

    PGconn* connection() const { return conn_; }

    // Waits until the socket is ready for `events` (POLLIN, POLLOUT or
    // both), then reads what has come in.  False when the user interrupted
    // the work instead; never false while cleaning up.
    bool await(short events);

    // Whether the user has interrupted the work; asks the host without
    // waiting, for the stretches a command works without waiting.  Reacts
    // as await does.
    bool interruptedNow();

    // Takes an interrupt of the command's own (a progress function's
    // error) as await takes the user's: the server is asked to cancel and
    // the wait turns to cleaning up.
    void interrupt() { takeInterrupt(); }

    // From now on interrupts are taken as while cleaning up.
    void beginCleanup() { cleaning_ = true; }

    // The user interrupted the command (and the server was asked to cancel).
    bool interrupted() const { return interrupted_; }
    // A further interrupt gave the connection up.
    bool dropped() const { return dropped_; }

  private:
    void takeInterrupt();
    void cancel();

    PGconn* conn_;
    bool cleaning_ = false;
    bool interrupted_ = false;
    bool cancelling_ = false;
    bool dropped_ = false;
    std::chrono::steady_clock::time_point lastCancel_;
};

// Sends everything libpq holds for the server, reading what comes in
// meanwhile (the server may wait on its own output).  False when the user
// interrupted.
bool flushOutput(ServerWait& wait);

// The next result of the statement running on the connection into
// `result`, null when it has none more.  False when the user interrupted.
bool nextResult(ServerWait& wait, ResultOwner& result);

// Reads and drops every remaining result until the connection is idle:
// a COPY FROM STDIN the server still expects is ended with a failure, so
// that it keeps none of it; a COPY TO STDOUT's data is dropped.  Waits
// while cleaning up.  True when a result reported a failure: the server
// stopped the work.
bool drainToIdle(ServerWait& wait);

// Brings the connection to idle before a statement is sent, as PQexec
// does: results an earlier command left are dropped, and a COPY it left
// running is ended.
void discardEarlierResults(PGconn* conn);

// Waits for the results of the statement just sent on `conn`, as PQexec
// does: the last one, or the first that starts a COPY; where the server's
// error is followed by libpq's own as the connection closes, the server's.
// On an interrupt the statement is cancelled and the connection drained
// before "interrupted" is raised; `what` names the work in its message
// ("the statement").
ResultOwner awaitStatement(PGconn* conn, const char* what);

// The next result of the statement running on `conn` (null when it has
// none more), waiting as awaitStatement does, interrupts alike: for a
// statement whose results are taken one at a time (single-row mode).
ResultOwner awaitNextResult(PGconn* conn, const char* what);

// PQexecParams with text parameters and results, waiting as
// awaitStatement does; null when the statement could not be sent
// (PQerrorMessage says why).
ResultOwner execParams(PGconn* conn, const char* sql, int count, const char* const* values,
                       const char* what);

// Raises "interrupted" for `what`, saying whether the server stopped the
// work or had completed it, and whether the connection was given up.
[[noreturn]] void raiseInterrupted(const ServerWait& wait, bool serverStopped, const char* what);

}  // namespace vorlex
