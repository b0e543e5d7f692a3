#!/bin/sh
# SPDX-License-Identifier: BSD-3-Clause
# Writes inst/vorlex.m, the comments Octave and MATLAB show for `help vorlex`
# (a MEX file's help is read from the .m file of its name beside it), from
# the overview vorlex('help') gives in a build folder.  Run it after a change
# to src/gateway/command_help.cpp; tests/octave/help.tst holds the two equal.
#
#   scripts/write_help_file.sh [build folder]
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
file="$root/inst/vorlex.m"
{
    octave-cli --norc --no-history --quiet --path "$build" \
        --eval "printf ('%s', vorlex ('help'))" | sed -e 's/^/% /' -e 's/ *$//'
    echo
    echo "% Written by scripts/write_help_file.sh from src/gateway/command_help.cpp."
    echo "% SPDX-License-Identifier: BSD-3-Clause"
} >"$file.new"
mv "$file.new" "$file"
echo "wrote $file"
