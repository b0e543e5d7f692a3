// SPDX-License-Identifier: BSD-3-Clause
// copy_in.cpp - copyIn: the rows of a struct of columns loaded with one
// COPY ... FROM STDIN in PostgreSQL's binary format.
//
//   [n =] vorlex('copyIn', conn, target, format, values [, elementNulls [, valueNulls]]
//                [, 'progress', tf|fn])
//
// The columns are batchExec's, checked the same way before anything is
// sent.  Each row is encoded by the gateway's codecs straight into a
// buffer of whole rows (a 16-bit field count, then per field a 32-bit
// length, -1 for NULL, and the value's binary form: the bytes a parameter
// of that type carries), which goes to the server a chunk at a time.
//
// The target's columns are checked before the COPY starts too, since a
// binary COPY reads whatever bytes come as the column's type: each
// specifier must send what its column reads (copy_types.hpp).
#include "copy/copy_in.hpp"

#include <libpq-fe.h>
#include <libpqtypes.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "columns/batch_input.hpp"
#include "copy/copy_target.hpp"
#include "handles/registry.hpp"
#include "host/command.hpp"
#include "host/errors.hpp"
#include "host/host.hpp"
#include "statements/copy_session.hpp"
#include "statements/lost_connection.hpp"
#include "statements/server_error.hpp"
#include "statements/statement_args.hpp"
#include "types/pqtypes_private.hpp"
#include "types/wire.hpp"

namespace vorlex {

namespace {

// The stream's header: signature, flags (no OIDs), no header extension.
constexpr char kHeader[19] = {'P',  'G', 'C', 'O', 'P', 'Y', '\n', '\377', '\r', '\n',
                              '\0', 0,   0,   0,   0,   0,   0,    0,      0};

void appendInt16(CopyBuffer& buffer, int16_t value) {
    storeBig16(buffer.append(2), static_cast<uint16_t>(value));
}

// copyIn's rows: every column of the prepared batch (context).
void appendBatchRow(void* context, CopyBuffer& buffer, size_t row) {
    PreparedBatch& prepared = *static_cast<PreparedBatch*>(context);
    const std::vector<ParamRecord>& records = prepared.records;
    const PGtypeFormatInfo& server = *paramTypeHandlers(prepared.param.get()).server;
    for (size_t i = 0; i < records.size(); ++i)
        appendField(buffer, records[i], columnValue(records[i], prepared.batch.columns[i], row),
                    server);
}

[[noreturn]] void raiseServerFailure(PGconn* conn, const PGresult* result, size_t rows,
                                     const std::string& relationName) {
    std::string message = serverErrorText(conn, result);
    unsigned long long row = failedRowOf(PQresultErrorField(result, PG_DIAG_CONTEXT), relationName);
    if (row > 0 && row <= rows)
        raiseOnConnection(
            conn, "rowFailed",
            "row " + std::to_string(row) + " of " + std::to_string(rows) + " failed: " + message,
            result);
    raiseOnConnection(conn, "copyFailed", "the COPY failed: " + message, result);
}

// Sends the stream's rows a chunk at a time; false when the server has
// refused it, which makes the rest of no use.  The server refuses only
// rows it has been sent, before the one that fails to encode: its refusal
// comes first when it is already there.
bool sendRows(CopySession& copy, CopyBuffer& buffer, size_t rows, size_t fields, RowAppender append,
              void* context, Progress& progress) {
    for (size_t row = 0; row < rows; ++row) {
        try {
            appendInt16(buffer, static_cast<int16_t>(fields));
            append(context, buffer, row);
        } catch (GatewayError& error) {
            if (copy.refused()) return false;
            prefixRowNumber(error, row);
            throw;
        }
        if (buffer.size() >= kChunkBytes) {
            if (!copy.send(buffer.data(), buffer.size())) return false;
            buffer.clear();
        }
        advanceProgress(progress, row + 1);
    }
    return true;
}

}  // namespace

namespace {

bool isNameByte(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '$';
}
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Whether the relation's name at `at` in `line` stands where COPY's context
// puts it: at the line's start or after the keyword, and not inside a
// longer name.
bool isCopyRelationAt(std::string_view line, size_t at, size_t length) {
    static constexpr std::string_view kKeyword = "COPY ";
    bool placed = at == 0 || (at >= kKeyword.size() &&
                              line.substr(at - kKeyword.size(), kKeyword.size()) == kKeyword);
    size_t end = at + length;
    return placed && (end == line.size() || !isNameByte(line[end]));
}

}  // namespace

unsigned long long failedRowOf(const char* context, const std::string& relationName) {
    if (!context || relationName.empty()) return 0;
    std::string_view line(context);
    while (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    size_t lastBreak = line.rfind('\n');
    if (lastBreak != std::string_view::npos) line.remove_prefix(lastBreak + 1);
    for (size_t at = line.find(relationName); at != std::string_view::npos;
         at = line.find(relationName, at + 1)) {
        if (!isCopyRelationAt(line, at, relationName.size())) continue;
        size_t digits = at + relationName.size();
        while (digits < line.size() && !isDigit(line[digits])) ++digits;
        size_t end = digits;
        while (end < line.size() && isDigit(line[end])) ++end;
        if (digits == end || (end < line.size() && isNameByte(line[end]))) return 0;
        return std::strtoull(std::string(line.substr(digits, end - digits)).c_str(), nullptr, 10);
    }
    return 0;
}

char* bufferRoom(void* context, size_t size) {
    return static_cast<CopyBuffer*>(context)->append(size);
}

void appendInt32(CopyBuffer& buffer, int32_t value) {
    storeBig32(buffer.append(4), static_cast<uint32_t>(value));
}

void appendField(CopyBuffer& buffer, const ParamRecord& record, const ColumnValue& value,
                 const PGtypeFormatInfo& server) {
    if (value.isNull) {
        appendInt32(buffer, -1);
        return;
    }
    size_t lengthAt = buffer.size();
    buffer.append(4);
    size_t length =
        encodeValue(ValueRoom{bufferRoom, &buffer}, record, value.source, value.mask, server);
    storeBig32(buffer.at(lengthAt), static_cast<uint32_t>(length));
}

double copyRowsIn(PGconn* conn, const CopyStatement& statement, size_t rows, size_t fields,
                  RowAppender append, void* context, Progress& progress) {
    CopySession copy(conn);
    progress.wait = &copy.serverWait();
    // The line break ends a comment the target may end with.
    copy.start("COPY " + statement.target + "\n FROM STDIN (FORMAT binary)", PGRES_COPY_IN,
               "copyFailed");
    CopyBuffer buffer;
    std::memcpy(buffer.append(sizeof kHeader), kHeader, sizeof kHeader);
    if (sendRows(copy, buffer, rows, fields, append, context, progress)) {
        // Before the stream ends: fn's error still stores nothing.
        finishProgress(progress, rows);
        appendInt16(buffer, -1);
        copy.send(buffer.data(), buffer.size());
    }
    ResultOwner result = copy.finishSending();
    if (PQresultStatus(result.get()) != PGRES_COMMAND_OK)
        raiseServerFailure(conn, result.get(), rows, statement.relationName);
    return std::strtod(PQcmdTuples(result.get()), nullptr);
}

void commandCopyIn(const Command&, int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    PGconn* conn = connectionArg(prhs, kConnArg, RowRule::anyRows);
    std::string target = sqlRowArg(prhs, kStatementArg, "target", "target");
    std::string format = formatArg(prhs, kFormatArg);
    BatchInput input = batchInputArgs(prhs, nrhs);
    ProgressOption progressOption = batchOptionArgs(prhs, nrhs, input.optionsAt);
    PreparedBatch prepared;
    prepareBatch(conn, format, input, prepared);
    // Each row of the stream counts its fields in 16 bits.
    if (prepared.records.size() > INT16_MAX)
        raiseError("tooManyColumns", "%zu columns; a COPY row holds at most %d",
                   prepared.records.size(), INT16_MAX);

    double copied = 0;
    Progress progress;
    startProgress(progress, progressOption, static_cast<double>(prepared.rows));
    if (prepared.rows > 0) {
        CopyTarget found = lookUpCopyTarget(conn, splitCopyTarget(target));
        requireCopyTarget(conn, found, prepared.records);
        copied = copyRowsIn(conn, {target, found.relationName}, prepared.rows,
                            prepared.records.size(), appendBatchRow, &prepared, progress);
    }
    finishProgress(progress, 0);  // no rows: the COPY finished it otherwise
    if (nlhs > 0) plhs[0] = mxCreateDoubleScalar(copied);
}

}  // namespace vorlex
