#!/bin/sh
# SPDX-License-Identifier: BSD-3-Clause
# Benchmarks small queries and held results against plain libpq in one run:
# one-row lookups through paramPut/paramExec/resultGet/clear against a
# PQexecParams loop, and the memory a live result handle costs against a
# PGresult's.
#
#   bench/run_small.sh [BUILD_DIR]     (make bench runs it with a server)
#
# BENCH_QUERIES (default 10000) lookups per side, in BENCH_ROUNDS (default
# 10) rounds in which the sides take turns; each round gives a ratio, and
# the table shows them all.  BENCH_HANDLES (default
# 10000) results are held for the memory figures.  The table is unlogged,
# named after this process, and dropped at the end.
set -eu

queries=${BENCH_QUERIES:-10000}
rounds=${BENCH_ROUNDS:-10}
handles=${BENCH_HANDLES:-10000}
table="vorlex_small_$$"
tables=$table
. "$(dirname "$0")/common.sh"

rows=$((queries > 20 ? queries : 20))
echo "creating $table: $rows rows (int4 primary key, float8, text, timestamp)"
make_table "$table" "$rows"
psql_run "alter table $table add primary key (id)"
psql_run "vacuum analyze $table"

echo "memory: $handles live 20-row results, libpq and each command in a process of its own"
"$build/baseline_small" results "$table" "$handles" >>"$numbers"
for command in exec paramExec execText; do
    run_octave "result_memory_bench('$table', '$command', $handles)" >>"$numbers"
done

echo "$queries one-row lookups per side in $rounds rounds, the sides taking turns"
run_octave "small_query_bench('$table', $queries, $rounds, '$build/baseline_small')" >>"$numbers"

awk -v rounds="$rounds" -v handles="$handles" '
{ v[$1] = $2 }
function us(s, n) { return s / n * 1e6 }
# Sorts a[1..n] in place (insertion sort: a handful of rounds) and prints
# its median, least and greatest.
function spread(label, a, n,    i, j, t, median) {
    for (i = 2; i <= n; ++i)
        for (j = i; j > 1 && a[j - 1] > a[j]; --j) { t = a[j]; a[j] = a[j - 1]; a[j - 1] = t }
    median = n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
    printf "%s: median %.2f, min %.2f, max %.2f\n", label, median, a[1], a[n]
}
END {
    n = v["1.baseline.small_queries"]
    printf "\n%d one-row lookups (int4 key -> int4, float8, text, timestamp) per side and round;\n", n
    printf "times in microseconds per lookup: elapsed, and processor time of the process\n"
    printf "%-6s %8s %8s %8s %8s %8s %8s %7s %8s %7s\n", "round", "libpq", "vorlex", "floor", "query",
           "libpq", "vorlex", "ratio", "beyond", "query"
    printf "%-6s %8s %8s %8s %8s %8s %8s %7s %8s %7s\n", "", "", "", "", "", "cpu", "cpu", "", "floor",
           "ratio"
    for (r = 1; r <= rounds; ++r) {
        b = v[r ".baseline.small_query_s"]; m = v[r ".vorlex.small_query_s"]
        f = v[r ".vorlex.small_floor_s"]; q = v[r ".vorlex.small_one_call_s"]
        bc = v[r ".baseline.small_cpu_s"]; mc = v[r ".vorlex.small_cpu_s"]
        if (v[r ".vorlex.small_checksum"] != v[r ".baseline.small_checksum"]) {
            printf "round %d: the checksums differ (vorlex %s, libpq %s)\n", r,
                   v[r ".vorlex.small_checksum"], v[r ".baseline.small_checksum"]
            differ = 1
        }
        ratio[r] = m / b; beyond[r] = (m - f) / b; one[r] = q / b
        tb += b; tm += m; tf += f; tq += q; tbc += bc; tmc += mc
        printf "%-6d %8.1f %8.1f %8.1f %8.1f %8.1f %8.1f %7.2f %8.2f %7.2f\n", r, us(b, n), us(m, n),
               us(f, n), us(q, n), us(bc, n), us(mc, n), ratio[r], beyond[r], one[r]
    }
    printf "%-6s %8.1f %8.1f %8.1f %8.1f %8.1f %8.1f %7.2f %8.2f %7.2f\n", "all", us(tb, n * rounds),
           us(tm, n * rounds), us(tf, n * rounds), us(tq, n * rounds), us(tbc, n * rounds),
           us(tmc, n * rounds), tm / tb, (tm - tf) / tb, tq / tb
    spread("ratio vorlex / libpq per round (target <= 1.5)", ratio, rounds)
    spread("ratio (vorlex - floor) / libpq per round", beyond, rounds)
    spread("ratio query / libpq per round (one call a lookup)", one, rounds)
    print "floor: the same loop with five calls of the cheapest command (paramCount), what"
    print "the host charges per lookup for calling a module five times; beyond floor:"
    print "(vorlex - floor) / libpq"

    base = v["baseline.result_handle_bytes"]
    printf "\nmemory per live 20-row result (RSS growth over %d results)\n", handles
    printf "  %-22s %10d bytes\n", "libpq PGresult", base
    split("exec paramExec execText", commands, " ")
    for (i = 1; i <= 3; ++i) {
        bytes = v["vorlex.result_handle_bytes." commands[i]]
        printf "  %-22s %10d bytes, %6d beyond the PGresult\n", commands[i] " handle", bytes,
               bytes - base
    }
    printf "target: under 4096 bytes beyond the PGresult\n"
    if (differ) exit 1
}' "$numbers"
