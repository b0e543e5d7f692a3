// SPDX-License-Identifier: BSD-3-Clause
// query_command.cpp - query: one statement with its parameters, its result
// read into a struct of columns by the columns' own types.
//
//   [data, info] = vorlex('query', conn, sql [, params] [, name, value ...])
//   cur = vorlex('query', conn, sql [, params], 'chunk', n [, name, value ...])
//
// The statement is prepared (unnamed) and described in one round trip, the
// parameters a format does not name left to the server to type, so that a
// count of values other than the statement's is refused before any value
// is sent, each value is converted to its parameter's type, and the
// result's column types are known before it runs; then its text runs with
// the values.  Every wait is one of server_wait.hpp's.  A statement without
// parameters that only reads runs as a binary COPY instead, its rows
// decoded as they arrive.  With 'chunk' the statement's rows are left to
// fetch (query_cursor.cpp): a COPY's stream, or in libpq's single-row mode.
#include <libpq-fe.h>
#include <strings.h>

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "connection/progress.hpp"
#include "connection/server_wait.hpp"
#include "handles/registry.hpp"
#include "host/command.hpp"
#include "host/errors.hpp"
#include "host/host.hpp"
#include "host/options.hpp"
#include "host/owners.hpp"
#include "params/param_building.hpp"
#include "query/known_statements.hpp"
#include "query/query_columns.hpp"
#include "query/query_cursor.hpp"
#include "query/query_params.hpp"
#include "query/sql_parameters.hpp"
#include "statements/copy_session.hpp"
#include "statements/lost_connection.hpp"
#include "statements/server_error.hpp"
#include "statements/statement_args.hpp"
#include "statements/unnamed_statement.hpp"
#include "types/type_oids.hpp"

namespace vorlex {

namespace {

enum Arg { kConn, kSql, kParams };

struct QueryCall {
    PGconn* conn;
    std::string sql;
    const mxArray* params = nullptr;
    std::optional<std::string> format;
    const mxArray* formatCell = nullptr;  // a format of one specifier per value
    QueryOptions options;
    size_t chunk = 0;  // rows per fetch; 0: the whole result at once
    ProgressOption progress;
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

// A count of rows: a real scalar, whole and at least 1.
size_t chunkArg(const mxArray* const prhs[], int index) {
    const mxArray* arg = prhs[index];
    double rows = mxIsNumeric(arg) && !mxIsComplex(arg) && mxGetNumberOfElements(arg) == 1
                      ? mxGetScalar(arg)
                      : 0;
    if (!(rows >= 1 && rows <= 0x1p53 && std::floor(rows) == rows))
        raiseError("optionValue",
                   "argument %d: the value of 'chunk' must be a positive whole number of rows",
                   argPosition(index));
    return static_cast<size_t>(rows);
}

using QueryOption = OptionRow<QueryCall>;

const QueryOption kQueryOptions[] = {
    {"format",
     [](QueryCall& call, const mxArray* const prhs[], int index) {
         if (mxIsCell(prhs[index]))
             call.formatCell = prhs[index];
         else
             call.format = formatArg(prhs, index);
     }},
    {"keepClass", [](QueryCall& call, const mxArray* const prhs[],
                     int index) { call.options.keepClass = flagArg(prhs, index, "keepClass"); }},
    {"numeric",
     [](QueryCall& call, const mxArray* const prhs[], int index) {
         call.options.numericAsDouble = choiceArg(prhs, index, "numeric", {"text", "double"}) == 1;
     }},
    {"output",
     [](QueryCall& call, const mxArray* const prhs[], int index) {
         call.options.cellOutput = choiceArg(prhs, index, "output", {"struct", "cell"}) == 1;
     }},
    {"dates", [](QueryCall& call, const mxArray* const prhs[],
                 int index) { call.options.dates.form = dateFormArg(prhs, index); }},
    {"timeZone", [](QueryCall& call, const mxArray* const prhs[],
                    int index) { call.options.dates.zone = timeZoneArg(prhs, index); }},
    {"chunk", [](QueryCall& call, const mxArray* const prhs[],
                 int index) { call.chunk = chunkArg(prhs, index); }},
    {"progress", [](QueryCall& call, const mxArray* const prhs[],
                    int index) { call.progress = progressArg(prhs, index); }},
};

QueryCall readCall(const Command& command, int nrhs, const mxArray* prhs[]) {
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
                   nrhs, command.usage);
    readOptions(prhs, options, nrhs, kQueryOptions, call);
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
void refuseMissingValues(const ParameterUse& use) {
    if (use.used > use.given) requireParameterCount(use.used, use.given);
}

// Whether the server refused the statement because it could not type a
// parameter left to it, or took a parameter of no type for another: each
// SQLSTATE that the value's class given as its type may cure.
bool isUntypedRefusal(const PGresult* refusal) {
    const char* code = PQresultErrorField(refusal, PG_DIAG_SQLSTATE);
    if (!code) return false;
    for (const char* cured : {"42P18", "42P08", "42725", "42804", "42883"})
        if (std::strcmp(code, cured) == 0) return true;
    return false;
}

// The n of "... parameter $n" in the server's message; 0 when it names none.
long parameterNamed(const PGresult* refusal) {
    const char* message = PQresultErrorField(refusal, PG_DIAG_MESSAGE_PRIMARY);
    const char* dollar = message ? std::strchr(message, '$') : nullptr;
    if (!dollar || !std::isdigit(static_cast<unsigned char>(dollar[1]))) return 0;
    return std::strtol(dollar + 1, nullptr, 10);
}

// After a refusal that a class's type may cure, the parameter the server
// could not type takes its value's class's type, or, when the message names
// none left to the server, every such parameter does.
bool typeByClass(const PGresult* refusal, const CallParams& params, std::vector<Oid>& types) {
    if (!isUntypedRefusal(refusal)) return false;
    long named = parameterNamed(refusal);
    std::string code = PQresultErrorField(refusal, PG_DIAG_SQLSTATE);
    if (code == "42P18" && named >= 1 && named <= params.count() && types[named - 1] == 0) {
        types[named - 1] = params.classTypes[named - 1];
        return true;
    }
    bool changed = false;
    for (int i = 0; i < params.count(); ++i) {
        if (types[i] != 0) continue;
        types[i] = params.classTypes[i];
        changed = true;
    }
    return changed;
}

UnnamedStatement unnamed(const std::string& sql, std::vector<Oid>& types, bool mayRetry) {
    return {sql.c_str(),  static_cast<int>(types.size()),
            types.data(), "the statement",
            nullptr,      nullptr,
            mayRetry};
}

bool leftToServer(const std::vector<Oid>& types) {
    for (Oid type : types)
        if (type == 0) return true;
    return false;
}

// The statement described with the types a format names and the server's
// for the others; where the server cannot type one, it is described again
// with the value's class's type there.
ResultOwner describeTyping(PGconn* conn, const std::string& sql, const CallParams& params,
                           const ParameterUse& use, std::vector<Oid>& types) {
    for (;;) {
        bool mayRetry = leftToServer(types);
        ResultOwner refusal;
        ResultOwner described = tryDescribeUnnamed(conn, unnamed(sql, types, mayRetry), refusal);
        if (described) return described;
        refuseMissingValues(use);
        if (!mayRetry || !typeByClass(refusal.get(), params, types))
            raiseQueryFailed(conn, refusal.get(), "the statement was refused");
    }
}

// The server types a parameter text where nothing but the output needs a
// type (`select $1`); a value other than text then takes its class's type
// there, if the statement takes that (else the value is refused).
ResultOwner describe(PGconn* conn, const std::string& sql, const CallParams& params, long used) {
    ParameterUse use{used, params.count()};
    std::vector<Oid> types = params.named;
    ResultOwner described = describeTyping(conn, sql, params, use, types);
    bool retyped = false;
    for (int i = 0; i < params.count(); ++i) {
        Oid classType = params.classTypes[i];
        if (types[i] || PQparamtype(described.get(), i) != kTextOid || classType == kTextOid ||
            classType == 0)
            continue;
        types[i] = classType;
        retyped = true;
    }
    if (!retyped) return described;
    ResultOwner refusal;
    ResultOwner again = tryDescribeUnnamed(conn, unnamed(sql, types, true), refusal);
    return again ? std::move(again) : std::move(described);
}

// The text is sent again with the values (parse, bind and execute in one
// message): the prepared statement the description came from may be gone
// by now, as when a pooler runs each transaction on another server
// connection.  In single-row mode the result is the first one: a row, or
// the end of none.
ResultOwner execute(PGconn* conn, const std::string& sql, const QueryParams& params, bool binary,
                    bool singleRow) {
    std::vector<const char*> values = params.pointers();
    std::vector<int> lengths = params.lengths();
    ResultOwner result;
    if (PQsendQueryParams(conn, sql.c_str(), params.count(), params.types.data(), values.data(),
                          lengths.data(), params.wireFormats.data(), binary ? 1 : 0) &&
        (!singleRow || PQsetSingleRowMode(conn)))
        result = singleRow ? awaitNextResult(conn, "the statement")
                           : awaitStatement(conn, "the statement");
    ExecStatusType status = PQresultStatus(result.get());
    if (status == PGRES_COPY_IN || status == PGRES_COPY_OUT || status == PGRES_COPY_BOTH) {
        discardEarlierResults(conn);
        raiseError("copyStatement", "query does not run COPY; use copyIn or copyOut");
    }
    if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK && status != PGRES_EMPTY_QUERY &&
        status != PGRES_SINGLE_TUPLE) {
        if (singleRow) discardEarlierResults(conn);
        raiseQueryFailed(conn, result.get(), "the statement failed");
    }
    return result;
}

// The parameters' types as the description gives them, each as the
// value's conversion needs it.
std::vector<ParamTarget> describedTargets(PGconn* conn, const PGresult* described,
                                          const CallParams& params) {
    std::vector<ParamTarget> targets;
    for (int i = 0; i < params.count(); ++i)
        targets.push_back(paramTarget(conn, PQparamtype(described, i), needsTargetKind(params, i)));
    return targets;
}

// The statement as it was last described on this connection (with the
// same text, named types and classes of the values left to the server, so
// with the same values used), or as a new description gives it.
KnownStatement knownStatement(const QueryCall& call, const StatementKey& key,
                              const CallParams& params) {
    if (const KnownStatement* known = findKnownStatement(key)) {
        requireParameterCount(known->parameters, params.count());
        discardEarlierResults(call.conn);
        return *known;
    }
    // Values the text does not use are refused before anything is sent.
    long used = highestParameter(call.sql);
    if (used < params.count()) requireParameterCount(used, params.count());
    ResultOwner described = describe(call.conn, call.sql, params, used);
    requireParameterCount(PQnparams(described.get()), params.count());
    KnownStatement known{PQnparams(described.get()), planColumns(call.conn, described.get()),
                         describedTargets(call.conn, described.get(), params),
                         isPlainQuery(call.sql)};
    rememberStatement(key, known);
    return known;
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

// The cursor over the statement that runs in single-row mode, its first
// result taken.  Its columns cannot be planned again while its rows
// stream: a statement whose columns changed since it was described is
// stopped, to be run again.
void startCursor(const QueryCall& call, const StatementKey& key, uint32_t connection,
                 ResultPlan plan, ResultOwner first, mxArray*& cursor) {
    try {
        if (!fitsPlan(first.get(), plan)) {
            forgetStatement(key);
            raiseError("statementChanged",
                       "the statement's columns changed since query last described it; run it "
                       "again");
        }
        nameColumns(plan, first.get());
        CursorRead read{std::move(plan), call.options, call.chunk};
        cursor = openCursor(connection, std::move(read), std::move(first));
    } catch (...) {
        first.reset();
        discardEarlierResults(call.conn);
        throw;
    }
}

// A statement without parameters that only reads runs as a binary COPY
// TO, its rows decoded as they arrive: no result ever holds them all, and
// the host makes the outputs while the server still sends.  A description
// remembered may be older than a table's last change, and a COPY's rows
// do not say their types: the same text run with LIMIT 0 first, in the
// same simple query (one transaction, its locks held until the COPY
// ends), gives the columns as they are.
bool readsThroughCopy(const CallParams& params, const KnownStatement& statement) {
    return params.count() == 0 && statement.plainRead && statement.plan.binary &&
           !statement.plan.columns.empty();
}

std::string describedCopy(const std::string& sql) {
    return "SELECT * FROM (\n" + sql + "\n) AS described LIMIT 0;\nCOPY (\n" + sql +
           "\n) TO STDOUT (FORMAT binary)";
}

// The statement's rows read whole from `copy`, into the outputs.
void readCopyRows(const QueryCall& call, const ResultPlan& plan, CopySession& copy,
                  Progress& progress, mxArray*& data, mxArray** info) {
    ChunkColumns columns(call.conn, plan, call.options, SIZE_MAX);
    CopyStreamDecoder stream;
    ResultOwner end = columns.addCopyRows(copy, stream, progress);
    if (PQresultStatus(end.get()) != PGRES_COMMAND_OK)
        raiseQueryFailed(call.conn, end.get(), failedAtRow(columns.rows()));
    progress.total = static_cast<double>(columns.rows());
    finishProgress(progress, columns.rows());
    std::string command = "SELECT " + std::to_string(columns.rows());
    columns.finish(command.c_str(), data, info);
}

// Runs the statement as a COPY and reads its rows (with 'chunk': leaves
// them to fetch, the cursor in plhs[0]).  False when its columns changed
// since it was described: its rows are then read and dropped, for it to be
// described and run again.
bool readThroughCopy(const QueryCall& call, ResultPlan& plan, uint32_t connection,
                     Progress& progress, int nlhs, mxArray* plhs[]) {
    CopySession copy(call.conn);
    ResultOwner described = copy.startDescribed(describedCopy(call.sql), "queryFailed");
    if (!fitsPlan(described.get(), plan)) {
        // Planning new columns may ask the server, which is busy sending.
        copy.discardRows();
        return false;
    }
    nameColumns(plan, described.get());
    if (!call.chunk) {
        readCopyRows(call, plan, copy, progress, plhs[0], nlhs > 1 ? &plhs[1] : nullptr);
        return true;
    }
    plhs[0] = openCopyCursor(connection, {plan, call.options, call.chunk});
    copy.leaveRunning();
    return true;
}

}  // namespace

void commandQuery(const Command& command, int nlhs, mxArray* plhs[], int nrhs,
                  const mxArray* prhs[]) {
    QueryCall call = readCall(command, nrhs, prhs);
    if (call.chunk && call.progress.mode != ProgressMode::off)
        raiseError("optionValue",
                   "with 'chunk', each fetch reports its progress: "
                   "vorlex('fetch', cur, 'progress', tf|fn)");
    if (call.chunk && nlhs > 1)
        raiseError("nargout",
                   "with 'chunk', query gives one output, the cursor; fetch gives "
                   "the data and info");
    CallParams params =
        readParams(call.conn, call.params, call.format ? &*call.format : nullptr, call.formatCell);
    uint32_t connection = static_cast<uint32_t>(mxGetScalar(prhs[kConn]));
    StatementKey key{connection, call.sql, params.named, params.classTypes};
    KnownStatement statement = knownStatement(call, key, params);
    ResultPlan& plan = statement.plan;
    if (call.chunk && plan.columns.empty())
        raiseError("chunkNoRows",
                   "the statement returns no rows ('chunk' reads a statement that returns "
                   "columns; run it without 'chunk')");
    // Rows read through COPY are reported as they arrive; a whole result
    // as it arrives, and again once it is converted.
    Progress progress;
    startProgress(progress, call.progress, NAN);
    for (int run = 1; readsThroughCopy(params, statement); ++run) {
        if (readThroughCopy(call, statement.plan, connection, progress, nlhs, plhs)) return;
        forgetStatement(key);
        if (run == 2)
            raiseError("statementChanged",
                       "the statement's columns changed while query read it; run it again");
        statement = knownStatement(call, key, params);
    }
    ResultOwner result;
    try {
        QueryParams encoded =
            encodeParams(call.conn, params, statement.targets, call.options.dates.zone);
        result = execute(call.conn, call.sql, encoded, plan.binary, call.chunk != 0);
    } catch (...) {
        // The parameter types may be what failed, described before a table
        // changed: the next run describes the statement anew.
        forgetStatement(key);
        throw;
    }
    if (call.chunk) {
        startCursor(call, key, connection, std::move(plan), std::move(result), plhs[0]);
        return;
    }
    if (!fitsPlan(result.get(), plan)) {
        forgetStatement(key);
        plan = replan(call.conn, result.get(), plan.binary);
    }
    nameColumns(plan, result.get());

    size_t rows = static_cast<size_t>(PQntuples(result.get()));
    progress.total = static_cast<double>(rows);
    lookAtProgress(progress, rows);

    // The info output is made only when it is asked for.
    readResult(call.conn, result.get(), plan, call.options, plhs[0], nlhs > 1 ? &plhs[1] : nullptr);
    finishProgress(progress, rows);
}

}  // namespace vorlex
