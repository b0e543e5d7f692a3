#!/bin/sh
# SPDX-License-Identifier: BSD-3-Clause
# Installs the Debian packages vorlex needs to build, test and run its demo.
# As root it installs what is missing; otherwise it prints the command to run.
set -eu

packages="g++ make cmake pkg-config libpq-dev libpqtypes-dev postgresql octave liboctave-dev \
googletest libgtest-dev pgbouncer openssl locales clang-format"

missing=""
for package in $packages; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    case "$status" in
        *"ok installed") ;;
        *) missing="$missing $package" ;;
    esac
done

# The tests read the server's messages in German too (lc_messages).
german_missing() { ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; }

if [ -z "$missing" ] && ! german_missing; then exit 0; fi

if [ "$(id -u)" -ne 0 ]; then
    if [ -n "$missing" ]; then
        echo "vorlex needs these Debian packages; install them with:" >&2
        echo "  sudo apt-get install -y$missing" >&2
        exit 1
    fi
    echo "note: no de_DE.UTF-8 locale: the German message tests are skipped" >&2
    echo "  (as root: sed -i 's/^# *de_DE.UTF-8/de_DE.UTF-8/' /etc/locale.gen && locale-gen)" >&2
    exit 0
fi
if [ -n "$missing" ]; then
    echo "installing:$missing"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    # shellcheck disable=SC2086
    apt-get install -y -q $missing
fi
if german_missing; then
    sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
    locale-gen
fi
