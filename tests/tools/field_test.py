#!/usr/bin/env python3
"""field_test.py: tvunzip on archives as writers in the field leave them.

Stored members written to a stream that cannot seek (flag bit 3, sizes 0,
the real ones in a descriptor behind the data) come back byte for byte alone,
among Deflate members, across the input buffer's edges and with false
descriptors in their data; passed over, they end at their descriptor; cut
before it, the run fails and leaves nothing.  A ZIP64 member (Python's
force_zip64, 7z reading standard input) is refused naming the archive and
the member, and nothing is created for it.

usage: field_test.py [--wine] TVUNZIP

With --wine, TVUNZIP is the Windows build run under Wine (the loader that
TV_WINE names, else wine), whose messages are boxes: only the archives that
extract are tried.
"""
import io
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile

STORED, DEFLATED = zipfile.ZIP_STORED, zipfile.ZIP_DEFLATED
NOISE = os.urandom(70000)
CHUNK = 28672  # the engine's input buffer


def false_descriptor(at, size):
    """Data holding, at offset at, a signed descriptor whose sizes count the
    bytes before it but whose CRC-32 is not theirs."""
    fake = b"PK\x07\x08" + struct.pack("<III", 0xDEADBEEF, at, at)
    return NOISE[:at] + fake + NOISE[: size - at - 16]


def through_pipe(members):
    """Python's zipfile writing to a stream that cannot seek."""
    raw = io.BytesIO()
    sink = type("Unseekable", (), {"write": lambda s, b: raw.write(b), "flush": lambda s: None})()
    with zipfile.ZipFile(sink, "w") as z:
        for name, data, method in members:
            info = zipfile.ZipInfo(name)
            info.compress_type = method
            with z.open(info, "w") as w:
                w.write(data)
    return raw.getvalue()


def pipe_zip(members):
    """The archive, and the files it should give (directory entries give none)."""
    return through_pipe(members), {n: d for n, d, _ in members if not n.endswith("/")}


def zip64_python(path):
    with zipfile.ZipFile(path, "w") as z:
        z.writestr("first.txt", b"kept")
        with z.open("big.bin", "w", force_zip64=True) as w:
            w.write(NOISE[:1000])


def zip64_7z(path):
    if not shutil.which("7z"):
        print("SKIP: 7z is not installed")
        return False
    subprocess.run(["7z", "a", "-tzip", "-mx0", "-sibig.bin", path], input=NOISE[:1000],
                   check=True, stdout=subprocess.DEVNULL)
    return True


inner = io.BytesIO()
with zipfile.ZipFile(inner, "w", STORED) as z:
    z.writestr("decoy.txt", b"a member of the archive stored inside")
alone = pipe_zip([("alone.bin", NOISE[:5000], STORED)])
mixed = pipe_zip([("a.txt", b"deflated " * 500, DEFLATED), ("inner.zip", inner.getvalue(), STORED),
                  ("d/", b"PK\x03\x04 a directory with data", STORED),
                  ("false.bin", false_descriptor(CHUNK - 10, 60000), STORED),
                  ("b.txt", b"after", DEFLATED)])
edge_sizes = list(range(CHUNK - 17, CHUNK + 2)) + [2 * CHUNK - n for n in (31, 30, 15)] + [0, 1]
edges = pipe_zip([("e%d" % n, NOISE[:n], STORED) for n in edge_sizes])
descriptor_at = 30 + len("alone.bin") + 5000
# A descriptor without its signature closes nothing: extracted, the member
# has no end; passed over, the walk searches on for the next record.
unsigned = through_pipe([("alone.bin", NOISE[:5000], STORED), ("b.txt", b"after", DEFLATED)])
unsigned = unsigned[:descriptor_at] + unsigned[descriptor_at + 4:]
ZIP64_TEXT = "ZIP file {path}: member big.bin is in the ZIP64 format, which cannot be extracted"

# (what, archive bytes or writer, tvunzip options, exit, files expected, message)
CASES = [
    ("alone", alone[0], [], 0, alone[1], ""),
    ("alone tested", alone[0], ["-t"], 0, {}, ""),
    ("among Deflate members", mixed[0], ["-k"], 0, mixed[1], ""),
    ("mixed tested", mixed[0], ["-t"], 0, {}, ""),
    ("passed over", mixed[0], ["-n", "b.txt"], 0, {"b.txt": b"after"}, ""),
    ("at the buffer's edges", edges[0], [], 0, edges[1], ""),
    ("cut before its descriptor", alone[0][:descriptor_at], [], 2, {}, "Invalid Zipfile Header"),
    ("cut in its descriptor", alone[0][:descriptor_at + 12], [], 2, {}, "Invalid Zipfile Header"),
    ("unsigned descriptor", unsigned, [], 2, {}, "Invalid Zipfile Header"),
    ("unsigned descriptor passed over", unsigned, ["-n", "b.txt"], 0, {"b.txt": b"after"}, ""),
    ("ZIP64 by Python", zip64_python, [], 2, {"first.txt": b"kept"}, ZIP64_TEXT),
    ("ZIP64 by 7z", zip64_7z, [], 2, {}, ZIP64_TEXT),
]


def run_case(tvunzip, prefix, work, case):
    what, made, options, status, files, message = case
    path, dest = os.path.join(work, what.replace(" ", "_") + ".zip"), tempfile.mkdtemp(dir=work)
    if callable(made):
        if made(path) is False:
            return []
    else:
        with open(path, "wb") as f:
            f.write(made)
    target = [] if "-t" in options else [dest]
    run = subprocess.run(prefix + [tvunzip] + options + [path] + target, capture_output=True)
    wrong = []
    if run.returncode != status:
        wrong.append("exit %d, %r" % (run.returncode, run.stderr))
    if message.format(path=path) not in run.stderr.decode():
        wrong.append("message %r" % run.stderr)
    found = {}
    for dirpath, _, names in os.walk(dest):
        for n in names:
            with open(os.path.join(dirpath, n), "rb") as f:
                found[os.path.relpath(f.name, dest)] = f.read()
    if found != files:
        wrong.append("files %s, expected %s" % (sorted(found), sorted(files)))
    return ["%s: %s" % (what, w) for w in wrong]


def main():
    args = sys.argv[1:]
    prefix = [os.environ.get("TV_WINE", "wine")] if args[:1] == ["--wine"] else []
    if len(args) != 1 + len(prefix):
        sys.exit(__doc__)
    work = tempfile.mkdtemp(prefix="tvunzip-field-")
    try:
        failures = []
        for case in CASES:
            if not (prefix and case[3] != 0):
                failures += run_case(os.path.abspath(args[-1]), prefix, work, case)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    for f in failures:
        print("FAIL:", f)
    print("%d cases, %d failures" % (len(CASES), len(failures)))
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
