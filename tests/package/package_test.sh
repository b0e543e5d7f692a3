#!/bin/sh
# SPDX-License-Identifier: BSD-3-Clause
# The Octave package's round trip: make_dist.sh writes the tarball, pkg
# installs it, without a warning, into a throwaway prefix with package lists
# of its own (never the user's), with the README and the reference in doc/;
# a fresh octave-cli loads it and runs smoke.m against the server; then
# unload and load again, and uninstall, which must unlock and close the
# module that locked itself (its library leaves the process's mappings) and
# leave nothing behind.
set -eu

root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Away from any folder holding a vorlex.mex (ctest starts in the build's).
cd "$work"
tarball=$("$root/scripts/make_dist.sh" "$work")
setup="pkg prefix $work/prefix $work/prefix; pkg local_list $work/local_list;
       pkg global_list $work/global_list;"
octave() {
    octave-cli --norc --no-history --quiet --eval "$setup $1"
}

start=$(date +%s)
# pkg's help index reads every function's help: a warning there is a fault.
octave "pkg install -local '$tarball'" 2>"$work/install.err"
echo "pkg install took $(($(date +%s) - start)) s"
cat "$work/install.err" >&2
if grep -qi warning "$work/install.err"; then
    echo "pkg install warned" >&2
    exit 1
fi
installed=$work/prefix/vorlex-$(head -n 1 "$root/VERSION")
octave "
pkg load vorlex
run ('$root/tests/package/smoke.m');
assert (strncmp (which ('vorlex'), '$work/prefix', numel ('$work/prefix')));
assert (mislocked ('vorlex'));
assert (exist ('$installed/doc/README.md', 'file') == 2);
assert (! isempty (strfind (fileread ('$installed/doc/reference.txt'), 'lastError: ')));
pkg unload vorlex
assert (exist ('vorlex'), 0);
pkg load vorlex
assert (! isempty (strfind (evalc ('vorlex ()'), 'vorlex 1.')));
pkg uninstall -local vorlex
assert (exist ('vorlex'), 0);
mapped = fileread ('/proc/self/maps');
assert (isempty (strfind (mapped, 'vorlex.mex')), 'the module stayed loaded');
assert (isempty (strfind (mapped, 'vorlex_matelement.mex')), 'the serialiser stayed loaded');
assert (! any (cellfun (@(p) strcmp (p.name, 'vorlex'), pkg ('list'))));
assert (! exist ('$installed', 'dir'));
"
echo "package round trip passed"
