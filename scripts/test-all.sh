#!/usr/bin/env bash
# test-all.sh: every test of the project, as CI runs it: the host build, the
# same under AddressSanitizer and UndefinedBehaviorSanitizer, the engine's and
# setup's tests as 32-bit programs, a minute of
# fuzzing for each fuzz target, tvunzip under valgrind's memcheck, and the
# Windows build with its tests under 32-bit Wine on Xvfb.  Prints one closing
# line with the counts of all of them (each of the two checks counts as one;
# Wine tests that this machine cannot run count as skipped).
#
# Where 32-bit Wine cannot start but 64-bit Wine can, the same sources are
# also built as 64-bit programs (preset win64, never shipped) and their Wine
# tests run in place of the 32-bit ones: then those are the Wine tests that
# count, and none is skipped.
set -uo pipefail
cd "$(dirname "$0")/.."
# The tools the set-up installs come first, so that a machine with others of
# its own (a Python of another release) tests as a fresh machine does.
export PATH=/usr/bin:/bin:$PATH
# The presets leave the number of build jobs to the caller: every core here.
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}
bash scripts/install-deps.sh || exit 1

logs=build/test-logs
mkdir -p "$logs"
passed=0 failed=0 status=0
# Some machines' kernels refuse 32-bit x86 code (IA-32 emulation off), and
# 32-bit Wine cannot start there.  The Windows build and its checks that need
# no Wine still run; the Wine tests then run as 64-bit programs under 64-bit
# Wine, and where that cannot start either they count as skipped, said so.
skipped=0
wine_runs() { timeout 60 /usr/lib/wine/wine --version >/dev/null 2>&1; }
wine64_runs() { timeout 60 /usr/lib/wine/wine64 --version >/dev/null 2>&1; }
presets=(host host-asan host-i686 win32)
wine_runs || ! wine64_runs || presets+=(win64)
# The 32-bit build's engine and setup tests (the code SETUP.EXE ships, its
# 4-byte table entries and setjmp buffer) run natively where the machine runs
# 32-bit code, and under qemu's user-mode emulation where it does not.
i686_tests() {
  cmake --preset host-i686 && cmake --build --preset host-i686 || return 1
  local emulator=""
  if build/host-i686/tests/inflate/test_inflate --gtest_list_tests >/dev/null 2>&1; then
    echo "test-all: the 32-bit tests run natively" >&2
  else
    echo "test-all: this machine cannot run 32-bit x86 code; the 32-bit tests run under qemu-i386-static" >&2
    emulator="qemu-i386-static;-L;/"
  fi
  cmake --preset host-i686 -DCMAKE_CROSSCOMPILING_EMULATOR="$emulator" >/dev/null &&
    ctest --preset host-i686
}
workflow() {
  if [ "$1" = host-i686 ]; then
    i686_tests
  elif [ "$1" = win64 ]; then
    echo "test-all: the Wine tests run as 64-bit programs under 64-bit Wine" >&2
    cmake --preset win64 && cmake --build --preset win64 && ctest --preset win64 -L wine
  elif [ "$1" != win32 ] || wine_runs; then
    cmake --workflow --preset "$1"
  else
    echo "test-all: this machine cannot run 32-bit x86 code; the 32-bit Wine tests are left out" >&2
    cmake --preset win32 && cmake --build --preset win32 && ctest --preset win32 -LE wine
  fi
}
for preset in "${presets[@]}"; do
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
    # The 64-bit runs stand for the 32-bit Wine tests left out above.
    [ "$preset" = win64 ] && skipped=0
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
