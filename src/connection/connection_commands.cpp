// SPDX-License-Identifier: BSD-3-Clause
// connection_commands.cpp - finish, reset and status of connections, and
// clear of results.
#include <libpq-fe.h>

#include "connection/server_wait.hpp"
#include "handles/registry.hpp"
#include "host/command.hpp"
#include "host/errors.hpp"
#include "host/host.hpp"

namespace vorlex {

void commandFinish(const Command&, int, mxArray*[], int, const mxArray* prhs[]) {
    releaseHandleArg(HandleKind::connection, prhs, 0, RowRule::anyRows);
}

void commandClear(const Command&, int, mxArray*[], int, const mxArray* prhs[]) {
    releaseHandleArg(HandleKind::result, prhs, 0, RowRule::oneRow);
}

// Reconnects with the same parameters and waits for the outcome, which
// status and errorMessage report; the handle stays valid either way.  An
// interrupted reset leaves the connection bad.  A cursor reading on the
// connection ends: its statement goes with the old session.
void commandReset(const Command&, int, mxArray*[], int, const mxArray* prhs[]) {
    PGconn* conn = anyConnectionArg(prhs, 0, RowRule::oneRow);
    endConnectionCursor(static_cast<uint32_t>(mxGetScalar(prhs[0])),
                        "ended when its connection was reset");
    if (PQresetStart(conn) && awaitConnecting(conn, PQresetPoll) == Connecting::interrupted)
        raiseError("interrupted",
                   "interrupted: the reset was given up; the connection is bad "
                   "until the next reset");
    // libpq makes the connection blocking again when it closes it.
    if (PQstatus(conn) == CONNECTION_OK) PQsetnonblocking(conn, 1);
}

void commandStatus(const Command&, int, mxArray* plhs[], int, const mxArray* prhs[]) {
    ConnStatusType status = PQstatus(anyConnectionArg(prhs, 0, RowRule::oneRow));
    if (status == CONNECTION_OK)
        note("vorlex: the connection is ok\n");
    else if (status == CONNECTION_BAD)
        note("vorlex: the connection is bad\n");
    plhs[0] = mxCreateDoubleScalar(static_cast<double>(status));
}

}  // namespace vorlex
