#!/bin/bash
# SPDX-License-Identifier: BSD-3-Clause
# The module against a primary and a hot standby that follows it, both
# started here in a temporary folder on Unix sockets (pg_basebackup -R):
#   - target_session_attrs=read-only reaches the standby, where reading
#     commands work and writing ones are refused with the server's 25006
#     (read_only_sql_transaction), the connection ready after each;
#   - once the primary stops and the standby is promoted, a multi-host
#     connection made before resets onto the new primary and writes there.
# Usage: standby_test.sh BUILD_DIR
set -u

build=$(cd "${1:?usage: standby_test.sh BUILD_DIR}" && pwd)
. "$(dirname "$0")/../servers.sh"

# sql PORT TEXT: runs TEXT on the server at PORT, prints its one value.
sql() { psql -XAtq -h "$work" -p "$1" -U postgres -d postgres -c "$2" 2>/dev/null; }

# startCluster NAME PORT: starts the cluster in $work/NAME on PORT.
startCluster() {
    asServer "$pgbin/pg_ctl" -D "$work/$1" -w -l "$work/$1.log" \
        -o "-p $2 -k $work -c listen_addresses=''" start >/dev/null 2>&1 &&
        started+=("$work/$1")
}

# Their sockets are in $work alone (no TCP): the ports cannot collide with
# another server's.
primary=5432 standby=5433
table=standing
# makePrimary: a cluster that streams its WAL to a standby over its socket.
makePrimary() {
    asServer "$pgbin/initdb" -D "$work/primary" -N -A trust -U postgres >"$work/initdb.log" 2>&1 &&
        printf '%s\n' 'wal_level = replica' 'max_wal_senders = 4' 'hot_standby = on' 'fsync = off' \
            >> "$work/primary/postgresql.conf" &&
        printf '%s\n' 'local all all trust' 'local replication all trust' > "$work/primary/pg_hba.conf"
}
if ! makePrimary || ! startCluster primary "$primary" ||
   ! sql "$primary" "create table $table (a int4, b text); insert into $table values (1, 'one'), (2, 'two')" >/dev/null ||
   ! asServer "$pgbin/pg_basebackup" -D "$work/standby" -R -c fast -N -h "$work" -p "$primary" -U postgres \
         >"$work/basebackup.log" 2>&1 ||
   ! startCluster standby "$standby"; then
    fail "the primary and its standby did not start" \
        < <(cat "$work/initdb.log" "$work/primary.log" "$work/basebackup.log" "$work/standby.log" 2>/dev/null)
    exit 1
fi

hosts="host=$work,$work port=$primary,$standby user=postgres dbname=postgres"

# --- Commands on the standby --------------------------------------------------
# One case per line, fields split by "|": name | the outcome: "works", or the
# SQLSTATE its error must carry | Octave code run on the connection c.  After
# each, the connection must still answer a query.
commands=(
"query|works|d = vorlex ('query', c, 'select a, b from $table order by a'); assert (d.a, [1; 2]); assert (d.b, {'one'; 'two'});"
"copyOut|works|s = vorlex ('copyOut', c, 'select a from $table order by a', '%int4'); assert (s.value, int32 ([1; 2]));"
"insert|25006|vorlex ('insert', c, '$table', struct ('a', int32 (3), 'b', {{'three'}}));"
"copyIn|25006|vorlex ('copyIn', c, '$table', '%int4 %text', struct ('a', int32 (3), 'b', {{'three'}}));"
"batchExec|25006|vorlex ('batchExec', c, 'insert into $table values (\$1)', '%int4', struct ('a', int32 ([3; 4])));"
)

standbyCases() {
    local row name expected code script
    script="c = vorlex ('connect', '$hosts target_session_attrs=read-only');
d = vorlex ('query', c, 'select pg_is_in_recovery () as r, current_setting (''port'') as p');
printf ('REACHED %d %s\n', d.r, d.p{1});"
    for row in "${commands[@]}"; do
        IFS='|' read -r name expected code <<< "$row"
        script+="
try
  $code
  outcome = 'works';
catch err
  outcome = [err.identifier ' ' strrep(err.message, \"\\n\", ' ')];
end_try_catch
try
  assert (vorlex ('query', c, 'select 1 as one').one, 1);
catch err
  outcome = [outcome ' | then: ' err.message];
end_try_catch
printf ('OUTCOME $name %s\n', outcome);"
    done
    printf '%s\n' "$script" > "$work/standby.m"
    local out got
    out=$(octave-cli --norc --no-history --quiet --path "$build" "$work/standby.m" 2>&1)
    if grep -aq "^REACHED 1 $standby$" <<< "$out"; then
        pass "target_session_attrs=read-only reaches the standby"
    else
        fail "target_session_attrs=read-only: $(grep -a '^REACHED' <<< "$out")" <<< "$out"
    fi
    for row in "${commands[@]}"; do
        IFS='|' read -r name expected code <<< "$row"
        got=$(grep -a "^OUTCOME $name " <<< "$out" | head -n 1 | cut -d' ' -f3-)
        if [ "$expected" = works ] && [ "$got" = works ] ||
           [[ "$expected" != works && "$got" =~ ^vorlex:$name:[A-Za-z]+\ .*$expected && "$got" != *then:* ]]; then
            pass "standby: $name ${expected/#2/refused with 2}"
        else
            fail "standby: $name gave '$got', not $expected" <<< "$out"
        fi
    done
}

# --- Promotion --------------------------------------------------------------
# A connection to the primary made through both hosts; the primary stops, the
# standby is promoted, and the connection's reset reaches it and writes.
promotionCase() {
    printf '%s\n' "c = vorlex ('connect', '$hosts target_session_attrs=read-write');
port = @() vorlex ('query', c, 'select current_setting (''port'') as p').p{1};
printf ('FIRST %s\n', port ()); fflush (stdout);
while (! exist ('$work/promoted', 'file')) pause (0.05); end
try
  vorlex ('exec', c, 'select 1');
  printf ('LOST none\n');
catch err
  printf ('LOST %s\n', err.identifier);
end_try_catch
vorlex ('reset', c);
printf ('SECOND %s\n', port ());
vorlex ('insert', c, '$table', struct ('a', int32 (3), 'b', {{'three'}}));
printf ('WROTE %d\n', vorlex ('query', c, 'select count (*)::int4 as n from $table').n);" > "$work/promote.m"
    octave-cli --norc --no-history --quiet --path "$build" "$work/promote.m" > "$work/promote.out" 2>&1 &
    local child=$! deadline=$((SECONDS + 30))
    until grep -aq '^FIRST' "$work/promote.out" || [ $SECONDS -gt $deadline ]; do sleep 0.05; done
    asServer "$pgbin/pg_ctl" -D "$work/primary" -m fast stop >/dev/null 2>&1
    started=("$work/standby")
    # pg_ctl promote -w returns once the standby is out of recovery.
    asServer "$pgbin/pg_ctl" -D "$work/standby" -w promote >/dev/null 2>&1
    local recovering
    recovering=$(sql "$standby" 'select pg_is_in_recovery ()')
    touch "$work/promoted"
    deadline=$((SECONDS + 30))
    while kill -0 "$child" 2>/dev/null && [ $SECONDS -le $deadline ]; do sleep 0.1; done
    kill -KILL "$child" 2>/dev/null
    wait "$child" 2>/dev/null
    local first lost second wrote
    first=$(grep -a '^FIRST ' "$work/promote.out" | cut -d' ' -f2)
    lost=$(grep -a '^LOST ' "$work/promote.out" | cut -d' ' -f2)
    second=$(grep -a '^SECOND ' "$work/promote.out" | cut -d' ' -f2)
    wrote=$(grep -a '^WROTE ' "$work/promote.out" | cut -d' ' -f2)
    if [ "$recovering" = f ] && [ "$first" = "$primary" ] && [ "$lost" = vorlex:exec:connectionLost ] &&
       [ "$second" = "$standby" ] && [ "$wrote" = 3 ]; then
        pass "promotion: reset moved from the primary to the promoted standby, which took a row"
    else
        fail "promotion: standby in recovery '$recovering', first port '$first' (primary $primary), loss '$lost', after reset '$second' (standby $standby), rows '$wrote'" \
            < "$work/promote.out"
    fi
}

standbyCases
promotionCase
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
