// SPDX-License-Identifier: BSD-3-Clause
// baseline_read.cpp - the yardstick for resultGet and copyOut: plain libpq
// reads the benchmark table in binary and converts every field into typed
// C++ vectors, with none of the module's checks or Octave arrays.
//
//   baseline_read TABLE REPS
//   baseline_read TABLE REPS query|rows
//
// Connects with the PG* variables and reads the table REPS times two ways,
// taking turns: a query with binary results (PQexecParams), converted once
// the whole result is in, and COPY (query) TO STDOUT in the binary format,
// converted row by row as the rows arrive.  Prints "baseline.<name>
// <value>" lines: the best fetch (query and transfer) and conversion times
// of the query and the best time of the COPY in seconds, and memory in
// bytes measured on the first repetition, before anything was freed for
// reuse.  Both ways must convert the same values.
//
// With a third argument it reads the first four columns alone, one way,
// for bench/run_stream.sh: "query" as above (fetch and conversion timed
// together), "rows" in libpq's single-row mode, each row converted as it
// arrives.  It prints "baseline.<way>.<name> <value>" lines: the best time,
// the checksum (the same for both ways) and the peak RSS growth.
#include <libpq-fe.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "baseline_common.hpp"

namespace {

using namespace baseline;

constexpr int kMaxDims = 6;

// One int4[] value: its elements in the server's order and its shape.
struct IntArray {
    std::vector<int32_t> values;
    int ndims = 0;
    int dims[kMaxDims] = {};
};

constexpr int kColumns = 5;

// The typed columns, each with a row-is-NULL flag per row; the first
// `width` of them are read.
struct Columns {
    int width = kColumns;
    std::vector<int32_t> id;
    std::vector<double> x;
    std::vector<std::string> label;
    std::vector<double> taken;
    std::vector<IntArray> vals;
    std::vector<uint8_t> isNull[kColumns];

    size_t rows() const { return id.size(); }
    void resize(size_t rows) {
        id.resize(rows);
        x.resize(rows);
        label.resize(rows);
        taken.resize(rows);
        vals.resize(rows);
        for (auto& flags : isNull) flags.resize(rows);
    }
};

// The binary array frame: ndim, has-null, element OID, (extent, lower
// bound) per dimension, then (length, bytes) per element, -1 for NULL.
// Trusts the server, as a hand-written reader typically would.
void decodeIntArray(const char* in, IntArray& out) {
    out.ndims = static_cast<int>(loadBig32(in));
    in += 12;
    size_t count = out.ndims ? 1 : 0;
    for (int d = 0; d < out.ndims && d < kMaxDims; ++d, in += 8) {
        out.dims[d] = static_cast<int>(loadBig32(in));
        count *= static_cast<size_t>(out.dims[d]);
    }
    out.values.resize(count);
    for (size_t k = 0; k < count; ++k) {
        auto length = static_cast<int32_t>(loadBig32(in));
        in += 4;
        if (length < 0) continue;  // NULL element: left 0
        out.values[k] = static_cast<int32_t>(loadBig32(in));
        in += length;
    }
}

// Fills row r of the columns.  VALUE(f) is field f's binary value, a null
// pointer for NULL, and LENGTH(f) its length in bytes (asked for the text
// alone).
template <typename Value, typename Length>
void convertRow(size_t r, const Value& value, const Length& length, Columns& c) {
    const char* fields[kColumns] = {};
    for (int f = 0; f < c.width; ++f) {
        fields[f] = value(f);
        c.isNull[f][r] = !fields[f];
    }
    if (fields[0]) c.id[r] = static_cast<int32_t>(loadBig32(fields[0]));
    if (fields[1]) c.x[r] = loadBigDouble(fields[1]);
    if (fields[2]) c.label[r].assign(fields[2], length(2));
    if (fields[3]) {
        auto micros = static_cast<int64_t>(loadBig64(fields[3]));
        c.taken[r] = static_cast<double>(micros) / kMicrosecondsPerDay + kEpochDatenum;
    }
    if (fields[4]) decodeIntArray(fields[4], c.vals[r]);
}

void convert(const PGresult* result, Columns& c) {
    int rows = PQntuples(result);
    c.resize(rows);
    for (int r = 0; r < rows; ++r)
        convertRow(
            r,
            [&](int f) { return PQgetisnull(result, r, f) ? nullptr : PQgetvalue(result, r, f); },
            [&](int f) { return PQgetlength(result, r, f); }, c);
}

[[noreturn]] void fail(PGconn* conn, const char* what) {
    std::fprintf(stderr, "baseline_read: %s: %s", what, PQerrorMessage(conn));
    std::exit(1);
}

// Runs COPY (SQL) TO STDOUT in the binary format and converts each row as
// it arrives.  The stream is the 11-byte signature, int32 flags, an int32
// header extension length and the extension, then per row an int16 field
// count, and per field an int32 length (-1 for NULL) and the bytes; a field
// count of -1 ends it.  The server sends the header with the first row and
// each row in a message of its own, so a row is never split between
// messages; a message may hold several.  Returns the rows that COPY
// reported.
long long copyRead(PGconn* conn, const std::string& sql, Columns& c) {
    static const char signature[] = "PGCOPY\n\377\r\n";  // and the terminating NUL: 11 bytes
    constexpr int kHeader = sizeof signature + 4 + 4;
    PGresult* result = PQexec(conn, ("copy (" + sql + ") to stdout (format binary)").c_str());
    if (PQresultStatus(result) != PGRES_COPY_OUT) fail(conn, "copy");
    PQclear(result);

    size_t r = 0;
    bool header = true, ended = false;
    char* message;
    int length;
    while ((length = PQgetCopyData(conn, &message, 0)) > 0) {
        const char* in = message;
        const char* end = message + length;
        if (header) {
            if (length < kHeader || std::memcmp(in, signature, sizeof signature) != 0)
                fail(conn, "not a binary COPY stream");
            in += kHeader + loadBig32(in + kHeader - 4);
            header = false;
        }
        while (in < end && !ended) {
            auto count = static_cast<int16_t>(loadBig16(in));
            in += 2;
            if (count == -1) {
                ended = true;
                break;
            }
            if (count != c.width) fail(conn, "unexpected field count");
            const char* values[kColumns];
            int32_t lengths[kColumns];
            for (int f = 0; f < c.width; ++f) {
                lengths[f] = static_cast<int32_t>(loadBig32(in));
                values[f] = lengths[f] < 0 ? nullptr : in + 4;
                in += 4 + std::max(lengths[f], 0);
            }
            if (r == c.rows()) c.resize(std::max<size_t>(1024, 2 * r));
            convertRow(
                r++, [&](int f) { return values[f]; }, [&](int f) { return lengths[f]; }, c);
        }
        if (in != end) fail(conn, "a row runs past its COPY message");
        PQfreemem(message);
    }
    if (length == -2 || !ended) fail(conn, "copy data");
    c.resize(r);

    result = PQgetResult(conn);
    if (PQresultStatus(result) != PGRES_COMMAND_OK) fail(conn, "copy");
    long long reported = std::atoll(PQcmdTuples(result));
    PQclear(result);
    while ((result = PQgetResult(conn))) PQclear(result);
    return reported;
}

// Uses every converted value, so that no part of the conversion can be
// optimised away.
double sum(const Columns& c) {
    double total = 0;
    for (size_t r = 0; r < c.id.size(); ++r) {
        total += c.id[r] + c.x[r] + c.taken[r] + static_cast<double>(c.label[r].size());
        for (int32_t v : c.vals[r].values) total += v;
    }
    return total;
}

double since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Runs SQL in libpq's single-row mode with binary results and converts
// each row as its one-row result arrives, freeing that result at once: no
// PGresult holds the whole table.  Returns the rows the statement reported.
long long rowsRead(PGconn* conn, const std::string& sql, Columns& c) {
    if (!PQsendQueryParams(conn, sql.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 1) ||
        !PQsetSingleRowMode(conn))
        fail(conn, "single-row query");
    size_t r = 0;
    long long reported = -1;
    while (PGresult* result = PQgetResult(conn)) {
        switch (PQresultStatus(result)) {
            case PGRES_SINGLE_TUPLE:
                if (r == c.rows()) c.resize(std::max<size_t>(1024, 2 * r));
                convertRow(
                    r++,
                    [&](int f) {
                        return PQgetisnull(result, 0, f) ? nullptr : PQgetvalue(result, 0, f);
                    },
                    [&](int f) { return PQgetlength(result, 0, f); }, c);
                break;
            case PGRES_TUPLES_OK:
                reported = std::atoll(PQcmdTuples(result));
                break;
            default:
                fail(conn, "single-row query");
        }
        PQclear(result);
    }
    c.resize(r);
    return reported;
}

// Reads SQL REPS times the one WAY ("query" or "rows") into the first four
// columns and prints the best time, the checksum and the peak RSS growth.
void readOneWay(PGconn* conn, const std::string& sql, int reps, const std::string& way) {
    double best = 1e300, checksum = 0;
    long long rssStart = statusBytes("VmRSS:"), resultBytes = 0, rows = 0;
    for (int rep = 0; rep < reps; ++rep) {
        Columns columns;
        columns.width = 4;
        auto start = std::chrono::steady_clock::now();
        if (way == "query") {
            PGresult* result =
                PQexecParams(conn, sql.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 1);
            if (PQresultStatus(result) != PGRES_TUPLES_OK) fail(conn, "query");
            if (rep == 0) resultBytes = statusBytes("VmRSS:") - rssStart;
            convert(result, columns);
            best = std::min(best, since(start));
            rows = PQntuples(result);
            PQclear(result);  // outside the timing, as the whole-result way above
        } else {
            rows = rowsRead(conn, sql, columns);
            best = std::min(best, since(start));
        }
        if (static_cast<long long>(columns.rows()) != rows) fail(conn, "rows lost");
        checksum = sum(columns);
    }
    std::string name = "baseline." + way + ".";
    std::printf("%srows %lld\n", name.c_str(), rows);
    std::printf("%sread_s %.6f\n", name.c_str(), best);
    std::printf("%schecksum %.17g\n", name.c_str(), checksum);
    std::printf("%sresult_bytes %lld\n", name.c_str(), resultBytes);
    std::printf("%speak_growth_bytes %lld\n", name.c_str(), statusBytes("VmHWM:") - rssStart);
}

}  // namespace

int main(int argc, char** argv) {
    std::string way = argc == 4 ? argv[3] : "";
    if ((argc != 3 && argc != 4) || (argc == 4 && way != "query" && way != "rows")) {
        std::fprintf(stderr, "usage: %s TABLE REPS [query|rows]\n", argv[0]);
        return 2;
    }
    std::string sql = std::string("select id, x, label, taken, vals from ") + argv[1];
    int reps = std::atoi(argv[2]);

    PGconn* conn = PQconnectdb("");
    if (PQstatus(conn) != CONNECTION_OK) fail(conn, "connect");
    if (!way.empty()) {
        readOneWay(conn, std::string("select id, x, label, taken from ") + argv[1], reps, way);
        PQfinish(conn);
        return 0;
    }

    double bestFetch = 1e300, bestConvert = 1e300, bestCopy = 1e300, checksum = 0;
    long long rssStart = statusBytes("VmRSS:"), resultBytes = 0, rows = 0;
    for (int rep = 0; rep < reps; ++rep) {
        auto start = std::chrono::steady_clock::now();
        PGresult* result =
            PQexecParams(conn, sql.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 1);
        double fetch = since(start);
        if (PQresultStatus(result) != PGRES_TUPLES_OK) {
            std::fprintf(stderr, "baseline_read: %s", PQresultErrorMessage(result));
            return 1;
        }
        if (rep == 0) resultBytes = statusBytes("VmRSS:") - rssStart;
        rows = PQntuples(result);

        start = std::chrono::steady_clock::now();
        {
            Columns columns;
            convert(result, columns);
            bestConvert = std::min(bestConvert, since(start));
            checksum = sum(columns);
        }  // the columns are freed outside the timing, with the result
        PQclear(result);
        bestFetch = std::min(bestFetch, fetch);

        start = std::chrono::steady_clock::now();
        {
            Columns columns;
            long long copied = copyRead(conn, sql, columns);
            bestCopy = std::min(bestCopy, since(start));
            double copySum = sum(columns);
            if (copied != rows || static_cast<long long>(columns.rows()) != rows ||
                copySum != checksum) {
                std::fprintf(stderr,
                             "baseline_read: COPY gave %zu rows (reported %lld), checksum %.17g; "
                             "the query %lld rows, checksum %.17g\n",
                             columns.rows(), copied, copySum, rows, checksum);
                return 1;
            }
        }
    }
    PQfinish(conn);

    std::printf("baseline.rows %lld\n", rows);
    std::printf("baseline.fetch_s %.6f\n", bestFetch);
    std::printf("baseline.convert_s %.6f\n", bestConvert);
    std::printf("baseline.copy_s %.6f\n", bestCopy);
    std::printf("baseline.checksum %.17g\n", checksum);
    std::printf("baseline.result_bytes %lld\n", resultBytes);
    std::printf("baseline.peak_growth_bytes %lld\n", statusBytes("VmHWM:") - rssStart);
    std::printf("baseline.peak_rss_bytes %lld\n", statusBytes("VmHWM:"));
    return 0;
}
