#!/bin/bash
# Runs every test of the build folder through ctest, with a server, and
# ends with one line "N passed, M failed".
set -uo pipefail

build=${1:-build}
log=$(mktemp)
trap 'rm -f "$log"' EXIT

"$(dirname "$0")/with_server.sh" ctest --test-dir "$build" --output-on-failure \
    --timeout 600 -j "$(nproc)" 2>&1 | tee "$log"
status=${PIPESTATUS[0]}

summary=$(grep -Eo '[0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
if [ -n "$summary" ]; then
    failed=$(echo "$summary" | awk '{print $1}')
    total=$(echo "$summary" | awk '{print $NF}')
    echo "$((total - failed)) passed, $failed failed"
else
    echo "0 passed, 0 failed (ctest did not run; status $status)"
    [ "$status" -eq 0 ] && status=1
fi
exit "$status"
