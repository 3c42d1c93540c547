#!/usr/bin/env bash
# test-all.sh: every test of the project, as CI runs it: the host build, the
# same under AddressSanitizer and UndefinedBehaviorSanitizer, a minute of
# fuzzing for each fuzz target, tvunzip under valgrind's memcheck, and the
# Windows build with its tests under 32-bit Wine on Xvfb.  Prints one closing
# line with the counts of all of them (each of the two checks counts as one;
# Wine tests that this machine cannot run count as skipped).
set -uo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh || exit 1

logs=build/test-logs
mkdir -p "$logs"
passed=0 failed=0 status=0
# Some machines' kernels refuse 32-bit x86 code (IA-32 emulation off), and
# 32-bit Wine cannot start there.  The Windows build and its checks that need
# no Wine still run; the Wine tests are counted as skipped, and said so.
skipped=0
wine_runs() { timeout 60 /usr/lib/wine/wine --version >/dev/null 2>&1; }
workflow() {
  if [ "$1" != win32 ] || wine_runs; then
    cmake --workflow --preset "$1"
    return
  fi
  echo "test-all: this machine cannot run 32-bit x86 code; the Wine tests are left out" >&2
  cmake --preset win32 && cmake --build --preset win32 && ctest --preset win32 -LE wine
}
for preset in host host-asan win32; do
  echo "=== $preset"
  workflow "$preset" 2>&1 | tee "$logs/$preset.log"
  [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
  if [ "$preset" = win32 ] && ! wine_runs; then
    skipped=$(ctest --test-dir build/win32 -N -L wine | sed -nE 's/^Total Tests: ([0-9]+)/\1/p')
  fi
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$logs/$preset.log" | tail -1)
  if [ -n "$line" ]; then
    total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
    bad=$(sed -E 's/.*passed, ([0-9]+) tests? failed.*/\1/' <<<"$line")
    passed=$((passed + total - bad))
    failed=$((failed + bad))
  else
    echo "test-all: $preset did not reach its tests" >&2
    failed=$((failed + 1))
    status=1
  fi
  if [ "$preset" = host ]; then
    for check in "fuzz/run.sh --ci" "tests/robust/memcheck.sh"; do
      echo "=== $check"
      if bash $check; then passed=$((passed + 1)); else failed=$((failed + 1)); status=1; fi
    done
  fi
done
echo "tests: $passed passed, $failed failed, ${skipped:-0} skipped"
exit $status
