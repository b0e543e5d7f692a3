#!/bin/sh
# SPDX-License-Identifier: BSD-3-Clause
# Checks that the C++ sources are laid out as .clang-format says: lists each
# file clang-format would change, and fails if there is any.
#
#   scripts/check_format.sh [clang-format]
set -eu

formatter=${1:-clang-format}
cd "$(dirname "$0")/.."
if ! command -v "$formatter" >/dev/null 2>&1; then
    echo "no $formatter: the layout is not checked" >&2
    exit 1
fi

drifting=0
for file in $(find src tests/unit -name '*.cpp' -o -name '*.hpp' | sort) bench/*.cpp; do
    if ! "$formatter" --style=file --dry-run --Werror "$file" >/dev/null 2>&1; then
        echo "not laid out as .clang-format says: $file (run: $formatter -i $file)"
        drifting=$((drifting + 1))
    fi
done
[ "$drifting" -eq 0 ] || {
    echo "$drifting file(s) drift from .clang-format"
    exit 1
}
