#!/bin/sh
# SPDX-License-Identifier: BSD-3-Clause
# Benchmarks resultGet and copyOut against the plain libpq baselines in one
# run, on one table, and query against exec + resultGet, and prints the
# times, their ratios and the memory comparisons.
#
#   bench/run.sh [BUILD_DIR]       (make bench runs it with a server)
#
# BENCH_ROWS (default 1000000) and BENCH_REPS (default 3) set the table's
# size and how many runs each side gets; the best run counts.  The table is
# unlogged, named after this process, and dropped at the end.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
rows=${BENCH_ROWS:-1000000}
reps=${BENCH_REPS:-3}
table="vorlex_bench_$$"
numbers=$(mktemp)

psql_run() { psql -X -q -v ON_ERROR_STOP=1 -c "$1" >/dev/null; }
cleanup() {
    psql_run "drop table if exists $table" || true
    rm -f "$numbers"
}
trap cleanup EXIT

# The scripts do no linear algebra: an idle OpenBLAS worker would only spin
# (sched_yield) against the server for the machine's cores.
run_octave() {
    OPENBLAS_NUM_THREADS=${OPENBLAS_NUM_THREADS:-1} octave-cli --norc --no-history --quiet \
        --path "$build" --path "$here" --eval "$1" >>"$numbers"
}

echo "creating $table: $rows rows (int4, float8, text, timestamp, int4[10])"
psql_run "create unlogged table $table as
    select i::int4 as id,
           (i / 7.0)::float8 as x,
           substr(md5(i::text), 1, 10 + i % 11) as label,
           timestamp '2000-01-01' + i * interval '1 second' as taken,
           array[i, i + 1, i + 2, i + 3, i + 4, i + 5, i + 6, i + 7, i + 8, i + 9]::int4[] as vals
    from generate_series(1, $rows) i"
# Sets the hint bits now, so that neither side's first read pays for them.
psql_run "vacuum analyze $table"

echo "baseline (libpq query and binary COPY to C++ vectors), best of $reps"
"$build/baseline_read" "$table" "$reps" >>"$numbers"
echo "vorlex (exec, resultGet), best of $reps"
run_octave "result_get_bench('$table', $reps)"
# A process per column set, so that each copyOut's peak is measured in a
# process where nothing big was freed before.
echo "vorlex (copyOut, and exec with resultGet), all columns, then the fixed-width ones, best of $reps"
run_octave "copy_out_bench('$table', $reps, 'all')"
run_octave "copy_out_bench('$table', $reps, 'fixed')"
echo "vorlex (query, and exec with resultGet), int4, float8, text and timestamp, best of $reps"
run_octave "query_bench('$table', $reps)"

awk '
{ v[$1] = $2 }
function mb(bytes) { return bytes / 1048576 }
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

    printf "\nresultGet alone, one column per call (s):"
    split("int4 float8 text timestamp int4[]", names, " ")
    for (i = 1; i <= 5; ++i) printf " %s %.3f", names[i], v["vorlex.column_s." names[i]]
    printf "\n"
    hc = v["vorlex.host_cells_s"]
    printf "Octave building the same per-row cells itself: %.3f s; conversion / (baseline + that): %.2f\n",
           hc, vc / (bc + hc)

    res = v["baseline.result_bytes"]; out = v["vorlex.output_bytes"]
    peak = v["vorlex.peak_growth_bytes"]
    printf "\nmemory (MiB)\n"
    printf "  PGresult (baseline RSS growth holding it)  %9.1f\n", mb(res)
    printf "  vorlex RSS growth after exec               %9.1f\n", mb(v["vorlex.result_bytes"])
    printf "  resultGet outputs (whos bytes)             %9.1f\n", mb(out)
    printf "  vorlex peak growth, exec + resultGet       %9.1f\n", mb(peak)
    printf "  baseline peak growth, result + vectors     %9.1f\n", mb(v["baseline.peak_growth_bytes"])
    printf "ratio vorlex peak / (PGresult + outputs): %.2f (target <= 1.10)\n", peak / (res + out)
    if (!v["vorlex.peak_reset"]) print "  (peak RSS could not be reset: the peak may predate the run)"

    a = "vorlex.copy_all."; f = "vorlex.copy_fixed."
    printf "\ncopyOut, %d rows\n  %-34s %14s %14s\n", v[a "rows"], "", "all columns", "fixed-width"
    pair("copyOut s", v[a "copy_out_s"], v[f "copy_out_s"], "%14.3f")
    pair("exec + resultGet s (same process)", v[a "exec_get_s"], v[f "exec_get_s"], "%14.3f")
    printf "  %-34s %14.3f\n", "libpq binary COPY to C++ vectors s", v["baseline.copy_s"]
    pair("outputs (whos bytes) MiB", mb(v[a "output_bytes"]), mb(v[f "output_bytes"]), "%14.1f")
    pair("copyOut peak growth MiB", mb(v[a "peak_growth_bytes"]), mb(v[f "peak_growth_bytes"]), "%14.1f")
    printf "speedup (exec + resultGet) / copyOut: all %.2f, fixed-width %.2f (target >= 1.5)\n",
           v[a "exec_get_s"] / v[a "copy_out_s"], v[f "exec_get_s"] / v[f "copy_out_s"]
    printf "ratio copyOut / libpq COPY read: %.2f\n", v[a "copy_out_s"] / v["baseline.copy_s"]
    printf "ratio copyOut peak growth / outputs: all %.2f, fixed-width %.2f (target <= 1.3)\n",
           v[a "peak_growth_bytes"] / v[a "output_bytes"], v[f "peak_growth_bytes"] / v[f "output_bytes"]
    if (!v[a "peak_reset"] || !v[f "peak_reset"])
        print "  (peak RSS could not be reset: the peaks may predate the runs)"

    q = "vorlex.query."
    printf "\nquery, %d rows of int4, float8, text, timestamp\n", v[q "rows"]
    printf "  %-34s %14.3f\n", "query s", v[q "query_s"]
    printf "  %-34s %14.3f\n", "exec + resultGet + clear s", v[q "exec_get_s"]
    printf "ratio query / (exec + resultGet): %.2f (target <= 1.10)\n", v[q "query_s"] / v[q "exec_get_s"]
}' "$numbers"
