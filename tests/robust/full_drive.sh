#!/bin/sh
# full_drive.sh TEST_PROGRAM: runs the Win32 fault tests under Wine with a
# 1 MB tmpfs mapped as drive R: to fill.  Wine running as root may replace a
# read-only file, so as root the program runs as nobody in a prefix of its
# own.  Without the rights to mount, the disk-full case and this test skip.
# TV_WINE and WINEARCH name the loader and the kind of prefix (wine, win32).
set -u
exe=$1
wine=${TV_WINE:-wine}
arch=${WINEARCH:-win32}
work=$(mktemp -d /tmp/tv-full-drive-XXXXXX)
chmod 755 "$work"
mnt="$work/drive"
mkdir "$mnt"
mounted=0
cleanup() {
    [ -n "${prefix:-}" ] && as_user wineserver -k 2>/dev/null
    [ "$mounted" = 1 ] && umount "$mnt"
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

if [ "$(id -u)" = 0 ]; then
    home="$work/home"
    mkdir "$home"
    chown nobody "$home"
    cp "$exe" "$home/test.exe"
    exe="$home/test.exe"
    prefix="$home/prefix"
    as_user() {
        setpriv --reuid=nobody --regid=nogroup --clear-groups \
            env HOME="$home" WINEPREFIX="$prefix" WINEARCH="$arch" WINEDEBUG=-all "$@"
    }
    as_user "$wine" wineboot -i >"$work/wineboot.log" 2>&1 || { cat "$work/wineboot.log"; exit 1; }
else
    prefix="$WINEPREFIX"
    as_user() { "$@"; }
fi

drive=
if mount -t tmpfs -o size=1m,mode=1777 tmpfs "$mnt" 2>/dev/null; then
    mounted=1
    drive='R:\'
    ln -sfn "$mnt" "$prefix/dosdevices/r:"
else
    echo "full_drive: cannot mount a small drive here; the disk-full case is skipped"
fi
as_user env ${drive:+TV_FULL_DRIVE="$drive"} "$wine" "$exe"
rc=$?
rm -f "$prefix/dosdevices/r:"
[ "$rc" = 0 ] && [ "$mounted" = 0 ] && exit 77
exit "$rc"
