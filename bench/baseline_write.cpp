// SPDX-License-Identifier: BSD-3-Clause
// baseline_write.cpp - the yardsticks for batchExec: plain libpq inserts the
// benchmark rows into empty tables two ways, with none of the module's
// checks or Octave arrays.
//
//   baseline_write SCALAR_TABLE ARRAY_TABLE ROWS ARRAY_ROWS REPS
//
// - pipeline: one prepared INSERT run once per row in a libpq pipeline, with
//   binary parameters, sending and reading interleaved on a non-blocking
//   connection (what batchExec does);
// - copy: COPY FROM STDIN in the binary format, sent in 1 MiB chunks (the
//   fastest way in, with no per-row statement at all).
//
// SCALAR_TABLE is (id int4, x float8, label text, taken timestamp) and gets
// ROWS rows; ARRAY_TABLE is (a int4[], b float8[]) and gets ARRAY_ROWS rows
// of ten elements each.  The rows are generated first; only the inserts are
// timed, each into a table truncated just before.  Connects with the PG*
// variables and prints "baseline.<name> <value>" lines: the best of REPS
// times in seconds.
#include <libpq-fe.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Type OIDs of the parameters, as pg_type has them.
constexpr Oid kInt4 = 23, kFloat8 = 701, kText = 25, kTimestamp = 1114;
constexpr Oid kInt4Array = 1007, kFloat8Array = 1022;
constexpr int kArrayLength = 10;
// Binary array frame: ndim, has-null flag, element OID, then extent and
// lower bound of the one dimension; then per element its length and bytes.
constexpr int kArrayHeader = 20;
constexpr int kInt4ArrayBytes = kArrayHeader + kArrayLength * (4 + 4);
constexpr int kFloat8ArrayBytes = kArrayHeader + kArrayLength * (4 + 8);
constexpr size_t kCopyChunk = 1 << 20;
// Rows queued per turn of the pipeline loop before looking at the socket.
constexpr int kSendBatch = 256;

// Rows i = 1..n as typed columns, made deterministically from i.  The label
// is 10-20 letters of the alphabet written twice, starting at letter i % 26.
struct ScalarRows {
    std::vector<int32_t> id;
    std::vector<double> x;
    std::vector<std::string> label;
    std::vector<int64_t> taken;  // microseconds since 2000-01-01
};

// Row r's arrays are a[r * 10 ..] = i .. i+9 and b likewise (i+k) / 7.
struct ArrayRows {
    size_t rows = 0;
    std::vector<int32_t> a;
    std::vector<double> b;
};

ScalarRows makeScalarRows(int n) {
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyz";
    ScalarRows rows;
    rows.id.resize(n);
    rows.x.resize(n);
    rows.label.resize(n);
    rows.taken.resize(n);
    for (int r = 0; r < n; ++r) {
        int i = r + 1;
        rows.id[r] = i;
        rows.x[r] = i / 7.0;
        rows.label[r].assign(alphabet + i % 26, 10 + i % 11);
        rows.taken[r] = int64_t{i} * 1000000;
    }
    return rows;
}

ArrayRows makeArrayRows(int n) {
    ArrayRows rows;
    rows.rows = n;
    rows.a.resize(size_t(n) * kArrayLength);
    rows.b.resize(size_t(n) * kArrayLength);
    for (int r = 0; r < n; ++r)
        for (int k = 0; k < kArrayLength; ++k) {
            rows.a[size_t(r) * kArrayLength + k] = r + 1 + k;
            rows.b[size_t(r) * kArrayLength + k] = (r + 1 + k) / 7.0;
        }
    return rows;
}

// Big-endian stores; each returns the position just past what it wrote.
char* put16(char* out, uint16_t v) {
    out[0] = char(v >> 8);
    out[1] = char(v);
    return out + 2;
}
char* put32(char* out, uint32_t v) {
    out[0] = char(v >> 24);
    out[1] = char(v >> 16);
    out[2] = char(v >> 8);
    out[3] = char(v);
    return out + 4;
}
char* put64(char* out, uint64_t v) { return put32(put32(out, uint32_t(v >> 32)), uint32_t(v)); }
char* putDouble(char* out, double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return put64(out, bits);
}

char* putInt4Array(char* out, const int32_t* values) {
    out = put32(put32(put32(out, 1), 0), kInt4);
    out = put32(put32(out, kArrayLength), 1);
    for (int k = 0; k < kArrayLength; ++k) out = put32(put32(out, 4), uint32_t(values[k]));
    return out;
}

char* putFloat8Array(char* out, const double* values) {
    out = put32(put32(put32(out, 1), 0), kFloat8);
    out = put32(put32(out, kArrayLength), 1);
    for (int k = 0; k < kArrayLength; ++k) out = putDouble(put32(out, 8), values[k]);
    return out;
}

[[noreturn]] void fail(PGconn* conn, const char* what) {
    std::fprintf(stderr, "baseline_write: %s: %s", what, PQerrorMessage(conn));
    std::exit(1);
}

void expect(PGconn* conn, PGresult* result, ExecStatusType status, const char* what) {
    if (PQresultStatus(result) != status) {
        std::fprintf(stderr, "baseline_write: %s: %s %s", what, PQresStatus(PQresultStatus(result)),
                     PQresultErrorMessage(result));
        PQclear(result);
        PQfinish(conn);
        std::exit(1);
    }
}

void run(PGconn* conn, const std::string& sql) {
    PGresult* result = PQexec(conn, sql.c_str());
    expect(conn, result, PGRES_COMMAND_OK, sql.c_str());
    PQclear(result);
}

// Prepares SQL once, then runs it for rows 0..ROWS-1 in one pipeline ended by
// one sync.  ENCODE(row, values, lengths) points at the row's binary
// parameters, in a scratch buffer or the row's own bytes, valid until its
// next call.  The socket is polled for both directions throughout: queries
// are queued while it takes them, and results are read as they arrive, so
// neither side's buffers fill up and nothing waits for the round trip.
template <typename RowEncoder>
void insertPipelined(PGconn* conn, const std::string& sql, const std::vector<Oid>& types, int rows,
                     const RowEncoder& encode) {
    const int n = int(types.size());
    std::vector<const char*> values(n);
    std::vector<int> lengths(n);
    const std::vector<int> formats(n, 1);

    if (PQsetnonblocking(conn, 1) != 0) fail(conn, "PQsetnonblocking");
    if (!PQenterPipelineMode(conn)) fail(conn, "PQenterPipelineMode");
    if (!PQsendPrepare(conn, "", sql.c_str(), n, types.data())) fail(conn, "PQsendPrepare");

    // Statements queued whose results are not all read; each ends with a
    // NULL from PQgetResult, except the sync, which ends with its own result.
    long pending = 1;
    long succeeded = 0;  // the prepare, then one per row
    int next = 0;
    bool synced = false, wantWrite = false;
    const int socket = PQsocket(conn);
    while (!synced) {
        pollfd fd = {socket, POLLIN, 0};
        if (wantWrite || next <= rows) fd.events |= POLLOUT;
        if (poll(&fd, 1, -1) < 0) fail(conn, "poll");

        if (fd.revents & (POLLOUT | POLLERR | POLLHUP)) {
            if (!wantWrite && next < rows) {
                for (int end = std::min(rows, next + kSendBatch); next < end; ++next, ++pending) {
                    encode(next, values.data(), lengths.data());
                    if (!PQsendQueryPrepared(conn, "", n, values.data(), lengths.data(),
                                             formats.data(), 1))
                        fail(conn, "PQsendQueryPrepared");
                }
            } else if (!wantWrite && next == rows) {
                if (!PQpipelineSync(conn)) fail(conn, "PQpipelineSync");
                ++next;
                ++pending;
            }
            int flushed = PQflush(conn);
            if (flushed < 0) fail(conn, "PQflush");
            wantWrite = flushed == 1;
        }

        if (fd.revents & (POLLIN | POLLERR | POLLHUP)) {
            if (!PQconsumeInput(conn)) fail(conn, "PQconsumeInput");
            while (pending > 0 && !PQisBusy(conn)) {
                PGresult* result = PQgetResult(conn);
                if (!result) {
                    --pending;
                } else if (PQresultStatus(result) == PGRES_PIPELINE_SYNC) {
                    PQclear(result);
                    --pending;
                    synced = true;
                } else {
                    expect(conn, result, PGRES_COMMAND_OK, "pipelined insert");
                    PQclear(result);
                    ++succeeded;
                }
            }
        }
    }
    if (succeeded != rows + 1L) {
        std::fprintf(stderr, "baseline_write: %ld inserts succeeded of %d\n", succeeded - 1, rows);
        std::exit(1);
    }
    if (!PQexitPipelineMode(conn)) fail(conn, "PQexitPipelineMode");
    if (PQsetnonblocking(conn, 0) != 0) fail(conn, "PQsetnonblocking");
}

// COPY TABLE FROM STDIN in the binary format: the header, one tuple per row
// and the trailer, sent whenever a chunk is full.  ENCODE(row, out) writes
// the row's tuple (field count, then length and bytes per field), at most
// MAXTUPLE bytes, and returns the position past it.
template <typename TupleEncoder>
void insertCopy(PGconn* conn, const std::string& table, int rows, size_t maxTuple,
                const TupleEncoder& encode) {
    PGresult* result = PQexec(conn, ("copy " + table + " from stdin (format binary)").c_str());
    expect(conn, result, PGRES_COPY_IN, "copy");
    PQclear(result);

    std::vector<char> chunk(kCopyChunk + maxTuple);
    static const char signature[] = "PGCOPY\n\377\r\n";  // and the terminating NUL: 11 bytes
    char* out = std::copy(signature, signature + sizeof signature, chunk.data());
    out = put32(put32(out, 0), 0);  // flags, header extension length
    for (int r = 0; r < rows; ++r) {
        out = encode(r, out);
        if (size_t(out - chunk.data()) >= kCopyChunk) {
            if (PQputCopyData(conn, chunk.data(), int(out - chunk.data())) != 1)
                fail(conn, "PQputCopyData");
            out = chunk.data();
        }
    }
    out = put16(out, 0xffff);  // trailer: field count -1
    if (PQputCopyData(conn, chunk.data(), int(out - chunk.data())) != 1 ||
        PQputCopyEnd(conn, nullptr) != 1)
        fail(conn, "PQputCopyEnd");

    result = PQgetResult(conn);
    expect(conn, result, PGRES_COMMAND_OK, "copy");
    if (std::atol(PQcmdTuples(result)) != rows) {
        std::fprintf(stderr, "baseline_write: copy stored %s rows of %d\n", PQcmdTuples(result),
                     rows);
        std::exit(1);
    }
    PQclear(result);
    while ((result = PQgetResult(conn))) PQclear(result);
}

// The best of REPS runs of INSERT, each into TABLE emptied just before.
template <typename Insert>
double best(PGconn* conn, const std::string& table, int reps, const Insert& insert) {
    double fastest = 1e300;
    for (int rep = 0; rep < reps; ++rep) {
        run(conn, "truncate " + table);
        auto start = std::chrono::steady_clock::now();
        insert();
        fastest = std::min(
            fastest,
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return fastest;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: %s SCALAR_TABLE ARRAY_TABLE ROWS ARRAY_ROWS REPS\n", argv[0]);
        return 2;
    }
    const std::string scalarTable = argv[1], arrayTable = argv[2];
    const int rows = std::atoi(argv[3]), arrayRows = std::atoi(argv[4]), reps = std::atoi(argv[5]);

    PGconn* conn = PQconnectdb("");
    if (PQstatus(conn) != CONNECTION_OK) fail(conn, "connect");

    // Scalar rows: int4 and float8 big-endian, text as its bytes, timestamp
    // as int64 microseconds.
    const ScalarRows s = makeScalarRows(rows);
    char scratch[4 + 8 + 8];
    auto scalarParams = [&](int r, const char** values, int* lengths) {
        put32(scratch, uint32_t(s.id[r]));
        putDouble(scratch + 4, s.x[r]);
        put64(scratch + 12, uint64_t(s.taken[r]));
        values[0] = scratch, lengths[0] = 4;
        values[1] = scratch + 4, lengths[1] = 8;
        values[2] = s.label[r].data(), lengths[2] = int(s.label[r].size());
        values[3] = scratch + 12, lengths[3] = 8;
    };
    auto scalarTuple = [&](int r, char* out) {
        out = put32(put32(put16(out, 4), 4), uint32_t(s.id[r]));
        out = putDouble(put32(out, 8), s.x[r]);
        out = put32(out, uint32_t(s.label[r].size()));
        out = std::copy(s.label[r].begin(), s.label[r].end(), out);
        return put64(put32(out, 8), uint64_t(s.taken[r]));
    };
    const std::string scalarInsert = "insert into " + scalarTable + " values ($1, $2, $3, $4)";
    double pipeline = best(conn, scalarTable, reps, [&] {
        insertPipelined(conn, scalarInsert, {kInt4, kFloat8, kText, kTimestamp}, rows,
                        scalarParams);
    });
    double copy = best(conn, scalarTable, reps, [&] {
        insertCopy(conn, scalarTable, rows, 2 + 4 * 4 + 4 + 8 + 20 + 8, scalarTuple);
    });

    const ArrayRows a = makeArrayRows(arrayRows);
    char arrays[kInt4ArrayBytes + kFloat8ArrayBytes];
    auto arrayParams = [&](int r, const char** values, int* lengths) {
        putInt4Array(arrays, &a.a[size_t(r) * kArrayLength]);
        putFloat8Array(arrays + kInt4ArrayBytes, &a.b[size_t(r) * kArrayLength]);
        values[0] = arrays, lengths[0] = kInt4ArrayBytes;
        values[1] = arrays + kInt4ArrayBytes, lengths[1] = kFloat8ArrayBytes;
    };
    auto arrayTuple = [&](int r, char* out) {
        out = putInt4Array(put32(put16(out, 2), kInt4ArrayBytes), &a.a[size_t(r) * kArrayLength]);
        return putFloat8Array(put32(out, kFloat8ArrayBytes), &a.b[size_t(r) * kArrayLength]);
    };
    const std::string arrayInsert = "insert into " + arrayTable + " values ($1, $2)";
    double arrayPipeline = best(conn, arrayTable, reps, [&] {
        insertPipelined(conn, arrayInsert, {kInt4Array, kFloat8Array}, arrayRows, arrayParams);
    });
    double arrayCopy = best(conn, arrayTable, reps, [&] {
        insertCopy(conn, arrayTable, arrayRows, 2 + 8 + kInt4ArrayBytes + kFloat8ArrayBytes,
                   arrayTuple);
    });
    PQfinish(conn);

    std::printf("baseline.rows %d\n", rows);
    std::printf("baseline.array_rows %d\n", arrayRows);
    std::printf("baseline.pipeline_s %.6f\n", pipeline);
    std::printf("baseline.copy_s %.6f\n", copy);
    std::printf("baseline.array_pipeline_s %.6f\n", arrayPipeline);
    std::printf("baseline.array_copy_s %.6f\n", arrayCopy);
    return 0;
}
