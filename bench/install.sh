#!/bin/sh
# install.sh: the installation row: where a user waits.  The shipped
# SETUP.EXE installs a disk of the bench corpus under Wine, headless, played
# by the scenario player taking every default; in the same prefix Wine's own
# xcopy /E copies the installed tree, and tvunzip.exe of the same build
# extracts the disk's archive.  Writes OUT_DIR/install.json, or
# OUT_DIR/install-skipped.txt saying why nothing was measured.
#
#   bench/install.sh [WIN32_BUILD [OUT_DIR [RUNS]]]
#       (defaults build/win32, built with its preset; build/bench; 3)
#
# Where 32-bit Wine cannot start, build/win64 (never shipped) is installed
# under 64-bit Wine instead when it is built, and the row says so.  The
# prefix lives on a tmpfs where there is one, so that the disk's own swings
# on a shared machine do not decide the ratio.  Each run is timed twice:
# the process's wall (setup: the player's "install" scenario, from setup's
# start to its end; the others: their wine command) and the span from the
# first target file's birth to the last one's final change, which leaves
# out starting the program and its dialogs alike for every tool.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
win=${1:-$top/build/win32}
out=${2:-$top/build/bench}
runs=${3:-3}
display=${TV_BENCH_DISPLAY:-$(sed -n 's/^TV_WINE_DISPLAY:[A-Z]*=//p' "$win/CMakeCache.txt" 2>/dev/null || true)}
display=${display:-92}
data=$out/data
work=$out/install
mkdir -p "$work"
rm -f "$out/install.json" "$out/install-skipped.txt"

skip() {
    echo "$*" >"$out/install-skipped.txt"
    echo "install.sh: installation row skipped: $*" >&2
    exit 0
}

# The shipped 32-bit program under 32-bit Wine wherever that starts.
arch=win32 loader=wine label="32-bit SETUP.EXE (win32 build) under 32-bit Wine"
if ! timeout 60 /usr/lib/wine/wine --version >/dev/null 2>&1; then
    timeout 60 /usr/lib/wine/wine64 --version >/dev/null 2>&1 ||
        skip "neither 32-bit nor 64-bit Wine starts on this machine"
    [ -f "$top/build/win64/SETUP.EXE" ] ||
        skip "32-bit Wine cannot start here and build/win64 is not built"
    win=$top/build/win64 arch=win64 loader=/usr/lib/wine/wine64
    label="64-bit SETUP.EXE (win64 build, never shipped) under 64-bit Wine: 32-bit Wine cannot start here"
fi
for f in SETUP.EXE tvdriver.exe tvunzip.exe sample/tarvex32.exe; do
    [ -f "$win/$f" ] || skip "$win/$f missing: build the $arch preset"
done
python3 "$here/corpus.py" "$data"

# The product: the corpus and its small files, flat, and the sample
# product's program, which setup starts at the end.  The disk is made again
# whenever SETUP.EXE is newer than it.
disk=$work/disk
if [ ! -f "$disk/setup.tv" ] || [ "$win/SETUP.EXE" -nt "$disk/setup.tv" ]; then
    echo "install.sh: laying out the bench disk" >&2
    rm -rf "$work/product" "$disk"
    mkdir -p "$work/product"
    cp "$data"/corpus/*/*.dat "$data"/small/small/*.dat "$work/product"/
    cp "$win/sample/tarvex32.exe" "$work/product"/
    python3 "$top/tools/mkdisk" --tvunzip "$top/build/host/tvunzip" "$win/SETUP.EXE" \
        "$top/tools/sample/loose" "$work/product" "$disk" >&2
fi

prefix_dir=$work
if [ "$(stat -f -c %T /dev/shm 2>/dev/null)" = tmpfs ] && [ -w /dev/shm ]; then
    prefix_dir=/dev/shm/tv-bench-install-$display
fi
mkdir -p "$prefix_dir"
stop() {
    WINEARCH=$arch TV_WINE=$loader sh "$top/scripts/wine_env.sh" stop "$prefix_dir" "$display" \
        >/dev/null 2>&1
    [ "$prefix_dir" = "$work" ] || rm -rf "$prefix_dir"
}
trap stop EXIT
WINEARCH=$arch TV_WINE=$loader sh "$top/scripts/wine_env.sh" start "$prefix_dir" "$display" >&2 ||
    skip "cannot prepare Wine ($arch) on display $display"
export WINEPREFIX="$prefix_dir/wineprefix" WINEARCH=$arch WINEDEBUG=-all DISPLAY=":$display"
drive_c=$WINEPREFIX/drive_c

wpath() { "$loader" winepath -w "$1" 2>/dev/null | tr -d '\r'; }

# span DIR: seconds from the first file's birth to the last file's change;
# the product's record of its start comes after setup's end.
span() {
    find "$1" -type f ! -name started.txt -print0 | xargs -0 stat -c '%.9W %.9Z' | awk '
        NR == 1 || $1 < first { first = $1 } $2 > last { last = $2 }
        END { if (first <= 0) print "null"; else printf "%.3f\n", last - first }'
}

now() { date +%s.%N; }
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f\n", b - a }'; }

# setup_run: one installation, checked; prints "wall span" or fails.
setup_run() {
    "$loader" "$win/tvdriver.exe" scenario "$(wpath "$here/install.tvs")" \
        sample="$(wpath "$disk")" product="$(wpath "$work/product")" \
        shots="$(wpath "$work")" 2>&1 | tr -d '\r' >"$work/play.log"
    grep -q '^0 scenario(s) failed' "$work/play.log" ||
        { echo "install.sh: setup's run failed:" >&2; cat "$work/play.log" >&2; return 1; }
    target=$("$loader" winepath -u "$(sed -n 's/^target: //p' "$work/play.log")" 2>/dev/null)
    ms=$(sed -n 's/^ok: install (\([0-9]*\) ms)$/\1/p' "$work/play.log")
    echo "$(awk -v ms="$ms" 'BEGIN { printf "%.3f\n", ms / 1000 }') $(span "$target")"
}

# timed_run DEST COMMAND...: a Windows program run whole; "wall span".
timed_run() {
    dest=$1
    shift
    rm -rf "$dest"
    mkdir -p "$dest"
    begin=$(now)
    "$loader" "$@" >"$work/tool.log" 2>&1 || { cat "$work/tool.log" >&2; return 1; }
    echo "$(seconds "$begin" "$(now)") $(span "$dest")"
}

json_runs() { sed 's/^\([^ ]*\) \([^ ]*\)$/{"wall": \1, "span": \2}/' "$1" | paste -sd, -; }

: >"$work/setup.txt"
: >"$work/xcopy.txt"
: >"$work/tvunzip.txt"
# The tools take turns within each round.
for round in $(seq "$runs"); do
    echo "install.sh: round $round of $runs" >&2
    rm -rf "$drive_c/TVXCOPY" "$drive_c/TVUNZIP" "${target:-/nonexistent}"
    setup_run >>"$work/setup.txt"
    timed_run "$drive_c/TVXCOPY" xcopy /E /I /Q "$(wpath "$target")" 'C:\TVXCOPY\' \
        >>"$work/xcopy.txt"
    timed_run "$drive_c/TVUNZIP" "$win/tvunzip.exe" 'C:\TVDISK\setup.tv' 'C:\TVUNZIP\' \
        >>"$work/tvunzip.txt"
done
files=$(find "$target" -type f ! -name started.txt | wc -l)
bytes=$(du -sb "$target" | cut -f1)
cat >"$out/install.json" <<JSON
{"label": "$label", "files": $files, "bytes": $bytes, "runs": $runs,
 "prefix": "$prefix_dir", "setup_exe_bytes": $(stat -c %s "$win/SETUP.EXE"),
 "tools": {"setup": [$(json_runs "$work/setup.txt")],
           "xcopy": [$(json_runs "$work/xcopy.txt")],
           "tvunzip.exe": [$(json_runs "$work/tvunzip.txt")]}}
JSON
echo "install.sh: wrote $out/install.json" >&2
