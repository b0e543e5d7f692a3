// SPDX-License-Identifier: BSD-3-Clause
// execute.cpp - exec and paramExec (through libpqtypes, binary results) and execText
// (plain libpq, text results).
#include <libpq-fe.h>
#include <libpqtypes.h>

#include <string>

#include "connection/server_wait.hpp"
#include "handles/registry.hpp"
#include "host/command.hpp"
#include "host/errors.hpp"
#include "host/host.hpp"
#include "statements/lost_connection.hpp"
#include "statements/server_error.hpp"
#include "statements/statement_args.hpp"
#include "types/pqtypes_private.hpp"

namespace vorlex {

namespace {

// The result goes to the registry, with the handle of its connection
// (input 0), when the caller asked for it; otherwise its owner clears it.
void handOut(ResultOwner result, int nlhs, mxArray* plhs[], const mxArray* prhs[]) {
    uint32_t connection = *static_cast<const uint32_t*>(mxGetData(prhs[0]));
    if (nlhs == 1) plhs[0] = createHandle(registerResult(std::move(result), connection));
}

}  // namespace

std::string sqlRowArg(const mxArray* const prhs[], int index, const char* name, const char* title) {
    std::string check(name);
    std::string notText = check + "NotText", unreadable = check + "Unreadable",
                hasNul = check + "HasNul";
    return charArg(prhs, index, {title, notText.c_str(), unreadable.c_str(), hasNul.c_str(), true});
}

namespace {

// exec's and paramExec's success: an empty statement succeeds too.
bool isExecSuccess(ExecStatusType status) {
    return status == PGRES_EMPTY_QUERY || status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
}

// What PQparamExec does, with the wait made interruptible: the set's values
// are sent as libpq takes them, and the module refuses any status but empty query,
// command ok and tuples ok, as "PGresult: <the server's error>" (no
// result: "PGconn: <libpq's message>").
void runBinary(PGconn* conn, PGparam* param, const std::string& sql, int nlhs, mxArray* plhs[],
               const mxArray* prhs[]) {
    discardEarlierResults(conn);
    ParamArrays arrays;
    fillParamArrays(param, arrays);
    if (!PQsendQueryParams(conn, sql.c_str(), arrays.count(), arrays.types.data(),
                           arrays.values.data(), arrays.lengths.data(), arrays.wireFormats.data(),
                           1))
        raiseOnConnection(conn, "queryFailed", "no result: " + libpqText(PQerrorMessage(conn)));
    ResultOwner result = awaitStatement(conn, "the statement");
    if (!result)
        raiseOnConnection(conn, "queryFailed", "PGconn: " + libpqText(PQerrorMessage(conn)));
    if (!isExecSuccess(PQresultStatus(result.get())))
        raiseOnConnection(conn, "queryFailed", "PGresult: " + serverErrorText(conn, result.get()),
                          result.get());
    handOut(std::move(result), nlhs, plhs, prhs);
}

}  // namespace

void commandExec(const Command&, int nlhs, mxArray* plhs[], int, const mxArray* prhs[]) {
    PGconn* conn = connectionArg(prhs, 0, RowRule::anyRows);
    runBinary(conn, nullptr, sqlRowArg(prhs, 1), nlhs, plhs, prhs);
}

// The set is only read: it can be executed again, or reset and refilled.
void commandParamExec(const Command&, int nlhs, mxArray* plhs[], int, const mxArray* prhs[]) {
    PGconn* conn = connectionArg(prhs, 0, RowRule::anyRows);
    PGparam* param = paramArg(prhs, 1, RowRule::anyRows);
    runBinary(conn, param, sqlRowArg(prhs, 2), nlhs, plhs, prhs);
}

void commandExecText(const Command&, int nlhs, mxArray* plhs[], int, const mxArray* prhs[]) {
    requireHandleClass(HandleKind::connection, prhs, 0);
    // The text is taken in column-major order, whatever its shape.
    std::string sql = charArg(prhs, 1, {"SQL", "sqlNotChar", "sqlUnreadable", "sqlHasNul"});
    if (mxGetM(prhs[0]) != 1)
        raiseError("connectionRows", "argument %d must be one connection handle (1 row)",
                   argPosition(0));
    PGconn* conn = connectionArg(prhs, 0, RowRule::oneRow);

    // Server failures are results too, a lost connection's included: the
    // caller reads resultStatus and resultErrorMessage.  Where libpq made no
    // result because the connection is gone, a failed one carries its
    // message.  Only a missing result on a live connection (libpq out of
    // memory) is an error here.
    discardEarlierResults(conn);
    ResultOwner result;
    if (PQsendQuery(conn, sql.c_str())) result = awaitStatement(conn, "the statement");
    if (!result && isConnectionLost(conn))
        result.reset(PQmakeEmptyPGresult(conn, PGRES_FATAL_ERROR));
    if (!result) raiseError("noResult", "no result: %s", libpqText(PQerrorMessage(conn)).c_str());
    if (PQresultStatus(result.get()) == PGRES_FATAL_ERROR) keepServerError(conn, result.get());
    handOut(std::move(result), nlhs, plhs, prhs);
}

}  // namespace vorlex
