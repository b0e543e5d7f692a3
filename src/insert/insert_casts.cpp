// SPDX-License-Identifier: BSD-3-Clause
// insert_casts.cpp - one column's texts cast by the server, in binary.
#include "insert/insert_casts.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "connection/server_wait.hpp"
#include "host/errors.hpp"
#include "statements/lost_connection.hpp"
#include "statements/server_error.hpp"
#include "types/type_oids.hpp"
#include "types/wire.hpp"

namespace vorlex {

namespace {

// Texts sent in one statement at most, well below the server's limit of a
// message (1 GB) and the memory a statement may take there.
constexpr size_t kSliceBytes = size_t{32} << 20;

constexpr char kSavepoint[] = "vorlex_insert_cast";
constexpr char kWork[] = "the conversion of the texts";

// Each text with its ordinal, which ties the value to its row whatever
// order the rows come back in.
std::string castStatement(const std::string& type) {
    return "SELECT n, x::" + type + " FROM unnest($1::text[]) WITH ORDINALITY AS u(x, n)";
}

enum CastField { kOrdinal, kValue };

struct Caster {
    PGconn* conn;
    std::string statement;
    const CastTexts& texts;
    const std::string& label;
    bool inBlock;  // a failing statement would abort the user's transaction
};

// A one-dimensional binary text[] of rows [first, last).
std::string textArray(const CastTexts& texts, size_t first, size_t last) {
    constexpr size_t kHeaderBytes = 20;
    std::string array(kHeaderBytes, '\0');
    storeBig32(&array[0], 1);  // dimensions
    storeBig32(&array[4], 1);  // flags: it may hold NULLs
    storeBig32(&array[8], kTextOid);
    storeBig32(&array[12], static_cast<uint32_t>(last - first));
    storeBig32(&array[16], 1);  // the lower bound
    size_t begin = texts.starts[first];
    array.append(texts.elements.data() + begin, texts.starts[last] - begin);
    return array;
}

bool succeeded(const PGresult* result) {
    return result && PQresultStatus(result) == PGRES_TUPLES_OK;
}

// A text the type refuses: a data exception, or a constraint of a domain.
bool isRefusal(const PGresult* result) {
    const char* code = PQresultErrorField(result, PG_DIAG_SQLSTATE);
    return code && (std::strncmp(code, "22", 2) == 0 || std::strncmp(code, "23", 2) == 0);
}

void runCommand(PGconn* conn, const std::string& sql) {
    ResultOwner result = execParams(conn, sql.c_str(), 0, nullptr, kWork);
    if (!result || PQresultStatus(result.get()) != PGRES_COMMAND_OK)
        raiseOnConnection(
            conn, "copyFailed",
            "the savepoint of the texts' conversion failed: " + failureText(conn, result.get()),
            result.get());
}

// Rows [first, last) cast; inside a transaction block a failure is rolled
// back to the savepoint.
ResultOwner attempt(const Caster& caster, size_t first, size_t last) {
    std::string array = textArray(caster.texts, first, last);
    const Oid types[] = {kTextArrayOid};
    const char* values[] = {array.data()};
    const int lengths[] = {static_cast<int>(array.size())};
    const int formats[] = {1};
    discardEarlierResults(caster.conn);
    ResultOwner result;
    if (PQsendQueryParams(caster.conn, caster.statement.c_str(), 1, types, values, lengths, formats,
                          1))
        result = awaitStatement(caster.conn, kWork);
    if (!succeeded(result.get()) && caster.inBlock && !isConnectionLost(caster.conn, result.get()))
        runCommand(caster.conn, std::string("ROLLBACK TO SAVEPOINT ") + kSavepoint);
    return result;
}

// Ends the savepoint of a block, after the casts or a failure rolled back
// to it.
void leaveSavepoint(const Caster& caster) {
    if (caster.inBlock && !isConnectionLost(caster.conn))
        runCommand(caster.conn, std::string("RELEASE SAVEPOINT ") + kSavepoint);
}

[[noreturn]] void raiseFailure(const Caster& caster, const PGresult* result) {
    leaveSavepoint(caster);
    raiseOnConnection(caster.conn, "copyFailed",
                      caster.label + ": the server could not convert the texts: " +
                          failureText(caster.conn, result),
                      result);
}

// The first row of [first, last) whose text the type refuses, when the
// range as a whole is refused: the casts are row by row, so that the first
// half of a refused range is refused or else its second half is.
size_t firstRefusedRow(const Caster& caster, size_t first, size_t last) {
    while (last - first > 1) {
        size_t middle = first + (last - first) / 2;
        ResultOwner result = attempt(caster, first, middle);
        if (succeeded(result.get()))
            first = middle;
        else if (isRefusal(result.get()))
            last = middle;
        else
            raiseFailure(caster, result.get());
    }
    return first;
}

// The ordinal of result row `at`, 1 to `count`; 0 for anything else.
size_t ordinalAt(const PGresult* rows, int at, size_t count) {
    if (PQgetlength(rows, at, kOrdinal) != 8) return 0;
    uint64_t ordinal = loadBig64(PQgetvalue(rows, at, kOrdinal));
    return ordinal <= count ? static_cast<size_t>(ordinal) : 0;
}

// The slice of rows [first, last) from its result, which must hold each
// of its rows once, with its ordinal and a binary value.
CastSlice sliceOf(const Caster& caster, ResultOwner result, size_t first, size_t last) {
    const PGresult* rows = result.get();
    size_t count = last - first;
    bool whole = static_cast<size_t>(PQntuples(rows)) == count && PQnfields(rows) == 2 &&
                 PQfformat(rows, kOrdinal) == 1 && PQfformat(rows, kValue) == 1;
    bool inOrder = whole;
    for (size_t row = 0; inOrder && row < count; ++row)
        inOrder = ordinalAt(rows, static_cast<int>(row), count) == row + 1;
    CastSlice slice{first, std::move(result), {}};
    if (whole && !inOrder) {
        slice.rowOf.assign(count, -1);
        for (size_t row = 0; whole && row < count; ++row) {
            size_t ordinal = ordinalAt(rows, static_cast<int>(row), count);
            whole = ordinal > 0 && slice.rowOf[ordinal - 1] < 0;
            if (whole) slice.rowOf[ordinal - 1] = static_cast<int>(row);
        }
    }
    if (!whole)
        raiseError("copyFailed", "%s: the server's conversion of the texts returned other rows",
                   caster.label.c_str());
    return slice;
}

// Consecutive rows from `first` with at most kSliceBytes of texts, or the
// one row at `first`.
size_t sliceEnd(const CastTexts& texts, size_t first) {
    size_t rows = texts.starts.size() - 1;
    size_t last = first + 1;
    while (last < rows && texts.starts[last + 1] - texts.starts[first] <= kSliceBytes) ++last;
    return last;
}

}  // namespace

const char* castValue(const CastValues& values, size_t row, int& length) {
    auto after = std::upper_bound(
        values.slices.begin(), values.slices.end(), row,
        [](size_t wanted, const CastSlice& slice) { return wanted < slice.firstRow; });
    const CastSlice& slice = *(after - 1);
    size_t offset = row - slice.firstRow;
    int at = slice.rowOf.empty() ? static_cast<int>(offset) : slice.rowOf[offset];
    if (PQgetisnull(slice.result.get(), at, kValue)) return nullptr;
    length = PQgetlength(slice.result.get(), at, kValue);
    return PQgetvalue(slice.result.get(), at, kValue);
}

CastValues castTexts(PGconn* conn, const std::string& type, const CastTexts& texts,
                     const std::string& label) {
    Caster caster{conn, castStatement(type), texts, label,
                  PQtransactionStatus(conn) == PQTRANS_INTRANS};
    if (caster.inBlock) runCommand(conn, std::string("SAVEPOINT ") + kSavepoint);
    CastValues values;
    size_t rows = texts.starts.size() - 1;
    for (size_t first = 0; first < rows;) {
        size_t last = sliceEnd(texts, first);
        ResultOwner result = attempt(caster, first, last);
        if (!succeeded(result.get())) {
            if (!isRefusal(result.get()) || isConnectionLost(conn, result.get()))
                raiseFailure(caster, result.get());
            std::string words = serverErrorText(conn, result.get());
            size_t row = firstRefusedRow(caster, first, last);
            leaveSavepoint(caster);
            raiseError("badValue", "%s, row %zu: the server refuses the text: %s", label.c_str(),
                       row + 1, words.c_str());
        }
        values.slices.push_back(sliceOf(caster, std::move(result), first, last));
        first = last;
    }
    leaveSavepoint(caster);
    return values;
}

}  // namespace vorlex
