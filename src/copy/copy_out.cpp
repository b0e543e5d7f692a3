// SPDX-License-Identifier: BSD-3-Clause
// copy_out.cpp - copyOut: the rows of a query streamed with one
// COPY (query) TO STDOUT in PostgreSQL's binary format, into the columns
// resultGet would give.
//
//   [s1, ..., sK] = vorlex('copyOut', conn, query, format [, 'columnVectors', tf]
//                          [, 'progress', tf|fn])
//
// The k-th specifier reads the query's k-th column.  The columns' types are
// checked before the COPY starts, against the query prepared (unnamed) and
// described, since the stream itself carries no types.  Rows are decoded
// as their messages arrive, into outputs that grow geometrically and are
// trimmed at the end: no result ever holds the whole set.
#include <libpq-fe.h>
#include <libpqtypes.h>

#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "columns/column_reading.hpp"
#include "columns/copy_stream.hpp"
#include "connection/progress.hpp"
#include "connection/server_wait.hpp"
#include "handles/registry.hpp"
#include "host/command.hpp"
#include "host/errors.hpp"
#include "host/host.hpp"
#include "host/options.hpp"
#include "host/owners.hpp"
#include "params/param_building.hpp"
#include "statements/copy_session.hpp"
#include "statements/lost_connection.hpp"
#include "statements/server_error.hpp"
#include "statements/statement_args.hpp"
#include "statements/unnamed_statement.hpp"
#include "types/pqtypes_private.hpp"

namespace vorlex {

namespace {

enum Arg { kConn, kQuery, kFormat, kOption };

struct CopyOutOptions {
    bool columnVectors = true;
    ProgressOption progress;
};

const OptionRow<CopyOutOptions> kCopyOutOptions[] = {
    {"columnVectors",
     [](CopyOutOptions& options, const mxArray* const prhs[], int index) {
         options.columnVectors = flagArg(prhs, index, "columnVectors");
     }},
    {"progress", [](CopyOutOptions& options, const mxArray* const prhs[],
                    int index) { options.progress = progressArg(prhs, index); }},
};

CopyOutOptions optionArgs(const Command& command, const mxArray* const prhs[], int nrhs) {
    if ((nrhs - kOption) % 2 != 0)
        raiseError("nargin",
                   "an option is a name and its value: %d argument(s) given after the command; "
                   "usage: %s",
                   nrhs, command.usage);
    CopyOutOptions options;
    readOptions(prhs, kOption, nrhs, kCopyOutOptions, options);
    return options;
}

// --- Arguments and the query's columns ---------------------------------------

std::vector<GrowingColumn> specifiedColumns(const std::string& format, PGparam* param,
                                            bool columnVectors) {
    std::vector<GrowingColumn> columns;
    TypeHandlers handlers = paramTypeHandlers(param);
    SpecifierParse parse;
    for (const char* rest = format.c_str(); *rest;) {
        rest = parseSpecifier(rest, handlers, parse);
        if (!parse.handler) continue;
        if (parse.flags & kSpecByName)
            raiseError("badFormat",
                       "specifier %d of the format names its column (#); copyOut reads the "
                       "query's columns in order: use %%",
                       parse.position);
        ResultColumn column =
            describeSpecifier(parse.handler, parse.flags, parse.position, columnVectors);
        column.number = parse.position - 1;
        column.flatten = (parse.flags & kSpecArray) && *rest == '@';
        if (column.flatten) ++rest;
        columns.emplace_back(column);
    }
    return columns;
}

[[noreturn]] void raiseQueryFailure(const PGresult* result, PGconn* conn, const char* what) {
    std::string message = result ? serverErrorText(conn, result) : libpqText(PQerrorMessage(conn));
    raiseOnConnection(conn, "queryFailed", std::string(what) + ": " + message, result);
}

// The query is prepared as the unnamed statement and described, so that its
// columns' types are checked before a row is read.
void checkQueryColumns(PGconn* conn, const std::string& query,
                       const std::vector<GrowingColumn>& columns) {
    ResultOwner described =
        describeUnnamed(conn, {query.c_str(), 0, nullptr, "the query", nullptr, nullptr});
    int fields = PQnfields(described.get());
    if (static_cast<size_t>(fields) != columns.size())
        raiseError("columnCount", "the query returns %d column(s); the format has %zu specifier(s)",
                   fields, columns.size());
    for (const GrowingColumn& growing : columns)
        requireColumnType(growing.column, PQftype(described.get(), growing.column.number));
}

}  // namespace

void commandCopyOut(const Command& command, int nlhs, mxArray* plhs[], int nrhs,
                    const mxArray* prhs[]) {
    PGconn* conn = connectionArg(prhs, kConn, RowRule::anyRows);
    std::string query = sqlRowArg(prhs, kQuery, "query", "query");
    std::string format = formatArg(prhs, kFormat);
    CopyOutOptions options = optionArgs(command, prhs, nrhs);
    bool columnVectors = options.columnVectors;

    ParamOwner param(createParam(conn));  // the connection's types
    if (!param)
        raiseError("paramCreateFailed", "the connection's types are missing: %s", PQgeterror());
    std::vector<GrowingColumn> columns = specifiedColumns(format, param.get(), columnVectors);
    if (columns.empty()) raiseError("badFormat", "the format has no specifiers: one per column");
    if (nlhs < 1 || static_cast<size_t>(nlhs) != columns.size())
        raiseError("nargout",
                   "the format has %zu specifier(s), so copyOut gives %zu output(s); %d requested",
                   columns.size(), columns.size(), nlhs);
    checkQueryColumns(conn, query, columns);

    Progress progress;
    startProgress(progress, options.progress, NAN);
    CopySession copy(conn);
    progress.wait = &copy.serverWait();
    // The line break ends a comment the query may end with.
    copy.start("COPY (" + query + "\n) TO STDOUT (FORMAT binary)", PGRES_COPY_OUT, "queryFailed");
    CopyStreamDecoder decoder(columns, *paramTypeHandlers(param.get()).server);
    for (;;) {
        CopyData data = copy.receive();
        if (data.atEnd()) break;
        decoder.take(data.bytes(), data.length());
        advanceProgress(progress, decoder.rows());
    }
    ResultOwner result = copy.finishReceiving();
    if (PQresultStatus(result.get()) != PGRES_COMMAND_OK)
        raiseQueryFailure(result.get(), conn, "the COPY failed");
    decoder.requireEnd();
    finishProgress(progress, decoder.rows());
    for (size_t k = 0; k < columns.size(); ++k)
        plhs[k] = columnStruct(columns[k].finish(decoder.rows()));
}

}  // namespace vorlex
