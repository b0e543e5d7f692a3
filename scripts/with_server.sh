#!/bin/sh
# SPDX-License-Identifier: BSD-3-Clause
# Runs a command with a PostgreSQL server to talk to.  When the PG*
# environment already names a server, that one is used; otherwise the
# command runs inside a throwaway cluster in a temporary folder that
# pg_virtualenv creates and drops afterwards (-t: unique to this run, so
# parallel or killed runs never collide).  The throwaway server writes its
# messages in the C locale (lc_messages), so that tests comparing them do not
# depend on the machine's language.
set -eu

if [ -n "${PGHOST:-}${PGPORT:-}${PGDATABASE:-}${PGSERVICE:-}" ]; then
    exec "$@"
fi
exec pg_virtualenv -t -o lc_messages=C "$@"
