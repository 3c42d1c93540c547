#!/usr/bin/env python3
"""syscalls.py: the system calls of tvunzip and bsdtar over one archive, per
member, counted by strace -c -f: a count that does not depend on the
machine's load, unlike the time that file creation takes.

    syscalls.py TVUNZIP ARCHIVE OUT_DIR > syscalls.json
"""
import json
import os
import shutil
import subprocess
import sys
import zipfile


def counted(argv, log):
    """Runs argv under strace -c; gives its calls by name."""
    subprocess.run(["strace", "-c", "-f", "-o", log] + argv, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=True)
    calls = {}
    for line in open(log):
        parts = line.split()
        if len(parts) in (5, 6) and parts[0][0].isdigit() and parts[-1] != "total":
            calls[parts[-1]] = int(parts[3])
    return calls


def main():
    tvunzip, archive, out = sys.argv[1:4]
    with zipfile.ZipFile(archive) as z:
        members = sum(1 for info in z.infolist() if not info.is_dir())
    shutil.rmtree(out, ignore_errors=True)
    result = {"archive": os.path.basename(archive), "members": members, "tools": {}}
    for name, argv in [("tvunzip", lambda d: [tvunzip, archive, d + "/"]),
                       ("bsdtar", lambda d: ["bsdtar", "-xf", archive, "-C", d])]:
        dest = os.path.join(out, name)
        os.makedirs(dest)
        result["tools"][name] = counted(argv(dest), os.path.join(out, name + ".strace"))
    shutil.rmtree(out, ignore_errors=True)
    json.dump(result, sys.stdout, indent=1)


if __name__ == "__main__":
    main()
