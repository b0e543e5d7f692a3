#!/bin/sh
# SPDX-License-Identifier: BSD-3-Clause
# Adds the SPDX licence line to every source file that lacks it: at the top
# of C++ sources and CMake scripts, after the shebang of shell and Python
# scripts, and as the last line of .m files (Octave and MATLAB take a
# function's help from its first comment block, which must stay the help).
#
#   scripts/add_licence_headers.sh
set -eu

cd "$(dirname "$0")/.."
tag="SPDX-License-Identifier: BSD-3-Clause"

has_tag() {
    head -n 2 "$1" | grep -q "$tag"
}
ends_with_tag() {
    tail -n 1 "$1" | grep -q "$tag"
}

{
    find src tests/unit -name '*.cpp' -o -name '*.hpp' -o -name '*.hpp.in'
    ls bench/*.cpp
} | while read -r file; do
    has_tag "$file" || { printf '// %s\n' "$tag" | cat - "$file" >"$file.new" && mv "$file.new" "$file"; }
done

find scripts -name '*.cmake' | while read -r file; do
    has_tag "$file" || { printf '# %s\n' "$tag" | cat - "$file" >"$file.new" && mv "$file.new" "$file"; }
done

find scripts tests bench -name '*.sh' -o -name '*.py' | while read -r file; do
    has_tag "$file" && continue
    if head -n 1 "$file" | grep -q '^#!'; then
        sed -i "1a # $tag" "$file"
    else
        sed -i "1i # $tag" "$file"
    fi
done

find . -path ./build -prune -o -path './build-*' -prune -o -name '*.m' -print | while read -r file; do
    ends_with_tag "$file" && continue
    [ -n "$(tail -c 1 "$file")" ] && echo >>"$file"
    printf '%% %s\n' "$tag" >>"$file"
done
