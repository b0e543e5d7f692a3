#!/bin/sh
# SPDX-License-Identifier: BSD-3-Clause
# The mex build route: vorlex_build (the file MATLAB users run) under Octave
# into a throwaway folder, then smoke.m against the server with the module
# from that folder alone on the path, and its banner's version from VERSION.
set -eu

root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
start=$(date +%s)
octave-cli --norc --no-history --quiet --path "$root" --eval "vorlex_build ('outdir', '$work/out')"
echo "vorlex_build took $(($(date +%s) - start)) s"
octave-cli --norc --no-history --quiet --path "$work/out" --eval "
run ('$root/tests/package/smoke.m');
assert (strcmp (which ('vorlex'), '$work/out/vorlex.mex'));
assert (! isempty (strfind (evalc ('vorlex ()'), 'vorlex $(head -n 1 "$root/VERSION"):')));
"
echo "vorlex_build route passed"
