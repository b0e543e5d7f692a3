#!/bin/sh
# SPDX-License-Identifier: BSD-3-Clause
# Installs the Debian packages vorlex needs to build, test and run its demo.
# As root it installs what is missing; otherwise it prints the command to run.
set -eu

packages="g++ make cmake pkg-config libpq-dev libpqtypes-dev postgresql octave liboctave-dev \
googletest libgtest-dev pgbouncer openssl"

missing=""
for package in $packages; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    case "$status" in
        *"ok installed") ;;
        *) missing="$missing $package" ;;
    esac
done

[ -z "$missing" ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "vorlex needs these Debian packages; install them with:" >&2
    echo "  sudo apt-get install -y$missing" >&2
    exit 1
fi
echo "installing:$missing"
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
# shellcheck disable=SC2086
apt-get install -y -q $missing
