#!/bin/sh
# SPDX-License-Identifier: BSD-3-Clause
# Writes vorlex-<version>.tar.gz, an Octave package for pkg install: the
# DESCRIPTION, COPYING, NEWS and INDEX, the function files in inst/, in doc/
# the README and the reference (doc/reference.txt, which
# scripts/write_help_file.sh writes), which pkg installs as they are, and in
# src/ the module's sources with Octave's host backend, VERSION and the
# Makefile pkg runs (scripts/package/).  The version is the VERSION file's.
#
#   scripts/make_dist.sh [output folder]
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
out=$(mkdir -p "${1:-.}" && cd "${1:-.}" && pwd)
version=$(head -n 1 "$root/VERSION")
name=vorlex-$version
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
package=$stage/$name

mkdir -p "$package/inst" "$package/src" "$package/doc"
cat >"$package/DESCRIPTION" <<DESCRIPTION
Name: vorlex
Version: $version
Date: $(date -u +%Y-%m-%d)
Author: The vorlex developers
Maintainer: The vorlex developers
Title: Typed binary PostgreSQL access
Description: A MEX module that gives Octave fast, typed, binary access to
 PostgreSQL through libpq and libpqtypes: connections, one-call queries whose
 columns are read by their types, inserts of a struct by column name,
 parameter sets, binary results read as whole typed columns, pipelined batch
 inserts and bulk binary COPY in and out.
License: BSD-3-Clause
Depends: octave (>= 7.0.0)
SystemRequirements: libpq-dev, libpqtypes-dev
BuildRequires: libpq-dev, libpqtypes-dev
DESCRIPTION

cat >"$package/INDEX" <<INDEX
vorlex >> Typed binary PostgreSQL access
PostgreSQL
 vorlex
Values in bytea columns
 vorlex_serialize
 vorlex_deserialize
INDEX

cat >"$package/NEWS" <<NEWS
Summary of changes in vorlex $version
================================

 ** Installs as an Octave package: pkg install vorlex-$version.tar.gz, then
    pkg load vorlex.  42 commands: connections, query, insert, parameter
    sets, binary and text results, batchExec, copyIn and copyOut, lastError;
    help vorlex lists them, vorlex('help', 'command') shows one and
    vorlex('help', 'types') a topic.  doc/ holds the README and the
    reference.
NEWS

cp "$root/COPYING" "$package/"
cp "$root/README.md" "$root/doc/reference.txt" "$package/doc/"
# vorlex.m and vorlex_matelement.m go through src/ and post_install.m beside
# the MEX files whose help they hold; the function files stay in inst/.
cp "$root/inst"/*.m "$package/inst/"
mv "$package/inst/vorlex.m" "$package/inst/vorlex_matelement.m" "$package/src/"
cp "$root/scripts/package/post_install.m" "$root/scripts/package/on_uninstall.m" "$package/"

(cd "$root/src" && find . -name '*.cpp' -o -name '*.hpp' -o -name '*.in' -o -name '*.map' -o -name folders.txt) |
    grep -v '^\./backend/mex/' |
    while read -r file; do
        mkdir -p "$package/src/$(dirname "$file")"
        cp "$root/src/$file" "$package/src/$file"
    done
cp "$root/VERSION" "$root/scripts/package/Makefile" "$package/src/"

tar -C "$stage" -czf "$out/$name.tar.gz" "$name"
echo "$out/$name.tar.gz"
