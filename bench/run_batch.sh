#!/bin/sh
# SPDX-License-Identifier: BSD-3-Clause
# Benchmarks batchExec, copyIn and insert against the plain libpq writers
# (a pipeline of prepared inserts, and binary COPY) in one run, on the same
# rows, and prints the times, their ratios and the commands' memory.
#
#   bench/run_batch.sh [BUILD_DIR]     (make bench runs it with a server)
#
# BENCH_ROWS (default 1000000) scalar rows and BENCH_ARRAY_ROWS (default
# 200000) array rows are inserted in BENCH_REPS (default 3) rounds, each
# way once per round; the best round counts.  The two unlogged tables are
# named after this process and dropped at the end.
set -eu

rows=${BENCH_ROWS:-1000000}
array_rows=${BENCH_ARRAY_ROWS:-200000}
reps=${BENCH_REPS:-3}
scalar="vorlex_batch_scalar_$$"
array="vorlex_batch_array_$$"
tables="$scalar, $array"
. "$(dirname "$0")/common.sh"

echo "creating $scalar (int4, float8, text, timestamp) and $array (int4[], float8[])"
psql_run "create unlogged table $scalar (id int4, x float8, label text, taken timestamp)"
psql_run "create unlogged table $array (a int4[], b float8[])"

# One Octave process per command, table and size: heap an earlier insert
# freed would hide part of the next one's memory.  The runs at a tenth of
# the rows show whether memory grows with the rows.
bench() {
    run_octave "write_bench('$1', '$scalar', '$array', $2, $3, 1, '${4:-cell}')"
}
bench_tenth() {
    tenth=$(bench "$@")
    printf '%s\n' "$tenth" | sed 's/^/tenth./' >>"$numbers"
}
# The sides take turns, round by round, so that a slow spell of the shared
# machine or of the server falls on all of them; each side's best round
# counts.  copyIn and insert, which send the same stream, swap places each
# round, and their ratio is also taken round by round.
echo "$rows + $array_rows rows, best of $reps rounds of: libpq pipeline and binary COPY, batchExec, copyIn, insert"
for round in $(seq "$reps"); do
    echo "  round $round"
    "$build/baseline_write" "$scalar" "$array" "$rows" "$array_rows" 1 >>"$numbers"
    pair="copyIn insert"
    [ $((round % 2)) -eq 0 ] && pair="insert copyIn"
    for command in batchExec $pair; do
        bench $command "$rows" 0 >>"$numbers"
        bench $command 0 "$array_rows" >>"$numbers"
    done
    bench copyIn "$rows" 0 chars >>"$numbers"
done
echo "vorlex (batchExec, copyIn, insert): memory at a tenth of the rows"
for command in batchExec copyIn insert; do
    bench_tenth $command $(((rows + 9) / 10)) 0
    bench_tenth $command 0 $(((array_rows + 9) / 10))
done

awk '
# Times (names ending in "s") keep the best round, the rest the first; every
# round of each is kept in order for the spread of the ratios.
{ n[$1]++; at[$1, n[$1]] = $2 }
# The times of copyIn and insert are kept round by round too.
$1 ~ /^vorlex\.(copyIn|insert)\.(array_)?s$/ { round[$1, ++rounds[$1]] = $2 }
$1 ~ /[._]s$/ { if (!($1 in v) || $2 < v[$1]) v[$1] = $2; next }
!($1 in v) { v[$1] = $2 }
# The ratio a / b of each round: its least and greatest over the rounds.
function spread(a, b,    r, x, lo, hi) {
    for (r = 1; r <= n[b]; ++r) {
        x = at[a, r] / at[b, r]
        if (r == 1 || x < lo) lo = x
        if (r == 1 || x > hi) hi = x
    }
    return sprintf("%.2f-%.2f", lo, hi)
}
function mb(bytes) { return bytes / 1048576 }
# insert / copyIn per round: "lowest, median, highest of n rounds".
function insertSpread(suffix,    n, k, j, r, t) {
    n = rounds["vorlex.insert." suffix]
    for (k = 1; k <= n; ++k) r[k] = round["vorlex.insert." suffix, k] / round["vorlex.copyIn." suffix, k]
    for (k = 2; k <= n; ++k) for (j = k; j > 1 && r[j - 1] > r[j]; --j) { t = r[j]; r[j] = r[j - 1]; r[j - 1] = t }
    return sprintf("%.3f, %.3f, %.3f of %d rounds", r[1], n % 2 ? r[(n + 1) / 2] : (r[n / 2] + r[n / 2 + 1]) / 2, r[n], n)
}
function line(name, s, a) {
    printf "%-22s %10.3f %12.0f %10.3f %12.0f\n", name, s, v["baseline.rows"] / s, a, v["baseline.array_rows"] / a
}
END {
    ps = v["baseline.pipeline_s"]; pa = v["baseline.array_pipeline_s"]
    cs = v["baseline.copy_s"]; ca = v["baseline.array_copy_s"]
    bs = v["vorlex.batchExec.s"]; ba = v["vorlex.batchExec.array_s"]
    is = v["vorlex.copyIn.s"]; ia = v["vorlex.copyIn.array_s"]
    ns = v["vorlex.insert.s"]; na = v["vorlex.insert.array_s"]
    printf "\n%d scalar rows (int4, float8, text, timestamp), %d array rows (int4[10], float8[10])\n",
           v["baseline.rows"], v["baseline.array_rows"]
    printf "%-22s %10s %12s %10s %12s\n", "", "scalar s", "rows/s", "array s", "rows/s"
    line("pipeline (libpq)", ps, pa)
    line("binary COPY (libpq)", cs, ca)
    line("batchExec", bs, ba)
    line("copyIn", is, ia)
    line("insert", ns, na)
    hs = v["vorlex.copyIn.chars_s"]
    printf "%-22s %10.3f %12.0f\n", "copyIn, char matrix", hs, v["baseline.rows"] / hs
    printf "ratio batchExec/pipeline: scalar %.2f, array %.2f (target <= 1.3)\n", bs / ps, ba / pa
    printf "ratio batchExec/COPY:     scalar %.2f, array %.2f\n", bs / cs, ba / ca
    printf "ratio copyIn/COPY:        scalar %.2f, array %.2f, char matrix %.2f (target <= 1.25 from a cell, 1.11 else: 0.8 and 0.9 of the COPY rate)\n",
           is / cs, ia / ca, hs / cs
    printf "speedup batchExec/copyIn: scalar %.2f, array %.2f\n", bs / is, ba / ia
    printf "ratio insert/copyIn:      scalar %.3f, array %.3f (best rounds; target <= 1.1)\n", ns / is, na / ia
    printf "  per round, lowest, median, highest: scalar %s; array %s\n", insertSpread("s"), insertSpread("array_s")
    printf "rows/s over libpq, each of %d rounds:\n", n["baseline.copy_s"]
    printf "  batchExec/pipeline  scalar %s, array %s (target >= 0.9)\n",
           spread("baseline.pipeline_s", "vorlex.batchExec.s"),
           spread("baseline.array_pipeline_s", "vorlex.batchExec.array_s")
    printf "  copyIn/COPY         scalar %s, array %s, char matrix %s (target >= 0.8 scalar, 0.9 char matrix)\n",
           spread("baseline.copy_s", "vorlex.copyIn.s"), spread("baseline.array_copy_s", "vorlex.copyIn.array_s"),
           spread("baseline.copy_s", "vorlex.copyIn.chars_s")

    split("batchExec copyIn insert", commands, " ")
    split("rows input_bytes peak_growth_bytes kept_bytes", keys, " ")
    split("rows|inputs (whos bytes)|peak growth|RSS growth kept", labels, "|")
    for (c = 1; c <= 3; ++c) {
        prefix[1] = "vorlex." commands[c] "."; prefix[2] = prefix[1] "array_"
        printf "\n%-9s memory (MiB)    %12s %12s %12s %12s\n", commands[c], "scalar", "a tenth", "array", "a tenth"
        for (k = 1; k <= 4; ++k) {
            printf "  %-23s", labels[k]
            for (j = 1; j <= 2; ++j)
                for (t = 0; t <= 1; ++t) {
                    x = v[(t ? "tenth." : "") prefix[j] keys[k]]
                    if (k == 1) printf " %12d", x; else printf " %12.1f", mb(x)
                }
            printf "\n"
        }
        for (j = 1; j <= 2; ++j) {
            p = prefix[j]
            ratio[j] = v[p "peak_growth_bytes"] / v[p "input_bytes"]
            # What grows with the rows beyond the inputs themselves.
            beyond = v[p "peak_growth_bytes"] - v[p "input_bytes"]
            tenth_beyond = v["tenth." p "peak_growth_bytes"] - v["tenth." p "input_bytes"]
            extra = v[p "rows"] - v["tenth." p "rows"]
            per_row[j] = extra > 0 ? (beyond - tenth_beyond) / extra : 0
        }
        printf "peak growth / inputs: scalar %.2f, array %.2f (target: at most the inputs plus a constant)\n",
               ratio[1], ratio[2]
        printf "peak growth beyond the inputs, per row from a tenth to all rows: scalar %.1f, array %.1f bytes (target: about 0)\n",
               per_row[1], per_row[2]
        printf "array values stored as %s (the baseline sends [1:10])\n", v[prefix[1] "array_dims"]
        if (!v[prefix[1] "peak_reset"]) print "  (peak RSS could not be reset: the peaks may predate the runs)"
    }
}' "$numbers"
