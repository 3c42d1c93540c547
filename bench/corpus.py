#!/usr/bin/env python3
"""corpus.py: the benchmark corpus and its archives, made afresh on this machine.

    corpus.py OUTDIR

Text comes from the C headers under /usr/include, binaries from the shared
libraries under /usr/lib, both taken in name order so that the same machine
always gives the same bytes; incompressible and repetitive data come from a
seeded generator.  The archives are made by the archivers a user could pick
(Python's zipfile at levels 6 and 9 and stored, 7z at its best level, bsdtar),
plus one archive of 2000 small files, one of 500 tiny ones (a few hundred
bytes: what a member costs beyond its bytes) and a fixed, smaller one for
instruction counts.  A manifest beside each archive lists its members for
the in-memory decode benchmark: group, data offset, compressed and
uncompressed size, CRC-32, method.  Nothing is remade when the stamp file says it is current.
"""
import os
import random
import shutil
import struct
import subprocess
import sys
import zipfile

VERSION = "4"
MB = 1 << 20
TEXT_SIZES = [0, 1, 10, 100, 1000, 10000, 100000, MB, 2 * MB, 4 * MB, 6 * MB, 6 * MB, 20 * MB]
BIN_SIZES = [65536, 262144, MB, 2 * MB + 700000, 4 * MB, 12 * MB]
RAND_SIZES = [MB, 4 * MB]
SMALL_FILES = 2000
TINY_FILES = 500


def pool(roots, suffixes, limit):
    """Concatenates the files under roots whose names end in suffixes."""
    parts, total = [], 0
    for root in roots:
        for dirpath, dirnames, filenames in os.walk(root):
            dirnames.sort()
            for name in sorted(filenames):
                path = os.path.join(dirpath, name)
                if not name.endswith(suffixes) or os.path.islink(path):
                    continue
                with open(path, "rb") as f:
                    data = f.read()
                parts.append(data)
                total += len(data)
                if total >= limit:
                    return b"".join(parts)
    data = b"".join(parts)
    return (data * (limit // max(len(data), 1) + 1))[:limit]


def cut(data, sizes):
    """Consecutive slices of data, one of each size."""
    out, pos = [], 0
    for size in sizes:
        out.append(data[pos:pos + size])
        pos += size
    return out


def repetitive(rng, size):
    """Long runs of one byte (distance 1), short periods, and long repeats."""
    out = bytearray()
    words = [b"setup ", b"member ", b"window ", b"tarvex\n"]
    while len(out) < size:
        kind = rng.randrange(3)
        if kind == 0:
            out += bytes([rng.randrange(256)]) * rng.randrange(1000, 200000)
        elif kind == 1:
            period = bytes(rng.randrange(256) for _ in range(rng.randrange(2, 9)))
            out += period * rng.randrange(500, 20000)
        else:
            block = b"".join(rng.choice(words) for _ in range(rng.randrange(20, 400)))
            out += block * rng.randrange(10, 200)
    return bytes(out[:size])


def write_files(base, group, blobs):
    names = []
    for i, blob in enumerate(blobs):
        name = "%s/%s%02d.dat" % (group, group, i)
        path = os.path.join(base, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(blob)
        names.append(name)
    return names


def make_corpus(out):
    rng = random.Random(1951)
    text = pool(["/usr/include"], (".h", ".hpp", ".txt"), sum(TEXT_SIZES) + 2 * MB)
    binary = pool(["/usr/lib/x86_64-linux-gnu"], (".so", ".a"), sum(BIN_SIZES))
    corpus = os.path.join(out, "corpus")
    names = write_files(corpus, "text", cut(text, TEXT_SIZES))
    names += write_files(corpus, "bin", cut(binary, BIN_SIZES))
    names += write_files(corpus, "rep", [repetitive(rng, s) for s in [8 * MB, 4 * MB, 8 * MB]])
    names += write_files(corpus, "rand", [rng.randbytes(s) for s in RAND_SIZES])
    small = os.path.join(out, "small")
    blobs, pos = [], 0
    for _ in range(SMALL_FILES):
        size = rng.randrange(100, 8192)
        blobs.append(text[pos:pos + size])
        pos += size
    small_names = write_files(small, "small", blobs)
    tiny = os.path.join(out, "tiny")
    blobs = []
    for _ in range(TINY_FILES):
        size = rng.randrange(200, 600)
        blobs.append(text[pos:pos + size])
        pos += size
    tiny_names = write_files(tiny, "tiny", blobs)
    fixed = os.path.join(out, "fixed")
    fixed_names = write_files(fixed, "text", [text[:4 * MB]])
    fixed_names += write_files(fixed, "bin", [binary[:2 * MB]])
    fixed_names += write_files(fixed, "rep", [repetitive(random.Random(7), 2 * MB)])
    fixed_names += write_files(fixed, "rand", [random.Random(8).randbytes(MB // 2)])
    return (corpus, names), (small, small_names), (tiny, tiny_names), (fixed, fixed_names)


def python_zip(path, base, names, method, level=None):
    with zipfile.ZipFile(path, "w", method, compresslevel=level) as z:
        for name in names:
            z.write(os.path.join(base, name), name)


def tool_zip(path, base, names, argv):
    subprocess.run(argv + [os.path.abspath(path)] + names, cwd=base, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def group_of(name, size):
    if name.startswith("small/"):
        return "small"
    return name.split("/")[0]


def write_manifest(path):
    """One line per member: group offset csize usize crc method."""
    lines = []
    with open(path, "rb") as raw, zipfile.ZipFile(path) as z:
        for info in z.infolist():
            if info.is_dir():
                continue
            raw.seek(info.header_offset)
            header = raw.read(30)
            name_len, extra_len = struct.unpack("<HH", header[26:30])
            offset = info.header_offset + 30 + name_len + extra_len
            lines.append("%s %d %d %d %d %d\n" % (group_of(info.filename, info.file_size), offset,
                                                  info.compress_size, info.file_size, info.CRC,
                                                  info.compress_type))
    with open(path + ".members", "w") as f:
        f.writelines(lines)


def main():
    out = sys.argv[1]
    stamp = os.path.join(out, "stamp")
    if os.path.exists(stamp) and open(stamp).read() == VERSION:
        return
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    (corpus, names), (small, small_names), (tiny, tiny_names), (fixed, fixed_names) = \
        make_corpus(out)
    arch = os.path.join(out, "archives")
    os.makedirs(arch)
    jobs = [
        ("zipfile-6.zip", lambda p: python_zip(p, corpus, names, zipfile.ZIP_DEFLATED, 6)),
        ("zipfile-9.zip", lambda p: python_zip(p, corpus, names, zipfile.ZIP_DEFLATED, 9)),
        ("stored.zip", lambda p: python_zip(p, corpus, names, zipfile.ZIP_STORED)),
        ("7z-mx9.zip", lambda p: tool_zip(p, corpus, names, ["7z", "a", "-tzip", "-mx=9"])),
        ("bsdtar.zip", lambda p: tool_zip(p, corpus, names, ["bsdtar", "--format", "zip", "-cf"])),
        ("small-files.zip",
         lambda p: python_zip(p, small, small_names, zipfile.ZIP_DEFLATED, 6)),
        ("tiny.zip", lambda p: python_zip(p, tiny, tiny_names, zipfile.ZIP_DEFLATED, 6)),
        ("fixed.zip", lambda p: python_zip(p, fixed, fixed_names, zipfile.ZIP_DEFLATED, 6)),
    ]
    for name, make in jobs:
        path = os.path.join(arch, name)
        print("corpus: making", name, flush=True)
        make(path)
        write_manifest(path)
    with open(stamp, "w") as f:
        f.write(VERSION)


if __name__ == "__main__":
    main()
