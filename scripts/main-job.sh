#!/usr/bin/env bash
# main-job.sh: builds everything and installs the sample disk with the real
# SETUP.EXE under 32-bit Wine, in a fresh prefix of its own (build/demo).
#
# On the user's display (DISPLAY set and answering) the user clicks through
# setup while "tvdriver scenario" follows it (tools/sample/watch.tvs), and
# this script checks what arrived.  Otherwise it runs on a private Xvfb and
# "tvdriver scenario" plays tools/sample/install.tvs, which takes every
# default (the proposed directory, no cancel) and checks the bytes and the
# times of every file and the started record itself.  Either way each dialog
# and box is pictured under build/demo/, the installed tree is listed with
# sizes and times, and what the installed tarvex32.exe recorded is shown.
# Ends 0 only when setup ended 0, the product was started with "/install",
# and every loose file and every product file arrived byte for byte.
#
# Some machines' kernels refuse 32-bit x86 code, and 32-bit Wine cannot start
# there.  Where 64-bit Wine can, the shipped 32-bit program and its disk are
# still built, the job says that they cannot run here, and it installs the
# disk made with the 64-bit build of the same sources (preset win64, never
# shipped) in a 64-bit prefix instead, with every check as above.
#
# For a rerun of the installation alone: SKIP_BUILD=1 (WIN32_BUILD and
# WIN64_BUILD name other Windows build directories).
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

win32=${WIN32_BUILD:-build/win32}
win64=${WIN64_BUILD:-build/win64}
demo=build/demo
wine_env="$root/scripts/wine_env.sh"

say() { echo "main-job: $*"; }
die() { echo "main-job: $*" >&2; exit 1; }

wine_runs() { timeout 60 /usr/lib/wine/wine --version >/dev/null 2>&1; }
wine64_runs() { timeout 60 /usr/lib/wine/wine64 --version >/dev/null 2>&1; }

# The Windows build whose disk is installed, its kind of prefix and its Wine
# loader: the shipped 32-bit one wherever 32-bit Wine starts.
choose_wine() {
    run=$win32 arch=win32 loader=wine
    wine_runs || ! wine64_runs || { run=$win64 arch=win64 loader=/usr/lib/wine/wine64; }
}

build() {
    bash scripts/install-deps.sh || die "cannot install what the build needs"
    cmake --preset host || die "host configure failed"
    cmake --build build/host -j2 || die "host build failed"
    cmake --preset win32 || die "win32 configure failed"
    cmake --build build/win32 -j2 || die "win32 build failed"
    cmake --build build/win32 -j2 --target sample_disk || die "the sample disk could not be made"
    [ "$arch" = win64 ] || return 0
    cmake --preset win64 || die "win64 configure failed"
    cmake --build build/win64 -j2 || die "win64 build failed"
    cmake --build build/win64 -j2 --target sample_disk || die "the 64-bit sample disk could not be made"
}

# The shipped program, read from its file where it cannot run: it must start
# on a fresh Windows 95 as on today's Windows (tools/checkexe.cmake says how).
check_shipped() {
    local objdump
    objdump=$(sed -n 's/^CMAKE_OBJDUMP:FILEPATH=//p' "$win32/CMakeCache.txt")
    cmake -DOBJDUMP="$objdump" -DPROGRAM="$win32/SETUP.EXE" \
          -DSYMBOLS="$win32/setup/SETUP.symbols.EXE" -DALLOWED=setup/imports.txt \
          -P tools/checkexe.cmake \
        || die "the shipped $win32/SETUP.EXE is not fit for every Windows the disk is for"
    say "the shipped SETUP.EXE imports only its allow-list, needs Windows 4.0 and a Pentium"
}

# The display to show setup on: the user's when it answers, else a free
# number for a private Xvfb.
choose_display() {
    if [ -n "${DISPLAY:-}" ] && xdpyinfo -display "$DISPLAY" >/dev/null 2>&1; then
        user_display=1
        display=$DISPLAY
        return
    fi
    user_display=0
    for n in $(seq 95 140); do
        if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
            display=$n
            return
        fi
    done
    die "no free X display number between 95 and 140"
}

stop_env() { sh "$wine_env" stop "$root/$demo" "$display" >/dev/null 2>&1; }

# Pictures as PNG beside the BMPs when ImageMagick is there.
convert_shots() {
    command -v convert >/dev/null 2>&1 || return 0
    for bmp in "$demo"/*.bmp; do
        [ -e "$bmp" ] && convert "$bmp" "${bmp%.bmp}.png" 2>/dev/null
    done
}

# name size last-write time, one line a file.
list_tree() {
    find "$1" -maxdepth 1 -type f -printf '  %-14f %10s  %TY-%Tm-%Td %TH:%TM:%TS\n' | sort
}

# Every loose file and every product file, byte for byte, after an
# installation the user clicked through.
verify() {
    local target=$1 disk=$2 product=$3 bad=0 f
    for f in $(sed -n 's/^LOOSE("\([^"]*\)".*/\1/p' distfiles/loose.def); do
        cmp -s "$disk/$f" "$target/$f" || { say "loose file $f differs or is missing"; bad=1; }
    done
    for f in "$product"/*; do
        cmp -s "$f" "$target/$(basename "$f")" || { say "product file $(basename "$f") differs or is missing"; bad=1; }
    done
    return $bad
}

wine_path() { "$loader" winepath -w "$(realpath "$1")" 2>/dev/null; }

# The user clicks through setup from the disk as a user would insert it: its
# own directory on drive C:, every file keeping its time (setup checks the
# loose files' times), laid out by the scenario tools/sample/watch.tvs.
# Ends the job unless setup ended 0.
install_watched() {
    say "setup is on your display $DISPLAY: click through it"
    "$loader" "$tvdriver" scenario "$(wine_path tools/sample/watch.tvs)" \
        sample="$(wine_path "$1")" shots="$(wine_path "$demo")" 2>&1 \
        | tr -d '\r' | tee "$demo/play.log"
    grep -q '^0 scenario(s) failed' "$demo/play.log" \
        || die "setup did not end with exit code 0 (see $demo/play.log)"
}

# The installation scenario, which lays the disk out on drive C: itself and
# checks setup's exit code, every installed file and the started record.
install_headless() {
    say "setup runs on Xvfb $DISPLAY, taking every default"
    "$loader" "$tvdriver" scenario "$(wine_path tools/sample/install.tvs)" \
        sample="$(wine_path "$1")" product="$(wine_path "$2")" shots="$(wine_path "$demo")" 2>&1 \
        | tr -d '\r' | tee "$demo/play.log"
}

main() {
    choose_wine
    [ -n "${SKIP_BUILD:-}" ] || build
    check_shipped
    local disk="$run/sample/disk" product="$run/sample/product" tvdriver="$run/tvdriver.exe"
    if [ "$arch" = win64 ]; then
        say "this machine cannot run 32-bit x86 code: the shipped SETUP.EXE in $win32 cannot run here"
        say "installing instead the disk made with its 64-bit build (never shipped) under 64-bit Wine"
    fi
    [ -f "$disk/setup.tv" ] && [ -f "$tvdriver" ] || die "no sample disk or tvdriver in $run"

    choose_display
    rm -rf "$demo"
    mkdir -p "$demo"
    trap stop_env EXIT
    # The prefix follows the program, whatever the caller's shell says.
    WINEARCH=$arch TV_WINE=$loader sh "$wine_env" start "$root/$demo" "$display" \
        || die "cannot prepare Wine in $demo"
    export WINEPREFIX="$root/$demo/wineprefix" WINEARCH=$arch WINEDEBUG=-all
    case "$display" in *:*) export DISPLAY="$display" ;; *) export DISPLAY=":$display" ;; esac

    local played=0
    if [ "$user_display" = 1 ]; then
        install_watched "$disk"
    else
        install_headless "$disk" "$product" || played=$?
    fi
    convert_shots

    local target unix_target
    target=$(sed -n 's/^target: //p' "$demo/play.log")
    if [ -z "$target" ]; then
        # A scenario that failed before setup named its target said why.
        [ "$played" = 0 ] || die "the installation failed before it named its target:
$(grep -v '^ok: ' "$demo/play.log" | tail -n 8 | sed 's/^/  /')"
        die "the target directory is not known"
    fi
    unix_target=$("$loader" winepath -u "$target" 2>/dev/null)
    [ -d "$unix_target" ] || die "the target directory $target does not exist"

    for i in $(seq 50); do [ -s "$unix_target/started.txt" ] && break; sleep 0.1; done
    echo
    say "installed into $target:"
    list_tree "$unix_target"
    echo
    say "tarvex32.exe recorded:"
    tr -d '\r' <"$unix_target/started.txt" 2>/dev/null | sed 's/^/  /' || say "  nothing: it was not started"
    echo
    say "pictures: $(cd "$demo" && ls ./*.png ./*.bmp 2>/dev/null | tr '\n' ' ')"

    if [ "$user_display" = 0 ]; then
        [ "$played" = 0 ] || die "the installation failed its checks (see $demo/play.log)"
        say "the installation matches the disk byte for byte, with its times"
        return
    fi
    grep -q '^arguments=/install' "$unix_target/started.txt" 2>/dev/null \
        || die "tarvex32.exe was not started with /install"
    verify "$unix_target" "$disk" "$product" || die "the installation does not match the disk"
    say "the installation matches the disk byte for byte"
}

main "$@"
