#!/usr/bin/env python3
"""report.py: the benchmark figures as one Markdown page.

    report.py OUT_DIR > results.md

OUT_DIR is run.sh's: decode.json and callgrind.txt of the 64-bit build, the
same with "-i686" of the 32-bit one (or i686.txt, why it was not run),
syscalls.json, extract.json, and extract-tmpfs.json where a tmpfs was found;
install.json of install.sh (or install-skipped.txt, why there is no row).

Ratios are taken between figures of the same run, so they hold on a busy
machine better than the absolute speeds do; the instruction counts per
output byte do not depend on the machine's load at all.
"""
import json
import os
import platform
import statistics
import sys

GROUPS = [("small", "small files"), ("tiny", "tiny files (200-599 B)"), ("large", "large files (1 MiB and more)"), ("text", "text"),
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


def decode_table(s, goal):
    """goal: the least ratio to libdeflate on the whole corpus."""
    rows = ["| group | tarvex MB/s | zlib MB/s | libdeflate MB/s | vs zlib (>= 1.0) "
            "| vs libdeflate |", "|---|---:|---:|---:|---:|---:|"]
    for key, label in GROUPS:
        t, z, d = (s.get("decode/%s/%s" % (key, n)) for n in ("tarvex", "zlib", "libdeflate"))
        if t is None:
            continue
        target = " (>= %.1f)" % goal if key == "all" else ""
        rows.append("| %s | %.0f | %.0f | %.0f | %.2fx %s | %.2fx%s %s |" % (
            label, t, z, d, t / z, mark(t >= z), t / d, target,
            mark(t >= goal * d) if key == "all" else ""))
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
    rows = ["| archive | decoder with CRC-32 | instructions per output byte "
            "| instructions per member |", "|---|---|---:|---:|"]
    for line in open(path):
        archive, name, instructions, size, members = line.split()
        rows.append("| %s | %s | %.2f | %.0f |" % (archive, name, int(instructions) / int(size),
                                                   int(instructions) / int(members)))
    return rows


def syscall_table(r):
    """System calls per member, the commonest first, then the total."""
    tools = r["tools"]
    n = r["members"]
    names = sorted(set().union(*tools.values()),
                   key=lambda c: -max(t.get(c, 0) for t in tools.values()))
    rows = ["| system call | %s |" % " | ".join(tools), "|---|" + "---:|" * len(tools)]
    for c in names:
        if max(t.get(c, 0) for t in tools.values()) >= n / 10:
            rows.append("| %s | %s |" % (c, " | ".join("%.2f" % (t.get(c, 0) / n)
                                                     for t in tools.values())))
    rows.append("| **all** | %s |" % " | ".join("**%.2f**" % (sum(t.values()) / n)
                                                for t in tools.values()))
    return rows


def med(runs, key):
    return statistics.median(r[key] if key != "cpu" else r["user"] + r["sys"] for r in runs)


def extract_table(r):
    """tvunzip against each peer; the targets are against bsdtar."""
    rows = ["| archive | tvunzip wall / CPU s | bsdtar | 7z | zipfile "
            "| tvunzip vs bsdtar / 7z / zipfile (wall) | vs bsdtar (CPU) | target | met |",
            "|---|---:|---:|---:|---:|---:|---:|---:|---|"]
    for archive, tools in r["archives"].items():
        if any(run["status"] != 0 for runs in tools.values() for run in runs):
            rows.append("| %s | a tool failed: %s |" % (archive, {
                k: [x["status"] for x in v] for k, v in tools.items()}))
            continue
        cells = {k: "%.3f / %.3f" % (med(v, "wall"), med(v, "cpu")) for k, v in tools.items()}
        wall = med(tools["bsdtar"], "wall") / med(tools["tvunzip"], "wall")
        cpu = med(tools["bsdtar"], "cpu") / med(tools["tvunzip"], "cpu")
        target = 1.6 if archive in DEFLATE_ARCHIVES else 1.0
        each = " / ".join("%.2fx" % (med(tools[p], "wall") / med(tools["tvunzip"], "wall"))
                          for p in PEERS)
        rows.append("| %s | %s | %s | %s | %s | %s | %.2fx | %.2fx | %s |" % (
            archive, cells["tvunzip"], cells["bsdtar"], cells["7z"], cells["zipfile"], each,
            cpu, target, mark(wall >= target)))
    return rows


def install_section(out):
    """Setup installing the bench disk against xcopy /E of the installed tree."""
    lines = ["## Installation under Wine: SETUP.EXE against xcopy /E (target: within 1.25x)", ""]
    skipped = os.path.join(out, "install-skipped.txt")
    if not os.path.exists(os.path.join(out, "install.json")):
        why = open(skipped).read().strip() if os.path.exists(skipped) else "install.sh not run"
        return lines + ["Not measured: %s." % why, ""]
    r = json.load(open(os.path.join(out, "install.json")))
    tools = r["tools"]
    base = {k: statistics.median(x[k] for x in tools["xcopy"]) for k in ("wall", "span")}
    lines += ["%s; %d files, %.1f MB; prefix in %s; median of %d runs.  Wall: the process from its start to its end; span: "
              "the first installed file's birth to the last one's final change." % (
                  r["label"], r["files"], r["bytes"] / 1e6, r["prefix"], r["runs"]), "",
              "| run | wall s | span s | vs xcopy, wall | vs xcopy, span | met (<= 1.25x) |",
              "|---|---:|---:|---:|---:|---|"]
    for name, runs in tools.items():
        wall, span = (statistics.median(x[k] for x in runs) for k in ("wall", "span"))
        met = mark(wall <= 1.25 * base["wall"]) if name.startswith("setup") else ""
        lines.append("| %s | %.2f | %.2f | %.2fx | %.2fx | %s |" % (
            name, wall, span, wall / base["wall"], span / base["span"], met))
    lines += ["", "SETUP.EXE: %d bytes (target: under 65,536): %s." % (
        r["setup_exe_bytes"], mark(r["setup_exe_bytes"] < 65536)), ""]
    return lines


EMULATED = ("**Emulated**: these figures were taken under qemu's user-mode emulation, on a "
            "machine that cannot execute 32-bit code.  Every decoder ran through the same "
            "translation, so the ratios are a proxy for a 32-bit machine's, not a measure "
            "of one; the speeds themselves are the emulator's.")


def decoder_section(out, suffix, title, goal):
    emulated = suffix and os.path.exists(os.path.join(out, "i686-emulated.txt"))
    if emulated:
        title += ", EMULATED (qemu-i386-static)"
    lines = ["## Decoder with its CRC-32, in memory, %s (output MB/s, median of 3)" % title, ""]
    if not os.path.exists(os.path.join(out, "decode%s.json" % suffix)):
        why = open(os.path.join(out, "i686.txt")).read().strip()
        return lines + ["Not measured: %s." % why, ""]
    if emulated:
        lines += [EMULATED, ""]
    s = speeds(os.path.join(out, "decode%s.json" % suffix))
    lines += decode_table(s, goal)
    lines += ["", "### CRC-32 alone, %s" % title, ""] + crc_table(s)
    counts = os.path.join(out, "callgrind%s.txt" % suffix)
    if os.path.exists(counts):
        lines += ["", "### Instructions (callgrind; fixed archive and 500 tiny members), %s"
                  % title, ""] + callgrind_table(counts)
    return lines + [""]


def main():
    out = sys.argv[1]
    r = json.load(open(os.path.join(out, "extract.json")))
    calls = json.load(open(os.path.join(out, "syscalls.json")))
    mem = r["memory_kib"]
    lines = ["# Benchmark results", "", "Machine: " + machine() + ".", ""]
    load = os.path.join(out, "load.txt")
    if os.path.exists(load):
        lines += ["Load: " + "; ".join(open(load).read().split("\n")).strip("; ") + ".", ""]
    lines += decoder_section(out, "", "64-bit host build", 0.9)
    lines += decoder_section(out, "-i686", "32-bit build (host-i686)", 0.8)
    lines += ["## System calls per member (strace -c -f, %s, %d members)" % (
        calls["archive"], calls["members"]), ""] + syscall_table(calls)
    lines += ["", "## Whole-process extraction on the disk (median of %d runs; wall / "
              "user+system seconds)" % r["runs"], ""] + extract_table(r)
    tmpfs = os.path.join(out, "extract-tmpfs.json")
    if os.path.exists(tmpfs):
        t = json.load(open(tmpfs))
        lines += ["", "## Whole-process extraction on a tmpfs (median of %d runs)" % t["runs"],
                  ""] + extract_table(t)
    lines += ["", "## Peak memory of tvunzip (target: within 1024 KiB of tvunzip -h)", "",
              "| run | peak KiB | above tvunzip -h | met |", "|---|---:|---:|---|",
              "| tvunzip -h | %d | | |" % mem["idle"]]
    for archive, kib in mem.items():
        if archive != "idle":
            grown = kib - mem["idle"]
            lines.append("| extracting %s | %d | %d | %s |" % (archive, kib, grown,
                                                                mark(grown <= 1024)))
    lines.append("")
    lines += install_section(out)
    print("\n".join(lines))


if __name__ == "__main__":
    main()
