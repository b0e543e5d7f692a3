# SPDX-License-Identifier: BSD-3-Clause
# common.sh - what the run scripts share, sourced after each has set
# `tables` (the tables it makes, dropped at exit): the folders, a file for
# the numbers, psql, and Octave with the module and the benchmarks on its
# path.  $1 is the build folder (default ../build).

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
numbers=$(mktemp)

psql_run() { psql -X -q -v ON_ERROR_STOP=1 -c "$1" >/dev/null; }

# make_table NAME ROWS [COLUMNS]: the unlogged table the reads share, ROWS
# rows of (int4 id, float8 x, text label of 10-20 characters, timestamp
# taken), then COLUMNS ("expression as name, ..." of i, the row's number).
make_table() {
    psql_run "create unlogged table $1 as
        select i::int4 as id,
               (i / 7.0)::float8 as x,
               substr(md5(i::text), 1, 10 + i % 11) as label,
               timestamp '2000-01-01' + i * interval '1 second' as taken${3:+,
               $3}
        from generate_series(1, $2) i"
}
cleanup() {
    psql_run "drop table if exists $tables" || true
    rm -f "$numbers"
}
trap cleanup EXIT

# The scripts do no linear algebra: an idle OpenBLAS worker would only spin
# (sched_yield) against the server for the machine's cores.
run_octave() {
    OPENBLAS_NUM_THREADS=${OPENBLAS_NUM_THREADS:-1} octave-cli --norc --no-history --quiet \
        --path "$build" --path "$here" --eval "$1"
}
