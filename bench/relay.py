#!/usr/bin/env python3
"""relay.py: the Windows calls SETUP.EXE itself makes during an installation,
counted from a Wine relay log, per member of the disk installed.

    relay.py LOG MEMBERS > calls.md

LOG is the standard error of a run under WINEDEBUG=+pid,+relay (lines
"PID:TID:Call DLL.Function(...) ret=ADDRESS").  A small disk keeps it short:
tools/mkdisk with a hundred of the bench's small files and tarvex32.exe,
then, in a prefix that scripts/wine_env.sh started,

    WINEDEBUG=+pid,+relay wine build/win32/tvdriver.exe scenario \
        'Z:\...\bench\install.tvs' sample=DISK product=PRODUCT shots=DIR 2>LOG

with the paths in Wine's form (winepath -w).  Only calls returning into SETUP.EXE's own image
are counted, so that what the system's libraries call among themselves, and
the scenario player's own calls, stay out; the process is the one that
writes with _lwrite, which only setup's engine does.
"""
import collections
import re
import sys

CALL = re.compile(r"^([0-9a-f]{4}):[0-9a-f]{4}:Call ([\w.]+)\(.*\) ret=([0-9a-f]{8})$")
IMAGE = (0x00400000, 0x00500000)  # where SETUP.EXE is loaded: its preferred base
SHOWN = 0.5                       # calls per member below which a row is left out


def counts(path):
    """Calls per process, by function, from within the image."""
    per_pid = collections.defaultdict(collections.Counter)
    with open(path, errors="replace") as log:
        for line in log:
            m = CALL.match(line.rstrip())
            if m and IMAGE[0] <= int(m.group(3), 16) < IMAGE[1]:
                per_pid[m.group(1)][m.group(2)] += 1
    return per_pid


def main():
    path, members = sys.argv[1], int(sys.argv[2])
    setup = [c for c in counts(path).values() if c.get("KERNEL32._lwrite")]
    if not setup:
        sys.exit("relay.py: no process of %s writes with _lwrite: not setup's log" % path)
    calls = setup[0]
    print("| call from SETUP.EXE | calls | per member |")
    print("|---|---:|---:|")
    for name, n in calls.most_common():
        if n >= SHOWN * members:
            print("| %s | %d | %.2f |" % (name, n, n / members))
    total = sum(calls.values())
    print("| **all** | **%d** | **%.2f** |" % (total, total / members))


if __name__ == "__main__":
    main()
