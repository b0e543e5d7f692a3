// SPDX-License-Identifier: BSD-3-Clause
// batch_command.cpp - batchExec: one parameterised statement run once for
// every row of a table of columns, in one pipelined stream.
//
//   vorlex('batchExec', conn, sql, format, values [, elementNulls [, valueNulls [, namePrefix]]]
//          [, 'progress', tf|fn])
//
// `values` is a scalar struct with one field per parameter, each a column
// of M rows; `elementNulls` and `valueNulls` (or [] for none) have the same
// fields and mark NULL elements of array values and NULL values.  Every
// argument and column is checked before anything is sent.  A char after
// both NULL structs is namePrefix when an odd count of inputs is left from
// it (the options come in pairs).
#include <libpq-fe.h>
#include <libpqtypes.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "batch/pipeline.hpp"
#include "columns/batch_columns.hpp"
#include "columns/batch_input.hpp"
#include "handles/registry.hpp"
#include "host/command.hpp"
#include "host/errors.hpp"
#include "host/host.hpp"
#include "host/owners.hpp"
#include "params/param_building.hpp"
#include "statements/statement_args.hpp"

namespace vorlex {

namespace {

constexpr char kDefaultPrefix[] = "vorlex_batch";

// Statement names are "<prefix>_<counter>"; the server cuts SQL names at
// 63 bytes, and the closing DEALLOCATE names the statement in SQL, so the
// prefix leaves room for the longest counter.
constexpr size_t kMaxPrefixBytes = 63 - 1 - 20;

// Counts the calls that passed their argument checks since the module was
// loaded; each names its statement with the value before its increment.
long long statementCounter = 0;

enum Arg { kConn, kSql, kFormat, kNamePrefix = kBatchArgCount };

std::string prefixArg(const mxArray* const prhs[]) {
    const mxArray* arg = prhs[kNamePrefix];
    if (mxIsEmpty(arg))
        raiseError("prefixEmpty", "argument %d (namePrefix) is empty", argPosition(kNamePrefix));
    std::string prefix = charArg(
        prhs, kNamePrefix, {"namePrefix", "prefixNotChar", "prefixUnreadable", "prefixHasNul"});
    if (prefix.size() > kMaxPrefixBytes)
        raiseError("prefixTooLong", "argument %d (namePrefix) has %zu bytes; at most %zu",
                   argPosition(kNamePrefix), prefix.size(), kMaxPrefixBytes);
    return prefix;
}

struct EscapedText {
    void operator()(char* text) const { PQfreemem(text); }
};

// The statement's name and the DEALLOCATE that releases it.
BatchStatement namedStatement(PGconn* conn, std::string sql, const std::string& prefix) {
    BatchStatement statement;
    statement.sql = std::move(sql);
    statement.name = prefix + "_" + std::to_string(statementCounter);
    std::unique_ptr<char, EscapedText> quoted(
        PQescapeIdentifier(conn, statement.name.c_str(), statement.name.size()));
    if (!quoted)
        raiseError("prefixUnreadable", "argument %d (namePrefix) cannot name a statement: %s",
                   argPosition(kNamePrefix), libpqText(PQerrorMessage(conn)).c_str());
    statement.closing = std::string("DEALLOCATE ") + quoted.get();
    return statement;
}

}  // namespace

void commandBatchExec(const Command&, int, mxArray*[], int nrhs, const mxArray* prhs[]) {
    PGconn* conn = connectionArg(prhs, kConn, RowRule::anyRows);
    std::string sql = sqlRowArg(prhs, kSql);
    std::string format = formatArg(prhs, kFormat);
    BatchInput input = batchInputArgs(prhs, nrhs);
    int options = input.optionsAt;
    bool prefixed = options == kNamePrefix && (nrhs - options) % 2 == 1;
    std::string prefix = prefixed ? prefixArg(prhs) : kDefaultPrefix;
    ProgressOption progressOption = batchOptionArgs(prhs, nrhs, prefixed ? options + 1 : options);
    BatchStatement statement = namedStatement(conn, std::move(sql), prefix);
    ++statementCounter;

    PreparedBatch prepared;
    prepareBatch(conn, format, input, prepared);
    size_t rows = prepared.rows;
    Progress progress;
    startProgress(progress, progressOption, static_cast<double>(rows));
    if (rows > 0)
        runPipeline(conn, prepared.param.get(), statement, rows,
                    RowBuilder{putBatchRow, &prepared.batch}, progress);
    finishProgress(progress, rows);  // no rows: the stream finished it otherwise
}

}  // namespace vorlex
