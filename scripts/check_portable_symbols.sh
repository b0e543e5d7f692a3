#!/bin/sh
# SPDX-License-Identifier: BSD-3-Clause
# Checks that a module built with the MEX-only host backend asks its host
# for MEX and MX functions only: every symbol it leaves undefined is a mex*
# or mx* function, or one that the C and C++ runtime, libpq or libpqtypes
# define.  Prints what else it needs and fails when there is any.
# Usage: check_portable_symbols.sh MODULE
set -eu

module=${1:?usage: check_portable_symbols.sh MODULE}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The libraries the module may take symbols from, as the loader finds them.
ldd "$module" | awk '{ for (i = 1; i <= NF; i++) if ($i ~ /^\//) print $i }' |
    grep -E '/(libc|libm|libstdc\+\+|libgcc_s|libpq|libpqtypes|ld-linux[^/]*)\.so[^/]*$' \
    > "$work/libraries"
while read -r library; do
    nm -D --defined-only "$library" | awk '{ print $NF }' | sed 's/@.*//'
done < "$work/libraries" | sort -u > "$work/provided"

# Weak references (w, v) may stay unresolved; they are the toolchain's.
nm -D --undefined-only "$module" | awk '$1 == "U" { print $2 }' | sed 's/@.*//' |
    sort -u > "$work/needed"
grep -E '^mx|^mex' "$work/needed" > "$work/host" || true
grep -vE '^mx|^mex' "$work/needed" | comm -23 - "$work/provided" > "$work/foreign"

echo "$module: $(wc -l < "$work/host") MEX/MX functions from the host," \
     "$(($(wc -l < "$work/needed") - $(wc -l < "$work/host") - $(wc -l < "$work/foreign")))" \
     "symbols of the runtime, libpq and libpqtypes"
if [ -s "$work/foreign" ]; then
    echo "symbols from elsewhere (the host's own API?):"
    sed 's/^/  /' "$work/foreign"
    exit 1
fi
