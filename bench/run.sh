#!/bin/sh
# run.sh: runs every benchmark and writes build/bench/results.md.
#
#   bench/run.sh [BUILD_DIR]     (default build/host, built with its preset)
#
# The corpus and its archives are made under build/bench/data the first time
# (a few minutes) and kept; later runs take about two minutes.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
build=${1:-$top/build/host}
out=$top/build/bench
data=$out/data
arch=$data/archives
mkdir -p "$out"

for tool in "$build/tvunzip" "$build/bench/tv_bench_decode"; do
    [ -x "$tool" ] || { echo "run.sh: $tool missing: build the host preset first" >&2; exit 1; }
done

python3 "$here/corpus.py" "$data"

echo "run.sh: decoding in memory" >&2
"$build/bench/tv_bench_decode" "$arch/zipfile-6.zip" "$arch/small-files.zip" \
    --benchmark_min_time=0.2 --benchmark_repetitions=3 \
    --benchmark_report_aggregates_only=true \
    --benchmark_format=json >"$out/decode.json"

echo "run.sh: counting instructions" >&2
: >"$out/callgrind.txt"
for decoder in tarvex zlib libdeflate; do
    bytes=$(valgrind --tool=callgrind --collect-atstart=no --toggle-collect=count_once \
        --callgrind-out-file="$out/callgrind.$decoder" \
        "$build/bench/tv_bench_decode" --count $decoder "$arch/fixed.zip" 2>/dev/null)
    instructions=$(sed -n 's/^summary: //p' "$out/callgrind.$decoder")
    echo "$decoder $instructions $bytes" >>"$out/callgrind.txt"
done

echo "run.sh: extracting whole archives" >&2
python3 "$here/extract.py" "$build/tvunzip" "$arch" "$out/extract" 4 >"$out/extract.json"

python3 "$here/report.py" "$out/decode.json" "$out/callgrind.txt" "$out/extract.json" \
    >"$out/results.md"
echo "run.sh: wrote $out/results.md" >&2
