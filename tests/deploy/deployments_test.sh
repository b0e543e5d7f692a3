#!/bin/bash
# The module in deployments beside a single server, each against real
# servers this driver starts next to the one the PG* variables name:
#   - through PgBouncer, in session and in transaction pooling mode: every
#     command works, or fails with the error that says why pooling prevents
#     it;
#   - a multi-host connection string whose first server stops: reset
#     reaches the second;
#   - four octave-cli processes loading one partition each of one table at
#     once with copyIn: every row is there once.
# Usage: deployments_test.sh BUILD_DIR (the PG* variables name the server).
set -u

build=$(cd "${1:?usage: deployments_test.sh BUILD_DIR}" && pwd)
work=$(mktemp -d)
chmod 755 "$work"
[ "$(id -u)" = 0 ] && chown postgres "$work"  # see asServer
bouncer= spare=
cleanUp() {
    [ -n "$bouncer" ] && kill "$bouncer" 2>/dev/null
    [ -n "$spare" ] && asServer pg_ctl -D "$work/spare" -m immediate stop >/dev/null 2>&1
    rm -rf "$work"
}
trap cleanUp EXIT

pgbin=$(pg_config --bindir 2>/dev/null)
[ -x "$pgbin/initdb" ] || pgbin=$(dirname "$(command -v initdb)")

# PgBouncer and the spare server refuse to run as root: as root they run as
# the postgres user.
asServer() {
    if [ "$(id -u)" = 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

freePort() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
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
# pooling each transaction may run on another server connection: query and
# copyOut describe their statement in one round trip and use it in the
# next, so there they run inside a transaction of the caller's (README).
commands=(
"exec|session transaction|r = vorlex ('exec', c, 'select 41 + 1'); assert (vorlex ('resultGet', r, '%int4', 0).value, int32 (42));"
"execText|session transaction|r = vorlex ('execText', c, 'select 42'); assert (vorlex ('getValue', r, 0, 0), int32 (42));"
"paramExec|session transaction|p = vorlex ('paramCreate', c); vorlex ('paramPut', p, '%int4', int32 (41)); r = vorlex ('paramExec', c, p, 'select \$1 + 1'); assert (vorlex ('resultGet', r, '%int4', 0).value, int32 (42));"
"fieldType|session transaction|r = vorlex ('exec', c, 'select 1::int8'); assert (vorlex ('fieldType', r, 0), 20);"
"batchExec|session transaction|vorlex ('exec', c, 'create table TBL (a int4)'); for k = 1:5 vorlex ('batchExec', c, 'insert into TBL values (\$1)', '%int4', struct ('a', int32 ((1:3)'))); end; assert (vorlex ('resultGet', vorlex ('exec', c, 'select count(*)::int4 from TBL'), '%int4', 0).value, int32 (15));"
"copyIn|session transaction|vorlex ('exec', c, 'create table TBL (a int4)'); assert (vorlex ('copyIn', c, 'TBL', '%int4', struct ('a', int32 ((1:1000)'))), 1000);"
"reset|session transaction|vorlex ('reset', c); assert (vorlex ('status', c), 0);"
"query|session|for k = 1:5 d = vorlex ('query', c, 'select \$1::int4 + 1 as v', {int32(k)}); assert (d.v, int32 (k + 1)); end"
"copyOut|session|for k = 1:5 s = vorlex ('copyOut', c, sprintf ('select g::int4 from generate_series (1, %d) g', k), '%int4'); assert (s.value, int32 ((1:k)')); end"
"query in a transaction|session transaction|vorlex ('exec', c, 'begin'); for k = 1:5 d = vorlex ('query', c, 'select \$1::int4 + 1 as v', {int32(k)}); assert (d.v, int32 (k + 1)); end; vorlex ('exec', c, 'commit');"
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

bouncerCases() {
    if ! command -v pgbouncer >/dev/null; then
        echo "skip PgBouncer: not installed (scripts/deps.sh installs it)"
        skipped=$((skipped + 1))
        return
    fi
    local port
    port=$(freePort)
    if ! startBouncer "$port"; then
        echo "FAIL PgBouncer did not start"; sed 's/^/    /' "$work/bouncer.out" "$work/bouncer.log" 2>/dev/null
        failed=$((failed + 1))
        return
    fi
    local mode row name modes code table outcome got
    for mode in session transaction; do
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
                echo "ok   PgBouncer $mode pooling: $name"
                passed=$((passed + 1))
            else
                echo "FAIL PgBouncer $mode pooling: $name gave '$got'"
                sed 's/^/    /' <<< "$outcome"
                failed=$((failed + 1))
            fi
        done
    done
}

# --- Multi-host connection strings -------------------------------------------
multiHostCase() {
    local port
    port=$(freePort)
    mkdir -p "$work/spare" && chown postgres "$work/spare" 2>/dev/null
    if ! asServer "$pgbin/initdb" -D "$work/spare" -A trust -U "${PGUSER:-postgres}" >/dev/null 2>&1 ||
       ! asServer "$pgbin/pg_ctl" -D "$work/spare" -w -l "$work/spare.log" \
             -o "-p $port -k $work -c listen_addresses=''" start >/dev/null 2>&1; then
        echo "FAIL multi-host: the spare server did not start"; failed=$((failed + 1)); return
    fi
    spare=1
    # The spare server answers first; once it stops, reset reaches the
    # test server, the second host.
    local outcome
    outcome=$(runOctave "c = vorlex ('connect', 'CONNINFO');
port = @() vorlex ('getValue', vorlex ('exec', c, 'select current_setting (''port'')::int4'), 0, 0);
printf ('FIRST %d\n', port ()); fflush (stdout);
while (! exist ('$work/stopped', 'file')) pause (0.05); end
try
  vorlex ('exec', c, 'select 1');
catch err
  printf ('LOST %s\n', err.identifier);
end_try_catch
vorlex ('reset', c);
printf ('SECOND %d\n', port ());" \
        "host=$work,${PGHOST:-localhost} port=$port,${PGPORT:-5432} dbname=${PGDATABASE:-postgres}" &
    )
    echo "$outcome"
}

passed=0 failed=0 skipped=0
bouncerCases
echo "$passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
