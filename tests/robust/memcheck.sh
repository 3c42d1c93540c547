#!/usr/bin/env bash
# memcheck.sh [BUILD_DIR]: runs BUILD_DIR's tvunzip (default build/host) under
# Valgrind's memcheck over the round trip (every peer's archives, the field's
# archives, a damaged one, usage errors); fails on any error, any block left, or a failed
# round trip.
set -uo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/host}
[ -x "$build/tvunzip" ] || { echo "memcheck: build $build/tvunzip first" >&2; exit 1; }
command -v valgrind >/dev/null || { echo "memcheck: valgrind is not installed" >&2; exit 1; }

logs=$(mktemp -d /tmp/tv-memcheck-XXXXXX)
trap 'rm -rf "$logs"' EXIT
wrapper="$logs/tvunzip"
cat >"$wrapper" <<EOF
#!/bin/sh
exec valgrind --tool=memcheck --leak-check=full --show-leak-kinds=all --errors-for-leak-kinds=all \
    --track-fds=no --log-file="$logs/vg.%p.log" "$(realpath "$build/tvunzip")" "\$@"
EOF
chmod +x "$wrapper"

# The round trip, less its interrupt through a pipe, whose timing does not
# hold under Valgrind's slowdown.
TZ=CET-1CEST,M3.5.0,M10.5.0/3 python3 tests/tools/roundtrip.py --no-interrupt "$wrapper" >"$logs/roundtrip.out" 2>&1
roundtrip=$?

runs=0 errors=0 lost=0 unfreed=0
for log in "$logs"/vg.*.log; do
    [ -e "$log" ] || continue
    runs=$((runs + 1))
    e=$(sed -n 's/.*ERROR SUMMARY: \([0-9]*\) errors.*/\1/p' "$log" | tail -1)
    errors=$((errors + ${e:-1}))
    if ! grep -q "All heap blocks were freed" "$log"; then
        unfreed=$((unfreed + 1))
        grep -qE "(definitely|indirectly|possibly) lost: [1-9]" "$log" && lost=$((lost + 1))
        [ "$unfreed" -le 3 ] && sed -n '/HEAP SUMMARY/,/ERROR SUMMARY/p' "$log"
    fi
done
tail -1 "$logs/roundtrip.out"
echo "memcheck: $runs runs of tvunzip, $errors errors, $lost runs losing blocks," \
    "$unfreed runs with blocks in use at exit; round trip exit $roundtrip"
[ "$runs" -gt 0 ] && [ "$errors" -eq 0 ] && [ "$unfreed" -eq 0 ] && [ "$roundtrip" -eq 0 ]
