#!/usr/bin/env python3
"""extract.py: whole-process extraction of each benchmark archive by tvunzip
and by the archivers a user could pick instead, with wall, user and system
time and peak memory of each run.

    extract.py TVUNZIP ARCHIVE_DIR OUT_DIR RUNS > results.json

Every run extracts into a directory of its own that is kept until all runs
of that archive are done, and the machine is given a moment after each
deletion: ext4 is slower to create files just after a large deletion,
which would count against whoever runs next.  The tools take
turns within each round, each round starting with the next tool, so that
neither a slow moment of the machine nor the place after a deletion falls
on one tool alone.
"""
import json
import os
import shutil
import subprocess
import sys
import time

ARCHIVES = os.environ.get("TV_BENCH_ARCHIVES",
                          "zipfile-6.zip zipfile-9.zip 7z-mx9.zip bsdtar.zip stored.zip "
                          "small-files.zip").split()


def tools(tvunzip):
    extract_py = ("import sys, zipfile; "
                  "zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])")
    return [
        ("tvunzip", lambda a, d: [tvunzip, a, d + "/"]),
        ("bsdtar", lambda a, d: ["bsdtar", "-xf", a, "-C", d]),
        ("7z", lambda a, d: ["7z", "x", "-y", "-bd", "-o" + d, a]),
        ("zipfile", lambda a, d: [sys.executable, "-c", extract_py, a, d]),
    ]


def timed(argv):
    """Runs argv; gives wall, user and system seconds and its status."""
    start = time.perf_counter()
    proc = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.perf_counter() - start
    proc.stderr.close()
    return {"wall": wall, "user": usage.ru_utime, "sys": usage.ru_stime,
            "status": os.waitstatus_to_exitcode(status)}


def peak_kib(argv):
    """Peak resident memory of argv alone, from /usr/bin/time: the rusage of
    a child forked from here would count this interpreter's pages too."""
    out = subprocess.run(["/usr/bin/time", "-f", "%M"] + argv, stdout=subprocess.DEVNULL,
                         stderr=subprocess.PIPE, text=True).stderr
    return int(out.strip().splitlines()[-1])


def settle(path):
    shutil.rmtree(path, ignore_errors=True)
    os.sync()
    time.sleep(2)


def main():
    tvunzip, archive_dir, out_dir, runs = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
    results = {"runs": runs, "archives": {}}
    settle(out_dir)
    for archive in ARCHIVES:
        path = os.path.join(archive_dir, archive)
        per_tool = {}
        for round_no in range(runs):
            order = tools(tvunzip)
            order = order[round_no % len(order):] + order[:round_no % len(order)]
            for name, argv in order:
                dest = os.path.join(out_dir, archive, name, str(round_no))
                os.makedirs(dest)
                per_tool.setdefault(name, []).append(timed(argv(path, dest)))
        results["archives"][archive] = per_tool
        settle(out_dir)
    results["memory_kib"] = {"idle": peak_kib([tvunzip, "-h"])}
    for archive in ARCHIVES:
        dest = os.path.join(out_dir, "memory", archive)
        os.makedirs(dest)
        results["memory_kib"][archive] = peak_kib(
            [tvunzip, os.path.join(archive_dir, archive), dest + "/"])
    settle(out_dir)
    json.dump(results, sys.stdout, indent=1)


if __name__ == "__main__":
    main()
