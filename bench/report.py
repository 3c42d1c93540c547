#!/usr/bin/env python3
"""report.py: the benchmark figures as one Markdown page.

    report.py DECODE_JSON CALLGRIND_TXT EXTRACT_JSON > results.md

Ratios are taken between figures of the same run, so they hold on a busy
machine better than the absolute speeds do; the instruction counts per
output byte do not depend on the machine's load at all.
"""
import json
import os
import platform
import statistics
import sys

GROUPS = [("small", "small files"), ("large", "large files (1 MiB and more)"), ("text", "text"),
          ("bin", "binaries"), ("rep", "repetitive"), ("rand", "incompressible"),
          ("all", "whole corpus")]
PEERS = ["bsdtar", "7z", "zipfile"]
DEFLATE_ARCHIVES = ["zipfile-6.zip", "zipfile-9.zip", "7z-mx9.zip", "bsdtar.zip"]


def machine():
    model = "unknown"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    flags = open("/proc/cpuinfo").read()
    clmul = "yes" if " pclmulqdq" in flags else "no"
    return "%s, %d cores, PCLMULQDQ %s, Linux %s" % (model, os.cpu_count(), clmul,
                                                     platform.release())


def speeds(path):
    """MB/s (10^6 bytes) of each benchmark, the median of its repetitions."""
    out = {}
    for b in json.load(open(path))["benchmarks"]:
        name = b.get("run_name", b["name"])
        if b.get("run_type") == "aggregate" and b.get("aggregate_name") != "median":
            continue
        out[name] = b["bytes_per_second"] / 1e6
    return out


def mark(ok):
    return "yes" if ok else "**no**"


def decode_table(s):
    rows = ["| group | tarvex MB/s | zlib MB/s | libdeflate MB/s | vs zlib (>= 1.0) "
            "| vs libdeflate |", "|---|---:|---:|---:|---:|---:|"]
    for key, label in GROUPS:
        t, z, d = (s.get("decode/%s/%s" % (key, n)) for n in ("tarvex", "zlib", "libdeflate"))
        if t is None:
            continue
        goal = " (>= 0.8)" if key == "all" else ""
        rows.append("| %s | %.0f | %.0f | %.0f | %.2fx %s | %.2fx%s %s |" % (
            label, t, z, d, t / z, mark(t >= z), t / d, goal,
            mark(t >= 0.8 * d) if key == "all" else ""))
    return rows


def crc_table(s):
    rows = ["| CRC-32 over 1 MiB | MB/s |", "|---|---:|"]
    for name, label in [("tarvex", "tarvex (as the engine runs it)"),
                        ("tarvex-sliced", "tarvex, eight bytes a step (portable)"),
                        ("tarvex-bytewise", "tarvex, a byte a step"), ("zlib", "zlib crc32"),
                        ("libdeflate", "libdeflate_crc32")]:
        if "crc/" + name in s:
            rows.append("| %s | %.0f |" % (label, s["crc/" + name]))
    return rows


def callgrind_table(path):
    rows = ["| decoder with CRC-32 | instructions per output byte |", "|---|---:|"]
    for line in open(path):
        name, instructions, size = line.split()
        rows.append("| %s | %.2f |" % (name, int(instructions) / int(size)))
    return rows


def med(runs, key):
    return statistics.median(r[key] if key != "cpu" else r["user"] + r["sys"] for r in runs)


def extract_table(r):
    rows = ["| archive | tvunzip wall / CPU s | bsdtar | 7z | zipfile "
            "| tvunzip vs bsdtar / 7z / zipfile (wall) | fastest peer "
            "| tvunzip vs it (wall) | vs it (CPU) | target | met |",
            "|---|---:|---:|---:|---:|---:|---|---:|---:|---:|---|"]
    for archive, tools in r["archives"].items():
        if any(run["status"] != 0 for runs in tools.values() for run in runs):
            rows.append("| %s | a tool failed: %s |" % (archive, {
                k: [x["status"] for x in v] for k, v in tools.items()}))
            continue
        cells = {k: "%.3f / %.3f" % (med(v, "wall"), med(v, "cpu")) for k, v in tools.items()}
        fastest = min(PEERS, key=lambda p: med(tools[p], "wall"))
        wall = med(tools[fastest], "wall") / med(tools["tvunzip"], "wall")
        cpu = med(tools[fastest], "cpu") / med(tools["tvunzip"], "cpu")
        target = 1.25 if archive in DEFLATE_ARCHIVES else 1.0
        each = " / ".join("%.2fx" % (med(tools[p], "wall") / med(tools["tvunzip"], "wall"))
                          for p in PEERS)
        rows.append("| %s | %s | %s | %s | %s | %s | %s | %.3fx | %.3fx | %.2fx | %s |" % (
            archive, cells["tvunzip"], cells["bsdtar"], cells["7z"], cells["zipfile"], each,
            fastest, wall, cpu, target, mark(wall >= target)))
    return rows


def main():
    decode, counts, extract = sys.argv[1:4]
    s = speeds(decode)
    r = json.load(open(extract))
    mem = r["memory_kib"]
    lines = ["# Benchmark results", "", "Machine: " + machine() + ".", "",
             "## Decoder with its CRC-32, in memory (output MB/s, median of 3)", ""]
    lines += decode_table(s)
    lines += ["", "## CRC-32 alone", ""] + crc_table(s)
    lines += ["", "## Instructions per output byte (callgrind, fixed archive)", ""]
    lines += callgrind_table(counts)
    lines += ["", "## Whole-process extraction (median of %d runs; wall / user+system "
              "seconds)" % r["runs"], ""] + extract_table(r)
    lines += ["", "## Peak memory of tvunzip (target: within 1024 KiB of tvunzip -h)", "",
              "| run | peak KiB | above tvunzip -h | met |", "|---|---:|---:|---|",
              "| tvunzip -h | %d | | |" % mem["idle"]]
    for archive, kib in mem.items():
        if archive != "idle":
            grown = kib - mem["idle"]
            lines.append("| extracting %s | %d | %d | %s |" % (archive, kib, grown,
                                                                mark(grown <= 1024)))
    lines.append("")
    print("\n".join(lines))


if __name__ == "__main__":
    main()
