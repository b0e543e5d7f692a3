#!/bin/sh
# SPDX-License-Identifier: BSD-3-Clause
# Writes inst/vorlex.m, the comments Octave and MATLAB show for `help vorlex`
# (a MEX file's help is read from the .m file of its name beside it), from
# the overview vorlex('help') gives in a build folder, and doc/reference.txt,
# the overview then every command's and topic's help, which the package
# installs.  Run it after a change to the help in src/gateway/dispatch.cpp's
# command table or src/gateway/command_help.cpp;
# tests/octave/help.tst holds them to what the module says.
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
    echo "% Written by scripts/write_help_file.sh from the help in src/gateway/."
    echo "% SPDX-License-Identifier: BSD-3-Clause"
} >"$file.new"
mv "$file.new" "$file"
echo "wrote $file"

reference="$root/doc/reference.txt"
mkdir -p "$root/doc"
octave-cli --norc --no-history --quiet --path "$build" --eval "
    overview = vorlex ('help');
    printf ('%s', overview);
    names = regexp (overview, '\n  (\w+) ', 'tokens');
    for k = 1:numel (names)
      printf ('\n%s\n\n%s', repmat ('-', 1, 78), vorlex ('help', names{k}{1}));
    end" | sed -e 's/ *$//' >"$reference.new"
mv "$reference.new" "$reference"
echo "wrote $reference"
