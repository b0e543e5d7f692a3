#!/bin/sh
# SPDX-License-Identifier: BSD-3-Clause
# Benchmarks the module's reads of a whole table against libpq's and the
# server's own limit, as ratios to libpq's binary query in one run, with
# each side's peak RSS growth; then a chunked read of a larger table.
#
#   bench/run_stream.sh [BUILD_DIR]     (make bench runs it with a server)
#
# BENCH_ROWS (default 1000000) rows of (int4, float8, text, timestamp) are
# read whole; BENCH_CHUNK_ROWS (default 20000000) rows of (int8, float8,
# text) are read in chunks of 1,000,000.  BENCH_REPS (default 3) rounds, each
# side once per round in a process of its own; each side's best round counts.
# The tables are unlogged, named after this process, and dropped at the end.
set -eu

rows=${BENCH_ROWS:-1000000}
chunk_rows=${BENCH_CHUNK_ROWS:-20000000}
reps=${BENCH_REPS:-3}
table="vorlex_stream_$$"
chunked="vorlex_chunked_$$"
tables="$table, $chunked"
. "$(dirname "$0")/common.sh"

echo "creating $table: $rows rows (int4, float8, text, timestamp)"
make_table "$table" "$rows"
echo "creating $chunked: $chunk_rows rows (int8, float8, text)"
psql_run "create unlogged table $chunked as
    select i::int8 as id,
           (i / 7.0)::float8 as x,
           substr(md5(i::text), 1, 10 + i % 11) as label
    from generate_series(1, $chunk_rows) i"
# Sets the hint bits now, so that no side's first read pays for them.
psql_run "vacuum analyze $table"
psql_run "vacuum analyze $chunked"

# psql writing the binary COPY to /dev/null: its own timing of the statement
# (not of its start and connection), and its peak RSS beyond a psql that
# only connects.
psql_copy() {
    /usr/bin/time -f "psql.max_rss_kb %M" psql -X -q -o /dev/null -c '\timing on' \
        -c "copy (select id, x, label, taken from $table) to stdout (format binary)" 2>&1 |
        awk '/^Time:/ { printf "psql.copy_s %.6f\n", $2 / 1000; next } { print }'
}
/usr/bin/time -f "%M" psql -X -q -o /dev/null -c 'select 1' 2>&1 |
    awk '{ printf "psql.idle_rss_kb %d\n", $1 }' >>"$numbers"

echo "best of $reps rounds, each side once per round in a process of its own"
for round in $(seq "$reps"); do
    echo "  round $round"
    psql_copy >>"$numbers"
    "$build/baseline_read" "$table" 1 query >>"$numbers"
    "$build/baseline_read" "$table" 1 rows >>"$numbers"
    for side in copyOut exec query param; do
        run_octave "stream_bench('$table', '$side')" >>"$numbers"
    done
    run_octave "chunked_bench($chunk_rows, 1e6, 'chunk', '$chunked')" >>"$numbers"
done

awk -v reps="$reps" '
{ n[$1]++; at[$1, n[$1]] = $2 }
# Times keep the best round, the rest the first.
$1 ~ /_s$/ { if (!($1 in v) || $2 < v[$1]) v[$1] = $2; next }
!($1 in v) { v[$1] = $2 }
function mb(bytes) { return bytes / 1048576 }
# The ratio scale * a / b of the best rounds, and its least and greatest by
# round.
function ratio(a, b, scale,    r, x, lo, hi) {
    for (r = 1; r <= reps; ++r) {
        x = scale * at[a, r] / at[b, r]
        if (r == 1 || x < lo) lo = x
        if (r == 1 || x > hi) hi = x
    }
    return sprintf("%5.2f (%.2f-%.2f)", scale * v[a] / v[b], lo, hi)
}
function row(label, time, peak) {
    printf "| %-52s | %-17s | %7.1f |\n", label, ratio("baseline.query.read_s", time, 1), mb(peak)
}
function target(label, value, goal, ok) { printf "  %-58s %6.2f  (target %s%s)\n", label, value, goal, ok ? "" : ": missed" }
END {
    ref = "baseline.query.read_s"
    printf "\n%d rows of (int4, float8, text, timestamp) read into typed columns; libpq binary query: %.3f s\n",
           v["baseline.query.rows"], v[ref]
    printf "| %-52s | %-17s | %7s |\n", "side", "x libpq binary", "peak MiB"
    printf "|%s|%s|%s|\n", "------------------------------------------------------", "-------------------", "---------"
    row("psql COPY (FORMAT binary) > /dev/null", "psql.copy_s", (v["psql.max_rss_kb"] - v["psql.idle_rss_kb"]) * 1024)
    row("libpq binary query, converted into C++ vectors", ref, v["baseline.query.peak_growth_bytes"])
    row("libpq single-row mode, converted as rows arrive", "baseline.rows.read_s", v["baseline.rows.peak_growth_bytes"])
    row("vorlex copyOut", "vorlex.copyOut.read_s", v["vorlex.copyOut.peak_growth_bytes"])
    row("vorlex exec + resultGet", "vorlex.exec.read_s", v["vorlex.exec.peak_growth_bytes"])
    row("vorlex query (through COPY)", "vorlex.query.read_s", v["vorlex.query.peak_growth_bytes"])
    row("vorlex query with a parameter (whole result)", "vorlex.param.read_s", v["vorlex.param.peak_growth_bytes"])
    printf "ratios of the best rounds, the least and greatest round in brackets; peak = VmHWM growth\n"

    # Every side must have read the same values: libpq sums row by row,
    # Octave column by column, so the two agree to rounding.
    split("copyOut exec query param", sides, " ")
    c = v["baseline.query.checksum"]
    if (v["baseline.rows.checksum"] != c) print "  CHECKSUM: single-row mode differs from the query"
    for (i = 1; i <= 4; ++i) {
        x = v["vorlex." sides[i] ".checksum"]
        if (x - c > 1e-9 * c || c - x > 1e-9 * c) printf "  CHECKSUM: vorlex %s differs from libpq\n", sides[i]
        if (!v["vorlex." sides[i] ".peak_reset"]) printf "  (peak RSS of %s could not be reset)\n", sides[i]
    }

    q = "vorlex.query."; p = "vorlex.param."
    printf "\ntargets (reported, never enforced)\n"
    target("query x libpq binary", v[ref] / v[q "read_s"], ">= 1.40", v[ref] / v[q "read_s"] >= 1.4)
    target("copyOut x libpq binary", v[ref] / v["vorlex.copyOut.read_s"], ">= 1.40",
           v[ref] / v["vorlex.copyOut.read_s"] >= 1.4)
    target("query rows/s over psql COPY", v["psql.copy_s"] / v[q "read_s"], ">= 0.85",
           v["psql.copy_s"] / v[q "read_s"] >= 0.85)
    target("copyOut rows/s over psql COPY", v["psql.copy_s"] / v["vorlex.copyOut.read_s"], ">= 0.85",
           v["psql.copy_s"] / v["vorlex.copyOut.read_s"] >= 0.85)
    target("query rows/s over copyOut", v["vorlex.copyOut.read_s"] / v[q "read_s"], ">= 0.95",
           v["vorlex.copyOut.read_s"] / v[q "read_s"] >= 0.95)
    printf "  query outputs: %.1f MiB by whos, %.1f MiB of RSS they keep; the PGresult %.1f MiB\n",
           mb(v[q "output_bytes"]), mb(v[q "output_rss_bytes"]), mb(v["baseline.query.result_bytes"])
    x = v[q "peak_growth_bytes"] / v[q "output_rss_bytes"]
    target("query peak / outputs kept (libpq buffers: a few rows)", x, "<= 1.10", x <= 1.1)
    x = v[p "peak_growth_bytes"] / (v[p "output_rss_bytes"] + v["baseline.query.result_bytes"])
    target("query with a parameter: peak / (outputs kept + PGresult)", x, "<= 1.10", x <= 1.1)

    k = "vorlex.chunked_"
    printf "\n%d rows of (int8, float8, text) fetched in chunks of 1,000,000, each dropped: %.3f s\n",
           v[k "rows"], v[k "chunk_s"]
    printf "  one chunk: %.1f MiB by whos, %.1f MiB RSS while held; peak growth %.1f MiB\n",
           mb(v[k "first_bytes"]), mb(v[k "first_rss_bytes"]), mb(v[k "peak_bytes.chunk"])
    x = v[k "peak_bytes.chunk"] / (2 * v[k "first_rss_bytes"] + 64 * 1048576)
    target("peak / (2 chunks held + 64 MiB)", x, "<= 1.00", x <= 1)
    x = v[k "peak_bytes.chunk"] / (2 * v[k "first_bytes"] + 64 * 1048576)
    target("peak / (2 chunks by whos + 64 MiB)", x, "<= 1.00", x <= 1)
    x = (v[k "rows"] / v[k "chunk_s"]) / (v[q "rows"] / v[q "read_s"])
    target("rows/s over the whole-result query of the first table", x, ">= 0.90", x >= 0.9)
    printf "    each round: %s\n", ratio(q "read_s", k "chunk_s", v[k "rows"] / v[q "rows"])
}' "$numbers"
