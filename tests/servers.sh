# SPDX-License-Identifier: BSD-3-Clause
# servers.sh - sourced by the test drivers that start servers of their own
# (tests/deploy, tests/security): a temporary folder `work` the servers can
# use, the PostgreSQL programs in `pgbin`, asServer to run them (they refuse
# to run as root: as root they run as the postgres user, which then owns
# what they make), stopStarted to stop every cluster whose data folder the
# driver added to `started` (which cleanUp does at exit, then removes the
# folder), a free local port, and the cases' pass and fail.

work=$(mktemp -d)
chmod 755 "$work"
[ "$(id -u)" = 0 ] && chown postgres "$work"
started=()
passed=0 failed=0

pgbin=$(pg_config --bindir 2>/dev/null)
[ -x "$pgbin/initdb" ] || pgbin=$(dirname "$(command -v initdb)")

asServer() {
    if [ "$(id -u)" = 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

stopStarted() {
    local data
    for data in "${started[@]}"; do
        asServer "$pgbin/pg_ctl" -D "$data" -m immediate stop >/dev/null 2>&1
    done
}

cleanUp() {
    stopStarted
    rm -rf "$work"
}
trap cleanUp EXIT

freePort() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# A case's outcome: "ok" and its message, or "FAIL", its message and what
# was read on standard input to show why, indented.
pass() {
    echo "ok   $1"
    passed=$((passed + 1))
}
fail() {
    echo "FAIL $1"
    sed 's/^/    /'
    failed=$((failed + 1))
}
