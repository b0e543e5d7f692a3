// baseline_read.cpp - the yardstick for resultGet: plain libpq reads the
// benchmark table in binary and converts every field into typed C++
// vectors, with none of the module's checks or Octave arrays.
//
//   baseline_read TABLE REPS
//
// Connects with the PG* variables, runs the query REPS times and prints
// "baseline.<name> <value>" lines: the best fetch (query and transfer) and
// conversion times in seconds, and memory in bytes measured on the first
// repetition, before anything was freed for reuse.
#include <libpq-fe.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

// Octave date number of 2000-01-01, PostgreSQL's epoch.
constexpr double kEpochDatenum = 730486.0;
constexpr double kMicrosecondsPerDay = 86400e6;
constexpr int kMaxDims = 6;

uint32_t loadBig32(const char* in) {
    auto* p = reinterpret_cast<const unsigned char*>(in);
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

uint64_t loadBig64(const char* in) { return (uint64_t{loadBig32(in)} << 32) | loadBig32(in + 4); }

double loadBigDouble(const char* in) {
    uint64_t bits = loadBig64(in);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// One int4[] value: its elements in the server's order and its shape.
struct IntArray {
    std::vector<int32_t> values;
    int ndims = 0;
    int dims[kMaxDims] = {};
};

// The typed columns, each with a row-is-NULL flag per row.
struct Columns {
    std::vector<int32_t> id;
    std::vector<double> x;
    std::vector<std::string> label;
    std::vector<double> taken;
    std::vector<IntArray> vals;
    std::vector<uint8_t> isNull[5];
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

void convert(const PGresult* result, Columns& c) {
    int rows = PQntuples(result);
    c.id.resize(rows);
    c.x.resize(rows);
    c.label.resize(rows);
    c.taken.resize(rows);
    c.vals.resize(rows);
    for (auto& flags : c.isNull) flags.assign(rows, 0);
    for (int r = 0; r < rows; ++r) {
        for (int f = 0; f < 5; ++f) c.isNull[f][r] = PQgetisnull(result, r, f);
        if (!c.isNull[0][r]) c.id[r] = static_cast<int32_t>(loadBig32(PQgetvalue(result, r, 0)));
        if (!c.isNull[1][r]) c.x[r] = loadBigDouble(PQgetvalue(result, r, 1));
        if (!c.isNull[2][r]) c.label[r].assign(PQgetvalue(result, r, 2), PQgetlength(result, r, 2));
        if (!c.isNull[3][r]) {
            auto micros = static_cast<int64_t>(loadBig64(PQgetvalue(result, r, 3)));
            c.taken[r] = static_cast<double>(micros) / kMicrosecondsPerDay + kEpochDatenum;
        }
        if (!c.isNull[4][r]) decodeIntArray(PQgetvalue(result, r, 4), c.vals[r]);
    }
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

// A "VmRSS:" or "VmHWM:" line of /proc/self/status, in bytes.
long long statusBytes(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.compare(0, std::strlen(key), key) == 0)
            return std::atoll(line.c_str() + std::strlen(key)) * 1024;
    return -1;
}

double since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s TABLE REPS\n", argv[0]);
        return 2;
    }
    std::string sql = std::string("select id, x, label, taken, vals from ") + argv[1];
    int reps = std::atoi(argv[2]);

    PGconn* conn = PQconnectdb("");
    if (PQstatus(conn) != CONNECTION_OK) {
        std::fprintf(stderr, "baseline_read: %s", PQerrorMessage(conn));
        return 1;
    }

    double bestFetch = 1e300, bestConvert = 1e300, checksum = 0;
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
    }
    PQfinish(conn);

    std::printf("baseline.rows %lld\n", rows);
    std::printf("baseline.fetch_s %.6f\n", bestFetch);
    std::printf("baseline.convert_s %.6f\n", bestConvert);
    std::printf("baseline.checksum %.17g\n", checksum);
    std::printf("baseline.result_bytes %lld\n", resultBytes);
    std::printf("baseline.peak_growth_bytes %lld\n", statusBytes("VmHWM:") - rssStart);
    std::printf("baseline.peak_rss_bytes %lld\n", statusBytes("VmHWM:"));
    return 0;
}
