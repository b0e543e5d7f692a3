// SPDX-License-Identifier: BSD-3-Clause
// baseline_small.cpp - the yardstick for small queries and for what a held
// result costs: plain libpq, none of the module's checks or Octave arrays.
//
//   baseline_small queries TABLE COUNT    COUNT one-row lookups, timed
//   baseline_small results TABLE COUNT    COUNT 20-row results held at once
//
// Connects with the PG* variables.  "queries" runs `select id, x, label,
// taken from TABLE where id = $1` for id = 1..COUNT with PQexecParams, the
// id a binary int4 parameter and the result in binary, and converts the
// row into typed variables (int32, double, std::string, a date number)
// that go into a checksum, as small_query_bench.m does through the module;
// it reports the loop's time and the processor time it took.  A warm-up of
// 200 queries comes first.  "results" keeps COUNT results of
// `... where id <= 20` alive and measures the RSS they added.  Prints
// "baseline.<name> <value>" lines.
#include <arpa/inet.h>
#include <libpq-fe.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "baseline_common.hpp"

namespace {

using namespace baseline;

constexpr int kWarmUp = 200;
constexpr int kHeldRows = 20;

[[noreturn]] void fail(PGconn* conn, const char* what) {
    std::fprintf(stderr, "baseline_small: %s: %s", what, PQerrorMessage(conn));
    std::exit(1);
}

struct Row {
    int32_t id;
    double x;
    std::string label;
    double taken;
};

// One lookup: the id as a binary int4, the row converted as the module
// would convert it.
Row lookUp(PGconn* conn, const char* sql, int32_t id) {
    uint32_t wire = htonl(static_cast<uint32_t>(id));
    const char* values[] = {reinterpret_cast<const char*>(&wire)};
    const int lengths[] = {4}, formats[] = {1};
    const Oid types[] = {23};
    PGresult* result = PQexecParams(conn, sql, 1, types, values, lengths, formats, 1);
    if (PQresultStatus(result) != PGRES_TUPLES_OK || PQntuples(result) != 1) fail(conn, "lookup");
    Row row;
    row.id = static_cast<int32_t>(loadBig32(PQgetvalue(result, 0, 0)));
    row.x = loadBigDouble(PQgetvalue(result, 0, 1));
    row.label.assign(PQgetvalue(result, 0, 2), static_cast<size_t>(PQgetlength(result, 0, 2)));
    row.taken = kEpochDatenum +
                static_cast<double>(static_cast<int64_t>(loadBig64(PQgetvalue(result, 0, 3)))) /
                    kMicrosecondsPerDay;
    PQclear(result);
    return row;
}

void timeQueries(PGconn* conn, const std::string& table, int count) {
    std::string sql = "select id, x, label, taken from " + table + " where id = $1";
    for (int i = 1; i <= std::min(kWarmUp, count); ++i) lookUp(conn, sql.c_str(), i);
    double checksum = 0;
    std::clock_t cpuStart = std::clock();
    auto start = std::chrono::steady_clock::now();
    for (int i = 1; i <= count; ++i) {
        Row row = lookUp(conn, sql.c_str(), i);
        checksum += row.id + row.x + static_cast<double>(row.label.size()) + row.taken;
    }
    std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    double cpu = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    std::printf("baseline.small_query_s %.6f\n", elapsed.count());
    std::printf("baseline.small_cpu_s %.6f\n", cpu);
    std::printf("baseline.small_queries %d\n", count);
    std::printf("baseline.small_checksum %.6f\n", checksum);
}

void holdResults(PGconn* conn, const std::string& table, int count) {
    std::string sql =
        "select id, x, label, taken from " + table + " where id <= " + std::to_string(kHeldRows);
    std::vector<PGresult*> held;
    held.reserve(static_cast<size_t>(count));
    PQclear(PQexecParams(conn, sql.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 1));
    long long before = statusBytes("VmRSS:");
    for (int i = 0; i < count; ++i) {
        PGresult* result =
            PQexecParams(conn, sql.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 1);
        if (PQntuples(result) != kHeldRows) fail(conn, "held result");
        held.push_back(result);
    }
    long long growth = statusBytes("VmRSS:") - before;
    std::printf("baseline.result_handle_bytes %lld\n", growth / count);
    for (PGresult* result : held) PQclear(result);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4 ||
        (std::strcmp(argv[1], "queries") != 0 && std::strcmp(argv[1], "results") != 0)) {
        std::fprintf(stderr, "usage: baseline_small queries|results TABLE COUNT\n");
        return 2;
    }
    PGconn* conn = PQconnectdb("");
    if (PQstatus(conn) != CONNECTION_OK) fail(conn, "connect");
    int count = std::atoi(argv[3]);
    if (std::strcmp(argv[1], "queries") == 0)
        timeQueries(conn, argv[2], count);
    else
        holdResults(conn, argv[2], count);
    PQfinish(conn);
    return 0;
}
