#!/bin/sh
# SPDX-License-Identifier: BSD-3-Clause
# Benchmarks resultGet and copyOut against the plain libpq baselines in one
# run, on one table, and query against exec + resultGet, and prints the
# times, their ratios and the memory comparisons.
#
#   bench/run.sh [BUILD_DIR]       (make bench runs it with a server)
#
# BENCH_ROWS (default 1000000) and BENCH_REPS (default 3) set the table's
# size and how many rounds each side gets; the best round counts.  The table is
# unlogged, named after this process, and dropped at the end.
set -eu

rows=${BENCH_ROWS:-1000000}
reps=${BENCH_REPS:-3}
table="vorlex_bench_$$"
tables=$table
. "$(dirname "$0")/common.sh"

echo "creating $table: $rows rows (int4, float8, text, timestamp, int4[10])"
make_table "$table" "$rows" \
    "array[i, i + 1, i + 2, i + 3, i + 4, i + 5, i + 6, i + 7, i + 8, i + 9]::int4[] as vals"
# Sets the hint bits now, so that neither side's first read pays for them.
psql_run "vacuum analyze $table"

# The sides take turns, round by round, so that a slow spell of the shared
# machine or of the server falls on all of them; each side's best round
# counts, and the ratios of each round show the spread.  Every Octave run is
# a process of its own, so that each one's peak is measured in a process
# where nothing big was freed before.
echo "$rows rows, best of $reps rounds of: baseline (libpq query and binary COPY to C++ vectors),"
echo "  vorlex exec with resultGet, and copyOut with exec and resultGet, all columns, then the fixed-width ones,"
echo "  and query with exec and resultGet (int4, float8, text, timestamp)"
for round in $(seq "$reps"); do
    echo "  round $round"
    "$build/baseline_read" "$table" 1 >>"$numbers"
    run_octave "result_get_bench('$table', 1)" >>"$numbers"
    run_octave "copy_out_bench('$table', 1, 'all')" >>"$numbers"
    run_octave "copy_out_bench('$table', 1, 'fixed')" >>"$numbers"
    run_octave "query_bench('$table', 1)" >>"$numbers"
done

awk '
# Times (names with "_s" at the end or before a last part) keep the best
# round, the rest the first; every round of each is kept in order for the
# spread of the ratios.
{ n[$1]++; at[$1, n[$1]] = $2 }
$1 ~ /_s($|[.])/ { if (!($1 in v) || $2 < v[$1]) v[$1] = $2; next }
!($1 in v) { v[$1] = $2 }
function mb(bytes) { return bytes / 1048576 }
# The ratio (a + b) / (c + d) of each round (keys "" count 0): its least and
# greatest over the rounds.
function spread(a, b, c, d,    r, x, lo, hi) {
    for (r = 1; r <= n[c]; ++r) {
        x = (at[a, r] + (b == "" ? 0 : at[b, r])) / (at[c, r] + (d == "" ? 0 : at[d, r]))
        if (r == 1 || x < lo) lo = x
        if (r == 1 || x > hi) hi = x
    }
    return sprintf("%.2f-%.2f over %d rounds", lo, hi, n[c])
}
function pair(label, x, y, format) { printf "  %-34s " format " " format "\n", label, x, y }
END {
    bf = v["baseline.fetch_s"]; bc = v["baseline.convert_s"]
    vf = v["vorlex.fetch_s"]; vc = v["vorlex.convert_s"]
    printf "\n%d rows\n", v["vorlex.rows"]
    printf "%-10s %12s %12s %12s\n", "", "fetch s", "convert s", "total s"
    printf "%-10s %12.3f %12.3f %12.3f\n", "baseline", bf, bc, bf + bc
    printf "%-10s %12.3f %12.3f %12.3f\n", "vorlex", vf, vc, vf + vc
    printf "ratio vorlex/baseline: conversion %.2f, fetch+conversion %.2f (target: conversion <= 1.5)\n",
           vc / bc, (vf + vc) / (bf + bc)
    printf "rows/s of vorlex over the baseline: %.2f; each round %s (target >= 0.6)\n",
           (bf + bc) / (vf + vc), spread("baseline.fetch_s", "baseline.convert_s", "vorlex.fetch_s", "vorlex.convert_s")

    printf "\nresultGet alone, one column per call (s):"
    split("int4 float8 text timestamp int4[]", names, " ")
    for (i = 1; i <= 5; ++i) printf " %s %.3f", names[i], v["vorlex.column_s." names[i]]
    printf "\n"
    hc = v["vorlex.host_cells_s"]
    printf "Octave building the same per-row cells itself: %.3f s; conversion / (baseline + that): %.2f\n",
           hc, vc / (bc + hc)

    res = v["baseline.result_bytes"]; out = v["vorlex.output_bytes"]; held = v["vorlex.output_rss_bytes"]
    peak = v["vorlex.peak_growth_bytes"]
    printf "\nmemory (MiB)\n"
    printf "  PGresult (baseline RSS growth holding it)  %9.1f\n", mb(res)
    printf "  vorlex RSS growth after exec               %9.1f\n", mb(v["vorlex.result_bytes"])
    printf "  resultGet outputs (whos bytes)             %9.1f\n", mb(out)
    printf "  resultGet outputs (RSS growth they keep)   %9.1f\n", mb(held)
    printf "  vorlex peak growth, exec + resultGet       %9.1f\n", mb(peak)
    printf "  baseline peak growth, result + vectors     %9.1f\n", mb(v["baseline.peak_growth_bytes"])
    printf "ratio vorlex peak / (PGresult + outputs): %.2f by whos bytes, %.2f by RSS kept (target <= 1.10)\n",
           peak / (res + out), peak / (res + held)
    if (!v["vorlex.peak_reset"]) print "  (peak RSS could not be reset: the peak may predate the run)"

    a = "vorlex.copy_all."; f = "vorlex.copy_fixed."
    printf "\ncopyOut, %d rows\n  %-34s %14s %14s\n", v[a "rows"], "", "all columns", "fixed-width"
    pair("copyOut s", v[a "copy_out_s"], v[f "copy_out_s"], "%14.3f")
    pair("exec + resultGet s (same process)", v[a "exec_get_s"], v[f "exec_get_s"], "%14.3f")
    printf "  %-34s %14.3f\n", "libpq binary COPY to C++ vectors s", v["baseline.copy_s"]
    pair("outputs (whos bytes) MiB", mb(v[a "output_bytes"]), mb(v[f "output_bytes"]), "%14.1f")
    pair("outputs (RSS growth they keep) MiB", mb(v[a "output_rss_bytes"]), mb(v[f "output_rss_bytes"]), "%14.1f")
    pair("copyOut peak growth MiB", mb(v[a "peak_growth_bytes"]), mb(v[f "peak_growth_bytes"]), "%14.1f")
    printf "speedup (exec + resultGet) / copyOut: all %.2f, fixed-width %.2f (target >= 1.5)\n",
           v[a "exec_get_s"] / v[a "copy_out_s"], v[f "exec_get_s"] / v[f "copy_out_s"]
    printf "  each round: all %s; fixed-width %s\n", spread(a "exec_get_s", "", a "copy_out_s", ""),
           spread(f "exec_get_s", "", f "copy_out_s", "")
    printf "rows/s of copyOut (all columns) over the libpq COPY read: %.2f; each round %s (target >= 0.6)\n",
           v["baseline.copy_s"] / v[a "copy_out_s"], spread("baseline.copy_s", "", a "copy_out_s", "")
    printf "ratio copyOut peak growth / outputs: all %.2f, fixed-width %.2f by whos bytes; %.2f, %.2f by RSS kept (target <= 1.3)\n",
           v[a "peak_growth_bytes"] / v[a "output_bytes"], v[f "peak_growth_bytes"] / v[f "output_bytes"],
           v[a "peak_growth_bytes"] / v[a "output_rss_bytes"], v[f "peak_growth_bytes"] / v[f "output_rss_bytes"]
    if (!v[a "peak_reset"] || !v[f "peak_reset"])
        print "  (peak RSS could not be reset: the peaks may predate the runs)"

    q = "vorlex.query."
    printf "\nquery, %d rows of int4, float8, text, timestamp\n", v[q "rows"]
    printf "  %-34s %14.3f\n", "query s", v[q "query_s"]
    printf "  %-34s %14.3f\n", "exec + resultGet + clear s", v[q "exec_get_s"]
    printf "ratio query / (exec + resultGet): %.2f (target <= 1.10)\n", v[q "query_s"] / v[q "exec_get_s"]
}' "$numbers"
