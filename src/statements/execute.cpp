// execute.cpp - exec and paramExec (through libpqtypes, binary results) and execText
// (plain libpq, text results).
#include <libpq-fe.h>
#include <libpqtypes.h>

#include <string>

#include "connection/server_wait.hpp"
#include "gateway/commands.hpp"
#include "gateway/dispatch.hpp"
#include "host/errors.hpp"
#include "host/host.hpp"
#include "handles/registry.hpp"
#include "statements/statement_args.hpp"

namespace vorlex {

namespace {

void refuseNul(const std::string& sql, int index, const char* name = "sql",
               const char* title = "SQL") {
    if (sql.find('\0') != std::string::npos)
        raiseError((std::string(name) + "HasNul").c_str(), "argument %d (%s) holds a NUL character",
                   argPosition(index), title);
}

// The result goes to the registry when the caller asked for it; otherwise
// its owner clears it.
void handOut(ResultOwner result, int nlhs, mxArray* plhs[]) {
    if (nlhs == 1) plhs[0] = createHandle(registerResult(std::move(result)));
}

}  // namespace

std::string sqlRowArg(const mxArray* const prhs[], int index, const char* name, const char* title) {
    const mxArray* arg = prhs[index];
    std::string check(name);
    if (!mxIsChar(arg) || mxGetM(arg) != 1)
        raiseError((check + "NotText").c_str(),
                   "argument %d (%s) must be a char row, not a %zux%zu %s", argPosition(index),
                   title, static_cast<size_t>(mxGetM(arg)), static_cast<size_t>(mxGetN(arg)),
                   mxGetClassName(arg));
    std::string sql;
    if (!charArrayBytes(arg, sql))
        raiseError((check + "Unreadable").c_str(), "argument %d (%s) could not be read",
                   argPosition(index), title);
    refuseNul(sql, index, name, title);
    return sql;
}

namespace {

bool isAccepted(ExecStatusType status) {
    return status == PGRES_EMPTY_QUERY || status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
}

// What PQparamExec does, with the wait made interruptible: libpqtypes sends
// the set's values, and refuses any status but empty query, command ok and
// tuples ok, as "PGresult: <server message>" (no result: "PGconn: <libpq's
// message>").
void runBinary(PGconn* conn, PGparam* param, const std::string& sql, int nlhs, mxArray* plhs[]) {
    discardEarlierResults(conn);
    if (!PQparamSendQuery(conn, param, sql.c_str(), 1)) {
        raisePendingTypesError("queryFailed");
        raiseError("queryFailed", "no result: %s", libpqText(PQerrorMessage(conn)).c_str());
    }
    ResultOwner result = awaitStatement(conn, "the statement");
    if (!result) {
        PQseterror("PGconn: %s", PQerrorMessage(conn));
    } else if (!isAccepted(PQresultStatus(result.get()))) {
        PQseterror("PGresult: %s", PQresultErrorMessage(result.get()));
        result.reset();
    }
    raisePendingTypesError("queryFailed");
    handOut(std::move(result), nlhs, plhs);
}

}  // namespace

void commandExec(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    const char* usage = "[result =] vorlex('exec', conn, sql)";
    requireInputCount(nrhs, 2, 2, usage);
    requireOutputCount(nlhs, 0, 1, usage);
    PGconn* conn = connectionArg(prhs, 0, RowRule::anyRows);
    runBinary(conn, nullptr, sqlRowArg(prhs, 1), nlhs, plhs);
}

// The set is only read: it can be executed again, or reset and refilled.
void commandParamExec(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    const char* usage = "[result =] vorlex('paramExec', conn, param, sql)";
    requireInputCount(nrhs, 3, 3, usage);
    requireOutputCount(nlhs, 0, 1, usage);
    PGconn* conn = connectionArg(prhs, 0, RowRule::anyRows);
    PGparam* param = paramArg(prhs, 1, RowRule::anyRows);
    runBinary(conn, param, sqlRowArg(prhs, 2), nlhs, plhs);
}

void commandExecText(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    requireInputCount(nrhs, 2, 2, "result = vorlex('execText', conn, sql)");
    requireHandleClass(HandleKind::connection, prhs, 0);
    if (!mxIsChar(prhs[1]))
        raiseError("sqlNotChar", "argument %d (SQL) must be char, not %s", argPosition(1),
                   mxGetClassName(prhs[1]));
    if (mxGetM(prhs[0]) != 1)
        raiseError("connectionRows", "argument %d must be one connection handle (1 row)",
                   argPosition(0));

    // The text is taken in column-major order, whatever its shape.
    std::string sql;
    if (!charArrayBytes(prhs[1], sql))
        warn("sqlTruncated", "argument %d (SQL) could not be copied whole", argPosition(1));
    refuseNul(sql, 1);
    PGconn* conn = connectionArg(prhs, 0, RowRule::oneRow);

    // Server failures are results too: the caller reads resultStatus and
    // resultErrorMessage.  Only a missing result (libpq out of memory or
    // the connection gone) is an error here.
    discardEarlierResults(conn);
    ResultOwner result;
    if (PQsendQuery(conn, sql.c_str())) result = awaitStatement(conn, "the statement");
    if (!result) raiseError("noResult", "no result: %s", libpqText(PQerrorMessage(conn)).c_str());
    handOut(std::move(result), nlhs, plhs);
}

}  // namespace vorlex
