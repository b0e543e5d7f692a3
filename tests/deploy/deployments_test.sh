#!/bin/bash
# SPDX-License-Identifier: BSD-3-Clause
# The module in deployments beside a single server, each against real
# servers this driver starts next to the one the PG* variables name:
#   - through PgBouncer, in session and in transaction pooling mode: every
#     command works, or fails with the error that says why pooling prevents
#     it;
#   - four octave-cli processes loading one partition each of one table at
#     once with copyIn: every row is there once.
# Usage: deployments_test.sh BUILD_DIR (the PG* variables name the server);
# ONLY="parallelLoadCase ..." runs some of the deployments.
set -u

build=$(cd "${1:?usage: deployments_test.sh BUILD_DIR}" && pwd)
. "$(dirname "$0")/../servers.sh"
bouncer= others=
# Replaces servers.sh's: PgBouncer and the other clients are this driver's.
cleanUp() {
    [ -n "$others" ] && kill "$others" 2>/dev/null
    # $! is the shell that started it: PgBouncer itself is stopped by its pid file.
    [ -s "$work/bouncer.pid" ] && kill "$(cat "$work/bouncer.pid")" 2>/dev/null
    [ -n "$bouncer" ] && kill "$bouncer" 2>/dev/null
    rm -rf "$work"
}

sql() { psql -XAtqc "$1" 2>/dev/null; }

# Runs Octave code with CONNINFO replaced; prints its output, fails with it.
runOctave() {
    local code=$1 conninfo=$2
    printf '%s\n' "${code//CONNINFO/$conninfo}" > "$work/case.m"
    chmod 644 "$work/case.m"
    octave-cli --norc --no-history --quiet --path "$build" "$work/case.m" 2>&1
}

# --- PgBouncer --------------------------------------------------------------
# One case per line, fields split by "|": name | the pooling modes it runs
# in | Octave code run on the connection c, which must work.  In transaction
# pooling each transaction may run on another server connection, while
# other clients leave unnamed statements of their own on them (startOtherClients):
# a command that prepared a statement in one transaction and used it in the
# next would find it missing, or find theirs.
commands=(
"exec|session transaction|r = vorlex ('exec', c, 'select 41 + 1'); assert (vorlex ('resultGet', r, '%int4', 0).value, int32 (42));"
"execText|session transaction|r = vorlex ('execText', c, 'select 42'); assert (vorlex ('getValue', r, 0, 0), int32 (42));"
"paramExec|session transaction|p = vorlex ('paramCreate', c); vorlex ('paramPut', p, '%int4', int32 (41)); r = vorlex ('paramExec', c, p, 'select \$1 + 1'); assert (vorlex ('resultGet', r, '%int4', 0).value, int32 (42));"
"fieldType|session transaction|r = vorlex ('exec', c, 'select 1::int8'); assert (vorlex ('fieldType', r, 0), 20);"
"batchExec|session transaction|vorlex ('exec', c, 'create table TBL (a int4)'); for k = 1:5 vorlex ('batchExec', c, 'insert into TBL values (\$1)', '%int4', struct ('a', int32 ((1:3)'))); end; assert (vorlex ('resultGet', vorlex ('exec', c, 'select count(*)::int4 from TBL'), '%int4', 0).value, int32 (15));"
"copyIn|session transaction|vorlex ('exec', c, 'create table TBL (a int4)'); assert (vorlex ('copyIn', c, 'TBL', '%int4', struct ('a', int32 ((1:1000)'))), 1000);"
"reset|session transaction|vorlex ('reset', c); assert (vorlex ('status', c), 0);"
"query|session transaction|for k = 1:20 d = vorlex ('query', c, 'select \$1::int4 + 1 as v', {int32(k)}); assert (d.v, k + 1); end"
"copyOut|session transaction|for k = 1:20 s = vorlex ('copyOut', c, sprintf ('select g::int4 from generate_series (1, %d) g', k), '%int4'); assert (s.value, int32 ((1:k)')); end"
"query in chunks|session transaction|for k = 1:5 cur = vorlex ('query', c, 'select g::int4 as v from generate_series (1, \$1) g', {k * 100}, 'chunk', 30); v = []; done = false; while ! done, [d, ~, done] = vorlex ('fetch', cur); v = [v; d.v]; end; vorlex ('close', cur); assert (v, (1:k * 100)'); end"
"query in a transaction|session transaction|vorlex ('exec', c, 'begin'); for k = 1:5 d = vorlex ('query', c, 'select \$1::int4 + 1 as v', {int32(k)}); assert (d.v, k + 1); end; vorlex ('exec', c, 'commit');"
"copyOut in a transaction|session transaction|vorlex ('exec', c, 'begin'); for k = 1:5 s = vorlex ('copyOut', c, sprintf ('select g::int4 from generate_series (1, %d) g', k), '%int4'); assert (s.value, int32 ((1:k)')); end; vorlex ('exec', c, 'commit');"
)

startBouncer() {
    local port=$1
    cat > "$work/bouncer.ini" <<INI
[databases]
session = host=${PGHOST:-localhost} port=${PGPORT:-5432} dbname=${PGDATABASE:-postgres} pool_mode=session
transaction = host=${PGHOST:-localhost} port=${PGPORT:-5432} dbname=${PGDATABASE:-postgres} pool_mode=transaction
[pgbouncer]
listen_addr = 127.0.0.1
listen_port = $port
unix_socket_dir =
auth_type = trust
auth_file = $work/users.txt
logfile = $work/bouncer.log
pidfile = $work/bouncer.pid
default_pool_size = 4
; Several server connections taken in turn: in transaction pooling, each
; transaction of a client may run on another one.
min_pool_size = 3
server_round_robin = 1
INI
    printf '"%s" "%s"\n' "${PGUSER:-postgres}" "${PGPASSWORD:-}" > "$work/users.txt"
    chmod 644 "$work/bouncer.ini" "$work/users.txt"
    asServer pgbouncer "$work/bouncer.ini" > "$work/bouncer.out" 2>&1 &
    bouncer=$!
    for _ in $(seq 50); do
        PGPASSWORD= psql -XAtq -h 127.0.0.1 -p "$port" -d session -c 'select 1' >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}

# Other clients of the transaction pool while its cases run: two pgbench
# clients at a bounded rate, each transaction one statement of theirs sent
# as the unnamed statement (extended protocol).
startOtherClients() {
    local port=$1
    printf '%s\n' '\set n random(1, 1000)' 'select :n::int8 * 2 as other, :n::text as label;' \
        > "$work/others.sql"
    PGPASSWORD= "$pgbin/pgbench" -n -M extended -c 2 -R 100 -T 600 -f "$work/others.sql" \
        -h 127.0.0.1 -p "$port" transaction > "$work/others.log" 2>&1 &
    others=$!
}

# They must have run all along: a pgbench that stopped early fails the run.
stopOtherClients() {
    if kill "$others" 2>/dev/null; then
        pass "PgBouncer transaction pooling: other clients ran throughout"
    else
        fail "the other clients of the transaction pool stopped early" < "$work/others.log"
    fi
    wait "$others" 2>/dev/null
    others=
}

bouncerCases() {
    if ! command -v pgbouncer >/dev/null; then
        echo "skip PgBouncer: not installed (scripts/deps.sh installs it)"
        skipped=$((skipped + 1))
        return
    fi
    local port
    port=$(freePort)
    if ! startBouncer "$port"; then
        fail "PgBouncer did not start" < <(cat "$work/bouncer.out" "$work/bouncer.log" 2>/dev/null)
        return
    fi
    local mode row name modes code table outcome got
    for mode in session transaction; do
        [ "$mode" = transaction ] && startOtherClients "$port"
        for row in "${commands[@]}"; do
            IFS='|' read -r name modes code <<< "$row"
            [[ " $modes " == *" $mode "* ]] || continue
            table="vorlex_bouncer_$$_$RANDOM"
            outcome=$(runOctave "c = vorlex ('connect', 'CONNINFO');
try
  ${code//TBL/$table}
  printf ('OUTCOME works\n');
catch err
  printf ('OUTCOME %s %s\n', err.identifier, strrep (err.message, \"\\n\", ' '));
end_try_catch" "host=127.0.0.1 port=$port dbname=$mode")
            sql "drop table if exists $table" >/dev/null
            got=$(grep -a '^OUTCOME ' <<< "$outcome" | head -n 1 | cut -d' ' -f2-)
            if [ "$got" = works ]; then
                pass "PgBouncer $mode pooling: $name"
            else
                fail "PgBouncer $mode pooling: $name gave '$got'" <<< "$outcome"
            fi
        done
        [ "$mode" = transaction ] && stopOtherClients
    done
}

# --- Parallel loads -------------------------------------------------------------
# Four processes copy into one partition each of one table at once; then
# every row is there once.
parallelLoadCase() {
    local table="vorlex_parts_$$_$RANDOM" rows=200000 k
    sql "create table $table (part int4, a int8) partition by list (part)"
    for k in 1 2 3 4; do
        sql "create table ${table}_$k partition of $table for values in ($k)"
    done
    local children=()
    for k in 1 2 3 4; do
        printf '%s\n' "c = vorlex ('connect', '');
n = vorlex ('copyIn', c, '${table}_$k', '%int4 %int8', struct ('part', int32 (repmat ($k, $rows, 1)), 'a', int64 ((1:$rows)')));
printf ('COPIED %d\n', n);" > "$work/load$k.m"
        chmod 644 "$work/load$k.m"
        octave-cli --norc --no-history --quiet --path "$build" "$work/load$k.m" > "$work/load$k.out" 2>&1 &
        children+=($!)
    done
    wait "${children[@]}"
    local copied=0 got
    for k in 1 2 3 4; do
        got=$(grep -a '^COPIED ' "$work/load$k.out" | cut -d' ' -f2)
        [ "$got" = "$rows" ] && copied=$((copied + 1))
    done
    printf '%s\n' "c = vorlex ('connect', '');
[p, a] = vorlex ('copyOut', c, 'select part, a from $table', '%int4 %int8');
[p, a] = deal (double (p.value), double (a.value));
key = sort (p * 1e7 + a);
printf ('READ %d DISTINCT %d COMPLETE %d\n', numel (key), numel (unique (key)), ...
        isequal (unique (key), sort (reshape ((1:4) * 1e7 + (1:$rows)', [], 1))));" > "$work/read.m"
    chmod 644 "$work/read.m"
    local read
    read=$(octave-cli --norc --no-history --quiet --path "$build" "$work/read.m" 2>&1)
    sql "drop table $table"
    local expected=$((4 * rows))
    if [ "$copied" = 4 ] && grep -aq "^READ $expected DISTINCT $expected COMPLETE 1$" <<< "$read"; then
        pass "parallel copyIn: 4 processes, $expected rows, each once"
    else
        fail "parallel copyIn: $copied of 4 loads complete; read back: $read" \
            < <(cat "$work"/load*.out)
    fi
}

skipped=0
for deployment in ${ONLY:-bouncerCases parallelLoadCase}; do
    "$deployment"
done
echo "$passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
