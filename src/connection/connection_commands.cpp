// connection_commands.cpp - finish, reset and status of connections, and
// clear of results.
#include "connection/connection_commands.hpp"

#include <libpq-fe.h>

#include "host/errors.hpp"
#include "host/host.hpp"
#include "handles/registry.hpp"

namespace vorlex {

void commandFinish(int, mxArray*[], int, const mxArray* prhs[]) {
    releaseHandleArg(HandleKind::connection, prhs, 0, RowRule::anyRows);
}

void commandClear(int, mxArray*[], int, const mxArray* prhs[]) {
    releaseHandleArg(HandleKind::result, prhs, 0, RowRule::oneRow);
}

// Reconnects with the same parameters and waits for the outcome, which
// status and errorMessage report; the handle stays valid either way.
void commandReset(int, mxArray*[], int, const mxArray* prhs[]) {
    PQreset(connectionArg(prhs, 0, RowRule::oneRow));
}

void commandStatus(int, mxArray* plhs[], int, const mxArray* prhs[]) {
    ConnStatusType status = PQstatus(connectionArg(prhs, 0, RowRule::oneRow));
    if (status == CONNECTION_OK)
        note("vorlex: the connection is ok\n");
    else if (status == CONNECTION_BAD)
        note("vorlex: the connection is bad\n");
    plhs[0] = mxCreateDoubleScalar(static_cast<double>(status));
}

}  // namespace vorlex
