#!/bin/sh
# wine_env.sh: the X display, the Wine prefix and the Wine virtual desktop in
# which the Windows test programs run.
#
#   wine_env.sh start BUILD_DIR DISPLAY_NUMBER
#   wine_env.sh stop  BUILD_DIR DISPLAY_NUMBER
#
# DISPLAY_NUMBER may also be a whole display name (":0", "host:10.0"), for
# a server that is already there, such as the user's own.
#
# WINEARCH (win32 unless set) and TV_WINE, the loader (wine unless set), follow
# the build: the 64-bit test build sets win64 and /usr/lib/wine/wine64, since
# plain wine picks the 32-bit loader wherever it is installed.
#
# start brings up Xvfb on the display (unless a server already answers there),
# makes a fresh prefix in BUILD_DIR/wineprefix and starts a virtual
# desktop in it, which every program of the prefix then uses: without a window
# manager Wine stalls whenever a top-level window is hidden, and inside a
# virtual desktop it does not.  stop ends every Wine process of the prefix and
# the Xvfb that start began.  Every wait is bounded and says what it waited
# for when it gives up.
set -u

action=${1:-}
build=${2:-}
display=${3:-}
if [ -z "$action" ] || [ -z "$build" ] || [ -z "$display" ]; then
    echo "usage: $0 start|stop BUILD_DIR DISPLAY_NUMBER" >&2
    exit 2
fi

state="$build/wine-env"                 # our pid files and logs
export WINEPREFIX="$build/wineprefix"
export WINEARCH="${WINEARCH:-win32}"
wine="${TV_WINE:-wine}"
export WINEDEBUG=-all
case "$display" in
*:*) export DISPLAY="$display" ;;
*) export DISPLAY=":$display" ;;
esac
DESKTOP=tvtest
DESKTOP_SIZE=1024x768

fail() {
    echo "wine_env: $*" >&2
    for log in "$state"/*.log; do
        [ -s "$log" ] && { echo "--- $log" >&2; tail -n 20 "$log" >&2; }
    done
    exit 1
}

# wait_for SECONDS WHAT COMMAND...: runs COMMAND every 0.2 s until it succeeds.
wait_for() {
    limit=$1 what=$2
    shift 2
    ticks=$((limit * 5))
    while ! "$@" >/dev/null 2>&1; do
        ticks=$((ticks - 1))
        [ "$ticks" -gt 0 ] || fail "gave up after ${limit} s waiting for $what"
        sleep 0.2
    done
}

display_answers() { xdpyinfo -display "$DISPLAY" >/dev/null 2>&1; }

desktop_shown() { xwininfo -display "$DISPLAY" -root -tree 2>/dev/null | grep -q "\"$DESKTOP"; }

start_display() {
    if display_answers; then
        echo "wine_env: using the X server already on $DISPLAY"
        return
    fi
    setsid Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp \
        </dev/null >"$state/xvfb.log" 2>&1 &
    echo $! >"$state/xvfb.pid"
    wait_for 20 "Xvfb to answer on $DISPLAY" display_answers
    # setsid may have forked: keep the pid of the server itself.
    case "$(tr '\0' ' ' <"/proc/$(cat "$state/xvfb.pid")/cmdline" 2>/dev/null)" in
    "Xvfb $DISPLAY "*) ;;
    *) pgrep -n -f "^Xvfb $DISPLAY " >"$state/xvfb.pid" ;;
    esac
    echo "wine_env: started Xvfb on $DISPLAY (pid $(cat "$state/xvfb.pid"))"
}

# A prefix of an earlier run may still have a server; it goes with the prefix.
make_prefix() {
    if [ -d "$WINEPREFIX" ]; then
        timeout 30 wineserver -k >/dev/null 2>&1
        rm -rf "$WINEPREFIX" || fail "cannot remove the old prefix $WINEPREFIX"
    fi
    # No Mono or Gecko: their installers would ask through a dialog.
    WINEDLLOVERRIDES="mscoree,mshtml=" timeout 180 "$wine" wineboot -i \
        </dev/null >"$state/wineboot.log" 2>&1 || fail "wineboot -i did not finish in $WINEPREFIX"
    timeout 60 wineserver -w || fail "the wineserver of $WINEPREFIX did not end after wineboot"
    cat >"$state/desktop.reg" <<REG
REGEDIT4

[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]
"Desktop"="$DESKTOP"

[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]
"$DESKTOP"="$DESKTOP_SIZE"
REG
    timeout 60 "$wine" regedit /S "$("$wine" winepath -w "$state/desktop.reg" 2>/dev/null)" \
        </dev/null >"$state/regedit.log" 2>&1 || fail "cannot set the virtual desktop in the registry"
}

start_desktop() {
    setsid "$wine" explorer "/desktop=$DESKTOP,$DESKTOP_SIZE" </dev/null >"$state/desktop.log" 2>&1 &
    echo $! >"$state/desktop.pid"
    wait_for 30 "the Wine virtual desktop \"$DESKTOP\" on $DISPLAY" desktop_shown
}

stop_all() {
    timeout 30 wineserver -k >/dev/null 2>&1
    timeout 30 wineserver -w >/dev/null 2>&1
    if [ -f "$state/xvfb.pid" ]; then
        pid=$(cat "$state/xvfb.pid")
        # The pid of an earlier run may belong to another program by now.
        case "$(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null)" in
        "Xvfb $DISPLAY "*) kill "$pid" 2>/dev/null ;;
        *) pid="" ;;
        esac
        ticks=50
        while [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null && [ "$ticks" -gt 0 ]; do
            sleep 0.2
            ticks=$((ticks - 1))
        done
        [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null && kill -9 "$pid" 2>/dev/null
        rm -f "$state/xvfb.pid"
    fi
    rm -f "$state/desktop.pid"
}

for tool in Xvfb "$wine" wineserver xdpyinfo xwininfo timeout setsid pgrep; do
    command -v "$tool" >/dev/null 2>&1 || fail "$tool is not installed"
done
mkdir -p "$state" || fail "cannot make $state"

case "$action" in
start)
    stop_all
    start_display
    make_prefix
    start_desktop
    echo "wine_env: prefix $WINEPREFIX ready, desktop \"$DESKTOP\" on $DISPLAY"
    ;;
stop)
    stop_all
    echo "wine_env: stopped"
    ;;
*)
    fail "unknown action $action"
    ;;
esac
