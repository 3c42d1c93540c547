#!/usr/bin/env bash
# run.sh: builds the fuzz targets with clang (the fuzz preset, build/fuzz) and
# runs each for a bounded time.
# Usage: run.sh [--ci (60 s a target) | --seconds N (default 600)] [fuzz_NAME...]
# Corpora grow in build/fuzz/corpus/<target>, from the minimised corpora of
# earlier campaigns kept in fuzz/corpus/<target> (see fuzz/RESULTS.md for how
# they are merged); crashes, hangs and leaks go to
# build/fuzz/artifacts/ and fail the script; each target ends with its runs.
set -uo pipefail
cd "$(dirname "$0")/.."

seconds=600 targets=()
while [ $# -gt 0 ]; do
    case "$1" in
    --ci) seconds=60 ;;
    --seconds) seconds="$2"; shift ;;
    fuzz_*) targets+=("$1") ;;
    *) echo "usage: run.sh [--ci | --seconds N] [fuzz_tables|fuzz_inflate|fuzz_extract]..." >&2
       exit 64 ;;
    esac
    shift
done
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_tables fuzz_inflate fuzz_extract)

build=build/fuzz tmp=/tmp
[ -d /dev/shm ] && [ -w /dev/shm ] && tmp=/dev/shm
cmake --preset fuzz >"$build.configure.log" 2>&1 || { cat "$build.configure.log"; exit 1; }
cmake --build "$build" -j2 --target "${targets[@]}" >"$build.build.log" 2>&1 ||
    { tail -40 "$build.build.log"; exit 1; }
mkdir -p "$build/artifacts"

status=0
for target in "${targets[@]}"; do
    name=${target#fuzz_} log="$build/$target.log" start=$(date +%s)
    mkdir -p "$build/corpus/$name"
    echo "=== $target: $seconds s"
    TMPDIR=$tmp ASAN_OPTIONS=detect_leaks=1 "$build/fuzzers/$target" \
        -max_total_time="$seconds" -max_len=8192 -timeout=10 -rss_limit_mb=2560 \
        -dict=fuzz/zip.dict -print_final_stats=1 \
        -artifact_prefix="$build/artifacts/$target-" "$build/corpus/$name" "fuzz/corpus/$name" \
        >"$log" 2>&1
    rc=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    if [ $rc -ne 0 ]; then
        status=1
        grep -E 'ERROR|SUMMARY|Test unit written|^[A-Za-z].*(left|differ|bound|yield|refused|result)' \
            "$log" | head -20
    fi
    echo "$target: ${runs:-0} executions in $(($(date +%s) - start)) s, exit $rc"
done
exit $status
