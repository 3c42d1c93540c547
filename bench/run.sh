#!/bin/sh
# run.sh: runs every benchmark and writes build/bench/results.md.
#
#   bench/run.sh [BUILD_DIR [BUILD32_DIR [WIN32_DIR]]]
#       (defaults build/host, build/host-i686 and build/win32, built with
#       their presets)
#
# The decoder is measured as both builds compile it: the 64-bit host build
# and the 32-bit one compiled as the Windows program is.  Where this machine
# cannot execute 32-bit code the 32-bit build runs under qemu-i386-static,
# and its table says that it was emulated; where it is missing, or neither
# way runs it, it is skipped and the report says why.  Whole
# extraction and its system calls are measured with the 64-bit tvunzip.
# The corpus and its archives are made under build/bench/data the first time
# (a few minutes) and kept; later runs take about five minutes, some of them
# the 32-bit build under the emulator, and the installation row under Wine
# (bench/install.sh, which needs the win32 preset built) a few more.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
build=${1:-$top/build/host}
build32=${2:-$top/build/host-i686}
win32=${3:-$top/build/win32}
out=$top/build/bench
data=$out/data
arch=$data/archives
mkdir -p "$out"

for tool in "$build/tvunzip" "$build/bench/tv_bench_decode"; do
    [ -x "$tool" ] || { echo "run.sh: $tool missing: build the host preset first" >&2; exit 1; }
done

python3 "$here/corpus.py" "$data"
# The machine's load at the start and at the end goes into the report.
echo "start: $(date -u '+%H:%M UTC'), $(uptime | sed 's/.*load/load/')" >"$out/load.txt"

# decode BENCH SUFFIX [RUNNER]: the in-memory speeds and the instruction
# counts of one build, into decode$SUFFIX.json and callgrind$SUFFIX.txt.  A
# build run through RUNNER (an emulator) gets its speeds only: callgrind's
# 32-bit tool is itself a 32-bit program.
decode() {
    echo "run.sh: decoding in memory ($1${3:+, under $3})" >&2
    ${3:-} "$1" "$arch/zipfile-6.zip" "$arch/small-files.zip" "$arch/tiny.zip" \
        --benchmark_min_time=0.2 --benchmark_repetitions=3 \
        --benchmark_report_aggregates_only=true \
        --benchmark_format=json >"$out/decode$2.json"
    [ -z "${3:-}" ] || return 0
    echo "run.sh: counting instructions ($1)" >&2
    : >"$out/callgrind$2.txt"
    for archive in fixed tiny; do
        for decoder in tarvex zlib libdeflate; do
            bytes=$(valgrind --tool=callgrind --collect-atstart=no --toggle-collect=count_once \
                --callgrind-out-file="$out/callgrind$2.$archive.$decoder" \
                "$1" --count $decoder "$arch/$archive.zip" 2>/dev/null)
            instructions=$(sed -n 's/^summary: //p' "$out/callgrind$2.$archive.$decoder")
            members=$(wc -l <"$arch/$archive.zip.members")
            echo "$archive $decoder $instructions $bytes $members" >>"$out/callgrind$2.txt"
        done
    done
}

# The 32-bit build runs natively where the kernel runs 32-bit code, else
# under qemu's user-mode emulation where it is installed: its figures are
# then marked as emulated (i686-emulated.txt), for they measure the
# emulator's translation as much as the decoder.
decode "$build/bench/tv_bench_decode" ""
bench32=$build32/bench/tv_bench_decode
emulator="qemu-i386-static -L /"
rm -f "$out/decode-i686.json" "$out/callgrind-i686.txt" "$out/i686.txt" "$out/i686-emulated.txt"
if [ ! -x "$bench32" ]; then
    echo "the 32-bit build is missing ($bench32): build the host-i686 preset" >"$out/i686.txt"
elif "$bench32" --count zlib "$arch/tiny.zip" >/dev/null 2>&1; then
    decode "$bench32" "-i686"
elif command -v qemu-i386-static >/dev/null &&
    $emulator "$bench32" --count zlib "$arch/tiny.zip" >/dev/null 2>&1; then
    echo "this machine cannot execute 32-bit x86 code ($(uname -r)): run under $emulator," \
        "user-mode emulation; no instruction counts" >"$out/i686-emulated.txt"
    echo "run.sh: $(cat "$out/i686-emulated.txt")" >&2
    decode "$bench32" "-i686" "$emulator"
else
    echo "this machine cannot execute 32-bit x86 code ($(uname -r)) and has no qemu-i386-static: the 32-bit build was built but not run" \
        >"$out/i686.txt"
fi
[ -f "$out/i686.txt" ] && echo "run.sh: 32-bit figures skipped: $(cat "$out/i686.txt")" >&2

echo "run.sh: counting system calls" >&2
python3 "$here/syscalls.py" "$build/tvunzip" "$arch/small-files.zip" "$out/strace" \
    >"$out/syscalls.json"

echo "run.sh: extracting whole archives on the disk" >&2
python3 "$here/extract.py" "$build/tvunzip" "$arch" "$out/extract" 4 >"$out/extract.json"
# On the disk the file system's costs swing between runs; a tmpfs, where
# there is one, leaves mostly the tools' own.
rm -f "$out/extract-tmpfs.json"
if [ "$(stat -f -c %T /dev/shm 2>/dev/null)" = tmpfs ] && [ -w /dev/shm ]; then
    echo "run.sh: extracting whole archives on a tmpfs" >&2
    python3 "$here/extract.py" "$build/tvunzip" "$arch" "/dev/shm/tv-bench-$$" 4 \
        >"$out/extract-tmpfs.json"
fi

echo "run.sh: installing the bench disk under Wine" >&2
sh "$here/install.sh" "$win32" "$out" ||
    echo "bench/install.sh failed (its messages are in run.sh's output)" >"$out/install-skipped.txt"

echo "end: $(date -u '+%H:%M UTC'), $(uptime | sed 's/.*load/load/')" >>"$out/load.txt"
python3 "$here/report.py" "$out" >"$out/results.md"
echo "run.sh: wrote $out/results.md" >&2
