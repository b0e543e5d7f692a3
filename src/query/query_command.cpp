// SPDX-License-Identifier: BSD-3-Clause
// query_command.cpp - query: one statement with its parameters, its result
// read into a struct of columns by the columns' own types.
//
//   [data, info] = vorlex('query', conn, sql [, params] [, name, value ...])
//
// The statement is prepared (unnamed) with the parameters' types and
// described in one round trip, so that a count of values other than the
// statement's is refused before any value is sent, and the result's column
// types are known before it runs; then its text runs with the values in
// binary.  Every wait is one of server_wait.hpp's.
#include <libpq-fe.h>
#include <strings.h>

#include <optional>
#include <string>

#include "connection/server_wait.hpp"
#include "handles/registry.hpp"
#include "host/errors.hpp"
#include "host/host.hpp"
#include "host/owners.hpp"
#include "params/param_building.hpp"
#include "query/known_statements.hpp"
#include "query/query_columns.hpp"
#include "query/query_commands.hpp"
#include "query/query_params.hpp"
#include "query/sql_parameters.hpp"
#include "statements/lost_connection.hpp"
#include "statements/server_error.hpp"
#include "statements/statement_args.hpp"
#include "statements/unnamed_statement.hpp"

namespace vorlex {

namespace {

enum Arg { kConn, kSql, kParams };

struct QueryCall {
    PGconn* conn;
    std::string sql;
    const mxArray* params = nullptr;
    std::optional<std::string> format;
    QueryOptions options;
};

// --- Arguments ----------------------------------------------------------------------

bool isEmptyDouble(const mxArray* arg) {
    return mxIsDouble(arg) && mxGetNumberOfElements(arg) == 0;
}

const mxArray* paramsArg(const mxArray* const prhs[]) {
    const mxArray* params = prhs[kParams];
    if (isEmptyDouble(params)) return nullptr;
    if (!mxIsCell(params))
        raiseError("paramsNotCell",
                   "argument %d (params) must be a cell of values, one per $n, not %s",
                   argPosition(kParams), mxGetClassName(params));
    return params;
}

// The option's value among `choices` (matched ignoring case): its index.
int choiceArg(const mxArray* const prhs[], int index, const char* option,
              std::initializer_list<const char*> choices) {
    std::string title = std::string("the value of '") + option + "'";
    std::string value =
        charArg(prhs, index, {title.c_str(), "optionValue", "optionValue", "optionValue"});
    int position = 0;
    for (const char* choice : choices) {
        if (strcasecmp(value.c_str(), choice) == 0) return position;
        ++position;
    }
    std::string list;
    for (const char* choice : choices)
        list += std::string(list.empty() ? "'" : ", '") + choice + "'";
    raiseError("optionValue", "argument %d: '%s' takes %s, not '%s'", argPosition(index), option,
               list.c_str(), value.c_str());
}

bool flagArg(const mxArray* const prhs[], int index, const char* option) {
    const mxArray* flag = prhs[index];
    if (!mxIsLogical(flag) || mxGetNumberOfElements(flag) != 1)
        raiseError("optionValue", "argument %d: the value of '%s' must be a logical scalar",
                   argPosition(index), option);
    return *mxGetLogicals(flag) != 0;
}

void readOption(const mxArray* const prhs[], int index, QueryCall& call) {
    std::string name =
        charArg(prhs, index, {"option name", "optionNotChar", "optionUnreadable", "unknownOption"});
    int value = index + 1;
    if (strcasecmp(name.c_str(), "format") == 0)
        call.format = formatArg(prhs, value);
    else if (strcasecmp(name.c_str(), "keepClass") == 0)
        call.options.keepClass = flagArg(prhs, value, "keepClass");
    else if (strcasecmp(name.c_str(), "numeric") == 0)
        call.options.numericAsDouble = choiceArg(prhs, value, "numeric", {"text", "double"}) == 1;
    else if (strcasecmp(name.c_str(), "output") == 0)
        call.options.cellOutput = choiceArg(prhs, value, "output", {"struct", "cell"}) == 1;
    else if (strcasecmp(name.c_str(), "dates") == 0)
        call.options.dates.form = dateFormArg(prhs, value);
    else if (strcasecmp(name.c_str(), "timeZone") == 0)
        call.options.dates.zone = timeZoneArg(prhs, value);
    else
        raiseError("unknownOption",
                   "argument %d: unknown option '%s'; the options are 'format', 'keepClass', "
                   "'numeric', 'output', 'dates' and 'timeZone'",
                   argPosition(index), name.c_str());
}

QueryCall readCall(int nrhs, const mxArray* prhs[]) {
    QueryCall call;
    call.conn = connectionArg(prhs, kConn, RowRule::anyRows);
    call.sql = sqlRowArg(prhs, kSql);
    int options = kParams;
    if (nrhs > kParams && !mxIsChar(prhs[kParams])) {
        call.params = paramsArg(prhs);
        ++options;
    }
    if ((nrhs - options) % 2 != 0)
        raiseError("nargin",
                   "an option is a name and its value: %d argument(s) given after the command; "
                   "usage: %s",
                   nrhs, activeUsage());
    for (int index = options; index < nrhs; index += 2) readOption(prhs, index, call);
    return call;
}

void requireParameterCount(long used, int given) {
    if (used == given) return;
    if (used == 0)
        raiseError("paramCount", "the statement uses no parameters; %d value(s) given", given);
    raiseError("paramCount", "the statement uses %ld parameter(s) ($1 ... $%ld); %d value(s) given",
               used, used, given);
}

// --- The statement ------------------------------------------------------------------

struct ParameterUse {
    long used;  // the highest $n of the text
    int given;
};

// Values the text uses more of than were given are refused as soon as the
// server refuses the statement (often because it cannot tell their
// types); where the server takes it, its count decides (describe).
void refuseMissingValues(const void* context) {
    const auto* use = static_cast<const ParameterUse*>(context);
    if (use->used > use->given) requireParameterCount(use->used, use->given);
}

ResultOwner describe(PGconn* conn, const std::string& sql, const QueryParams& params, long used) {
    ParameterUse use{used, params.count()};
    return describeUnnamed(conn, {sql.c_str(), params.count(), params.types.data(), "the statement",
                                  refuseMissingValues, &use});
}

// The text is sent again with the values (parse, bind and execute in one
// message): the prepared statement the description came from may be gone
// by now, as when a pooler runs each transaction on another server
// connection.
ResultOwner execute(PGconn* conn, const std::string& sql, const QueryParams& params, bool binary) {
    std::vector<const char*> values = params.pointers();
    std::vector<int> lengths = params.lengths(), formats = params.formats();
    ResultOwner result;
    if (PQsendQueryParams(conn, sql.c_str(), params.count(), params.types.data(), values.data(),
                          lengths.data(), formats.data(), binary ? 1 : 0))
        result = awaitStatement(conn, "the statement");
    ExecStatusType status = PQresultStatus(result.get());
    if (status == PGRES_COPY_IN || status == PGRES_COPY_OUT || status == PGRES_COPY_BOTH) {
        discardEarlierResults(conn);
        raiseError("copyStatement", "query does not run COPY; use copyIn or copyOut");
    }
    if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK && status != PGRES_EMPTY_QUERY)
        raiseQueryFailed(conn, result.get(), "the statement failed");
    return result;
}

// The statement's plan: the one it was last run with on this connection
// (with the same text and parameter types, so with the same values
// used), or a new description's.
ResultPlan statementPlan(const QueryCall& call, const StatementKey& key,
                         const QueryParams& params) {
    if (const KnownStatement* known = findKnownStatement(key)) {
        requireParameterCount(known->parameters, params.count());
        discardEarlierResults(call.conn);
        return known->plan;
    }
    // Values the text does not use are refused before anything is sent.
    long used = highestParameter(call.sql);
    if (used < params.count()) requireParameterCount(used, params.count());
    ResultOwner described = describe(call.conn, call.sql, params, used);
    requireParameterCount(PQnparams(described.get()), params.count());
    ResultPlan plan = planColumns(call.conn, described.get());
    rememberStatement(key, {PQnparams(described.get()), plan});
    return plan;
}

bool fitsPlan(const PGresult* result, const ResultPlan& plan) {
    if (static_cast<size_t>(PQnfields(result)) != plan.columns.size()) return false;
    for (size_t k = 0; k < plan.columns.size(); ++k)
        if (PQftype(result, static_cast<int>(k)) != plan.columns[k].oid) return false;
    return true;
}

// The plan of a result whose columns changed since its statement was last
// described (a table altered in between): its own columns', read in the
// format it came in.  A binary result with a column that has no binary
// reader cannot be read; the statement has run, so it is not run again.
ResultPlan replan(PGconn* conn, const PGresult* result, bool binary) {
    ResultPlan plan = planColumns(conn, result);
    if (binary && !plan.binary)
        raiseError("statementChanged",
                   "the statement ran, but its columns changed since query last described it "
                   "and its result cannot be read; run it again");
    plan.binary = binary;
    return plan;
}

}  // namespace

void commandQuery(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    QueryCall call = readCall(nrhs, prhs);
    QueryParams params = queryParams(call.conn, call.params, call.format ? &*call.format : nullptr);
    StatementKey key{static_cast<uint32_t>(mxGetScalar(prhs[kConn])), call.sql, params.types};
    ResultPlan plan = statementPlan(call, key, params);
    ResultOwner result = execute(call.conn, call.sql, params, plan.binary);
    if (!fitsPlan(result.get(), plan)) {
        forgetStatement(key);
        plan = replan(call.conn, result.get(), plan.binary);
    }

    // The info output is made only when it is asked for.
    readResult(call.conn, result.get(), plan, call.options, plhs[0], nlhs > 1 ? &plhs[1] : nullptr);
}

}  // namespace vorlex
