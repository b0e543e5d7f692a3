// SPDX-License-Identifier: BSD-3-Clause
// notifications.cpp - listen, unlisten and notifications.  libpq queues the
// server's NOTIFY messages on the connection whichever command reads them;
// notifications hands out the queue, waiting for it when asked.
#include <libpq-fe.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <string>
#include <vector>

#include "connection/server_wait.hpp"
#include "handles/registry.hpp"
#include "host/command.hpp"
#include "host/errors.hpp"
#include "host/host.hpp"
#include "statements/lost_connection.hpp"
#include "statements/unnamed_statement.hpp"

namespace vorlex {

namespace {

// NAMEDATALEN - 1 of a default server build: a longer name would be cut
// short there without a word, and listen to another channel than asked.
constexpr size_t kLongestChannel = 63;

// The longest single wait asked of waitOnSocket, which takes an int of
// milliseconds; a longer timeout is waited in several.
constexpr double kLongestWaitMilliseconds = 1e9;

const CharArgChecks kChannelChecks{"channel", "channelNotChar", "channelUnreadable",
                                   "channelHasNul", true};

std::string channelArg(const mxArray* const prhs[], int index) {
    if (mxIsChar(prhs[index]) && mxIsEmpty(prhs[index]))
        raiseError("channelEmpty", "argument %d (channel) is empty", argPosition(index));
    std::string channel = charArg(prhs, index, kChannelChecks);
    if (channel.size() > kLongestChannel)
        raiseError("channelTooLong",
                   "argument %d (channel) has %zu bytes; a channel name has at most %zu, the "
                   "server would cut it short",
                   argPosition(index), channel.size(), kLongestChannel);
    return channel;
}

// The channel quoted as an identifier: any name is one channel, taken
// exactly (case kept), and cannot end the statement.
std::string quotedChannel(PGconn* conn, const std::string& channel) {
    LibpqTextOwner quoted(PQescapeIdentifier(conn, channel.data(), channel.size()));
    if (!quoted)
        raiseOnConnection(conn, "channelInvalid",
                          "the channel could not be quoted: " + libpqText(PQerrorMessage(conn)));
    return quoted.get();
}

void runOnChannel(PGconn* conn, const std::string& sql) {
    ResultOwner result = execParams(conn, sql.c_str(), 0, nullptr, "the statement");
    if (!result || PQresultStatus(result.get()) != PGRES_COMMAND_OK)
        raiseQueryFailed(conn, result.get(), sql + " failed");
}

// Seconds: a real number, 0 or more; Inf waits until a notification comes.
double timeoutArg(const mxArray* const prhs[], int index) {
    const mxArray* arg = prhs[index];
    if (!mxIsNumeric(arg) || mxIsComplex(arg) || mxGetNumberOfElements(arg) != 1)
        raiseError("timeoutNotScalar",
                   "argument %d (timeout) must be a real number of seconds (1x1), not a %s",
                   argPosition(index), shapeText(arg).c_str());
    double seconds = mxGetScalar(arg);
    if (!(seconds >= 0))
        raiseError("timeoutRange", "argument %d (timeout) must be 0 or more seconds (Inf: no end)",
                   argPosition(index));
    return seconds;
}

// Takes every notification libpq has queued, owning each from the moment
// it leaves the queue.
void takeQueued(PGconn* conn, std::vector<NotifyOwner>& notes) {
    for (;;) {
        NotifyOwner note(PQnotifies(conn));
        if (!note) return;
        notes.push_back(std::move(note));
    }
}

// Waits up to `seconds` for the first notification, reading the connection
// as data comes.  False when a read failed: the connection is lost.
bool awaitFirst(PGconn* conn, double seconds, std::vector<NotifyOwner>& notes) {
    using Clock = std::chrono::steady_clock;
    Clock::time_point start = Clock::now();
    for (;;) {
        int slice = -1;
        if (!std::isinf(seconds)) {
            double left = seconds - std::chrono::duration<double>(Clock::now() - start).count();
            if (left <= 0) return true;
            slice = static_cast<int>(std::ceil(std::min(left * 1000, kLongestWaitMilliseconds)));
        }
        SocketWait outcome = waitOnSocket(PQsocket(conn), POLLIN, slice);
        if (outcome == SocketWait::interrupted)
            raiseError("interrupted",
                       "interrupted while waiting for a notification; none had come, and the "
                       "connection is ready");
        if (outcome == SocketWait::timedOut) continue;
        if (!PQconsumeInput(conn)) return false;
        takeQueued(conn, notes);
        if (!notes.empty()) return true;
    }
}

// An N-by-1 struct array (0-by-1 for none) of channel, payload and pid.
mxArray* notificationArray(const std::vector<NotifyOwner>& notes) {
    const char* fields[] = {"channel", "payload", "pid"};
    HostArrayOwner array(mxCreateStructMatrix(notes.size(), 1, 3, fields));
    for (size_t k = 0; k < notes.size(); ++k) {
        mxSetFieldByNumber(array.get(), k, 0, createCharRow(notes[k]->relname));
        mxSetFieldByNumber(array.get(), k, 1, createCharRow(notes[k]->extra));
        mxSetFieldByNumber(array.get(), k, 2,
                           mxCreateDoubleScalar(static_cast<double>(notes[k]->be_pid)));
    }
    return array.release();
}

}  // namespace

void commandListen(const Command&, int, mxArray*[], int, const mxArray* prhs[]) {
    PGconn* conn = connectionArg(prhs, 0, RowRule::anyRows);
    std::string channel = channelArg(prhs, 1);
    runOnChannel(conn, "LISTEN " + quotedChannel(conn, channel));
}

// '*' stops every channel, as UNLISTEN * does.
void commandUnlisten(const Command&, int, mxArray*[], int, const mxArray* prhs[]) {
    PGconn* conn = connectionArg(prhs, 0, RowRule::anyRows);
    std::string channel = channelArg(prhs, 1);
    runOnChannel(conn, "UNLISTEN " + (channel == "*" ? channel : quotedChannel(conn, channel)));
}

// The notifications are returned while the connection lives; a read that
// finds it lost raises only when none is left to return, so that none is
// dropped: the next call raises.
void commandNotifications(const Command&, int, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    PGconn* conn = connectionArg(prhs, 0, RowRule::anyRows);
    double seconds = nrhs > 1 ? timeoutArg(prhs, 1) : 0;
    discardEarlierResults(conn);
    std::vector<NotifyOwner> notes;
    bool read = PQconsumeInput(conn) != 0;
    takeQueued(conn, notes);
    if (read && notes.empty() && seconds > 0) read = awaitFirst(conn, seconds, notes);
    if (!read && notes.empty())
        raiseOnConnection(conn, "readFailed",
                          "the connection could not be read: " + libpqText(PQerrorMessage(conn)));
    plhs[0] = notificationArray(notes);
}

}  // namespace vorlex
