#!/bin/sh
# SPDX-License-Identifier: BSD-3-Clause
# Checks that the C++ sources are laid out as .clang-format says: lists each
# file clang-format would change, and fails if there is any.
#
#   scripts/check_format.sh [clang-format]
set -eu

format=${1:-clang-format}
cd "$(dirname "$0")/.."
if ! command -v "$format" >/dev/null 2>&1; then
    echo "no $format: the layout is not checked" >&2
    exit 1
fi

drifting=0
for file in $(find src tests/unit -name '*.cpp' -o -name '*.hpp' | sort) bench/*.cpp; do
    if ! "$format" --style=file --dry-run --Werror "$file" >/dev/null 2>&1; then
        echo "not laid out as .clang-format says: $file (run: $format -i $file)"
        drifting=$((drifting + 1))
    fi
done
[ "$drifting" -eq 0 ] || {
    echo "$drifting file(s) drift from .clang-format"
    exit 1
}
