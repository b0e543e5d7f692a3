#!/bin/bash
# SPDX-License-Identifier: BSD-3-Clause
# Runs the tests of a build folder through ctest, tier by tier: the unit tier
# (label "unit": GoogleTest and the include order) without a server, the
# server tier (label "server": the Octave test files) inside one
# (with_server.sh), then the security tier (label "security": TLS-only
# servers its driver starts itself).  Ends with one line "N passed, M
# failed" over the tiers run; a tier that runs no test fails.
#
#   scripts/check.sh [build folder] [all|unit|server|security]
set -uo pipefail

build=${1:-build}
tiers=${2:-all}
case "$tiers" in
    all) tiers="unit server security" ;;
    unit | server | security) ;;
    *)
        echo "usage: $0 [build folder] [all|unit|server|security]" >&2
        exit 2
        ;;
esac
here=$(dirname "$0")
log=$(mktemp)
trap 'rm -f "$log"' EXIT

status=0
passed=0
failed=0
for tier in $tiers; do
    server=()
    [ "$tier" = server ] && server=("$here/with_server.sh")
    echo "=== $tier tier"
    "${server[@]}" ctest --test-dir "$build" -L "^$tier\$" --no-tests=error \
        --output-on-failure --timeout 600 -j "$(nproc)" 2>&1 | tee "$log"
    tier_status=${PIPESTATUS[0]}
    summary=$(grep -Eo '[0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
    if [ -n "$summary" ]; then
        tier_failed=$(echo "$summary" | awk '{print $1}')
        tier_total=$(echo "$summary" | awk '{print $NF}')
        passed=$((passed + tier_total - tier_failed))
        failed=$((failed + tier_failed))
    else
        echo "the $tier tier ran no test (ctest status $tier_status)"
        [ "$tier_status" -eq 0 ] && tier_status=1
    fi
    [ "$tier_status" -ne 0 ] && status=$tier_status
done
echo "$passed passed, $failed failed"
exit "$status"
