#!/bin/bash
# SPDX-License-Identifier: BSD-3-Clause
# Ctrl-C during a command that waits on the server: each case starts
# octave-cli on a script that runs one command against the server, sends it
# SIGINT (as Ctrl-C does) once the command is under way, and checks that
#   - control comes back to the script (measured here from the signal; only
#     a return later than 5 s fails, the machine may be loaded),
#   - with the error vorlex:<command>:interrupted,
#   - the server runs nothing more for the connection (pg_stat_activity, seen
#     from another connection before any lock is released),
#   - no row of an interrupted load is kept,
#   - and the next command on the same connection works.
# Usage: ctrl_c_test.sh BUILD_DIR (the PG* variables name the server).
set -u

build=$(cd "${1:?usage: ctrl_c_test.sh BUILD_DIR}" && pwd)
work=$(mktemp -d)
listener=
trap 'rm -rf "$work"; [ -n "$listener" ] && kill "$listener" 2>/dev/null' EXIT

# One case per line, fields split by "|":
#   name | command | what pg_stat_activity shows of the connection once the
#   command waits (SQL over its row; "none" when it is not on the server)
#   | setup | the call | after the call (before the checks of rows)
# In the Octave code, conn is the connection the call uses, other a second
# one, TBL an empty table (a int4 primary key); SILENT is a local port that
# accepts connections and never answers, ONCE one that passes its first
# connection on to the server and answers no later one (local_ports.py).
cases=(
"exec|exec|query like 'select pg_sleep%'||vorlex ('exec', conn, 'select pg_sleep (30)');|"
"paramExec|paramExec|query like 'select pg_sleep%'|p = vorlex ('paramCreate', conn); vorlex ('paramPut', p, '%float8', 30);|vorlex ('paramExec', conn, p, 'select pg_sleep (\$1)');|"
"execText|execText|query like 'select pg_sleep%'||r = vorlex ('execText', conn, 'select pg_sleep (30)');|"
"copyIn of many rows|copyIn|query like 'COPY%'|rows = struct ('a', int32 ((1:2e7)'));|vorlex ('copyIn', conn, 'TBL', '%int4', rows);|"
"copyIn behind a lock|copyIn|wait_event_type = 'Lock'|vorlex ('exec', other, 'begin'); vorlex ('exec', other, 'lock table TBL');|vorlex ('copyIn', conn, 'TBL', '%int4', struct ('a', int32 ((1:1000)')));|vorlex ('exec', other, 'rollback');"
"insert behind a lock|insert|wait_event_type = 'Lock'|vorlex ('exec', other, 'begin'); vorlex ('exec', other, 'lock table TBL');|vorlex ('insert', conn, 'TBL', struct ('A', (1:1000)'));|vorlex ('exec', other, 'rollback');"
"copyOut of a slow query|copyOut|query like 'COPY%'||s = vorlex ('copyOut', conn, 'select g::int4 from generate_series (1, 3000) g where length (pg_sleep (0.01)::text) >= 0', '%int4');|"
"batchExec behind a row lock|batchExec|wait_event_type = 'Lock'|vorlex ('exec', other, 'begin'); vorlex ('exec', other, 'insert into TBL values (5)');|vorlex ('batchExec', conn, 'insert into TBL values (\$1)', '%int4', struct ('a', int32 ((1:10)')));|vorlex ('exec', other, 'rollback');"
"query|query|query like 'select pg_sleep%'||d = vorlex ('query', conn, 'select pg_sleep (\$1)', {30});|"
"fetch of a slow query|fetch|query like '%select g::int4%'|cur = vorlex ('query', conn, 'select g::int4 from generate_series (1, 3000) g where length (pg_sleep (0.01)::text) >= 0', 'chunk', 5000);|d = vorlex ('fetch', cur);|vorlex ('close', cur);"
"query prepared behind a lock|query|wait_event_type = 'Lock'|vorlex ('exec', other, 'begin'); vorlex ('exec', other, 'lock table TBL');|d = vorlex ('query', conn, 'select * from TBL');|vorlex ('exec', other, 'rollback');"
"connect to a silent server|connect|none||c = vorlex ('connect', 'host=127.0.0.1 port=SILENT connect_timeout=60');|"
"notifications waited for without end|notifications|none|vorlex ('listen', conn, 'nt_never');|n = vorlex ('notifications', conn, Inf);|"
"reset to a silent server|reset|none|c = vorlex ('connect', 'host=127.0.0.1 port=ONCE'); vorlex ('exec', c, 'select 1');|vorlex ('reset', c);|evalc ('s = vorlex (''status'', c);'); assert (s, 1);"
)

sql() { psql -XAtqc "$1" 2>/dev/null; }

startListener() {
    command -v python3 >/dev/null || return 1
    python3 "$(dirname "$0")/local_ports.py" > "$work/ports" &
    listener=$!
    for _ in $(seq 50); do [ -s "$work/ports" ] && break; sleep 0.1; done
    [ -s "$work/ports" ]
}

# Waits up to $2 seconds for a line starting with $1 in the child's output.
awaitLine() {
    local deadline=$((SECONDS + $2))
    while [ $SECONDS -le $deadline ]; do
        grep -aq "^$1" "$work/out" && return 0
        sleep 0.02
    done
    return 1
}

lineValue() { grep -a "^$1 " "$work/out" | head -n 1 | cut -d' ' -f2-; }

writeScript() {
    local table=$1 setup=$2 call=$3 after=$4
    cat > "$work/case.m" <<OCTAVE
conn = vorlex ('connect', '');
other = vorlex ('connect', '');
watch = vorlex ('connect', '');
r = vorlex ('exec', conn, 'select pg_backend_pid ()::int4');
pid = getfield (vorlex ('resultGet', r, '%int4', 0), 'value');
vorlex ('clear', r);
vorlex ('exec', watch, 'create table $table (a int4 primary key)');
$setup
printf ('READY %d\n', pid); fflush (stdout);
try
  $call
  printf ('RETURNED none\n');
catch err
  printf ('RETURNED %s\n', err.identifier);
  printf ('MESSAGE %s\n', strrep (err.message, "\n", ' '));
end_try_catch
fflush (stdout);
r = vorlex ('exec', watch, sprintf (['select count (*)::int4 from pg_stat_activity ' ...
                                     'where pid = %d and state <> ''idle'''], pid));
printf ('ACTIVE %d\n', getfield (vorlex ('resultGet', r, '%int4', 0), 'value'));
$after
r = vorlex ('exec', watch, 'select count (*)::int4 from $table');
printf ('KEPT %d\n', getfield (vorlex ('resultGet', r, '%int4', 0), 'value'));
r = vorlex ('exec', conn, 'select 42::int4');
printf ('NEXT %d\n', getfield (vorlex ('resultGet', r, '%int4', 0), 'value'));
vorlex ('exec', watch, 'drop table $table');
OCTAVE
}

# Runs one case; prints its outcome and returns non-zero when it fails.
runCase() {
    local name=$1 command=$2 shown=$3 setup=$4 call=$5 after=$6
    local table="vorlex_ctrl_c_$$_$RANDOM"
    call=${call//TBL/$table}; setup=${setup//TBL/$table}; after=${after//TBL/$table}
    if [[ $setup$call == *SILENT* || $setup$call == *ONCE* ]]; then
        if [ -z "$listener" ] && ! startListener; then
            echo "skip $name: no python3 for the local ports"
            return 2
        fi
        local silent once
        read -r silent once < "$work/ports"
        setup=${setup//ONCE/$once}
        call=${call//SILENT/$silent}; call=${call//ONCE/$once}
    fi
    writeScript "$table" "$setup" "$call" "$after"
    : > "$work/out"
    octave-cli --norc --no-history --quiet --path "$build" "$work/case.m" > "$work/out" 2>&1 &
    local child=$!
    local failure=
    if ! awaitLine READY 60; then
        failure="the script never came to the call"
    else
        local pid
        pid=$(lineValue READY)
        if [ "$shown" = none ]; then
            sleep 1
        else
            local deadline=$((SECONDS + 30))
            until [ "$(sql "select count (*) from pg_stat_activity where pid = $pid
                            and state = 'active' and ($shown)")" = 1 ]; do
                [ $SECONDS -gt $deadline ] && { failure="the command never waited on the server"; break; }
                sleep 0.05
            done
            sleep 0.5
        fi
    fi
    local elapsed=  # milliseconds from the signal to the script's next line
    if [ -z "$failure" ]; then
        local start
        start=$(date +%s%N)
        kill -INT "$child"
        if awaitLine RETURNED 30; then
            elapsed=$((($(date +%s%N) - start) / 1000000))
        else
            failure="control did not come back within 30 s of the signal"
        fi
    fi
    # The rest of the script: its checks, then its end.
    local deadline=$((SECONDS + 60))
    while kill -0 "$child" 2>/dev/null && [ $SECONDS -le $deadline ]; do sleep 0.1; done
    kill -KILL "$child" 2>/dev/null
    wait "$child" 2>/dev/null
    if [ -z "$failure" ]; then
        local returned active kept next
        returned=$(lineValue RETURNED); active=$(lineValue ACTIVE)
        kept=$(lineValue KEPT); next=$(lineValue NEXT)
        if [ "$returned" != "vorlex:$command:interrupted" ]; then
            failure="the error was '$returned', not vorlex:$command:interrupted"
        elif [ "$elapsed" -gt 5000 ]; then
            failure="control came back $elapsed ms after the signal"
        elif [ "$active" != 0 ]; then
            failure="the server still runs the connection's command (active: '$active')"
        elif [ "$kept" != 0 ]; then
            failure="rows of the interrupted load were kept ('$kept')"
        elif [ "$next" != 42 ]; then
            failure="the next command on the connection failed"
        fi
    fi
    sql "drop table if exists $table" >/dev/null
    if [ -n "$failure" ]; then
        echo "FAIL $name: $failure"
        sed 's/^/    /' "$work/out"
        return 1
    fi
    echo "ok   $name: back $elapsed ms after the signal ($(lineValue MESSAGE))"
}

passed=0 failed=0 skipped=0
for row in "${cases[@]}"; do
    IFS='|' read -r name command shown setup call after <<< "$row"
    runCase "$name" "$command" "$shown" "$setup" "$call" "$after"
    case $? in
        0) passed=$((passed + 1)) ;;
        2) skipped=$((skipped + 1)) ;;
        *) failed=$((failed + 1)) ;;
    esac
done
echo "$passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
