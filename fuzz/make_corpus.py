#!/usr/bin/env python3
"""make_corpus.py: writes the fuzzers' seed corpora into OUT/tables,
OUT/inflate and OUT/extract.

  make_corpus.py OUT

Streams come from zlib at every level and strategy over texts, noise, runs
and window-crossing data; archives come from zipfile and from a writer of
our own for the layouts zipfile does not make (junk between records,
descriptors of either form, streamed members, encrypted and unknown-method
members, kept and climbing paths, self-extractor prefixes).  Everything is
kept small so that the fuzzers' length limit lets it through whole.
"""
import io
import os
import random
import struct
import sys
import zipfile
import zlib

MAX_SEED = 8192  # the fuzzers' -max_len
DOS_TIME, DOS_DATE = (13 << 11 | 45 << 5 | 10), ((2004 - 1980) << 9 | 7 << 5 | 15)


def texts():
    rnd = random.Random(7)
    noise = bytes(rnd.randrange(256) for _ in range(3000))
    prose = b"the quick brown fox jumps over the lazy dog; " * 40
    return {
        "empty": b"",
        "one": b"x",
        "prose": prose,
        "noise": noise,
        "run": b"\xff" * 5000,
        "bytes": bytes(range(256)) * 4,
        "wrap": (prose + noise) * 12,  # more than one window of output
    }


def raw_deflate(data, level, strategy=zlib.Z_DEFAULT_STRATEGY):
    c = zlib.compressobj(level, zlib.DEFLATED, -15, 9, strategy)
    return c.compress(data) + c.flush()


def streams():
    out = {}
    strategies = {"default": zlib.Z_DEFAULT_STRATEGY, "fixed": zlib.Z_FIXED,
                  "huffman": zlib.Z_HUFFMAN_ONLY, "rle": zlib.Z_RLE, "filtered": zlib.Z_FILTERED}
    for name, data in texts().items():
        for level in (0, 1, 6, 9):
            out["%s-l%d" % (name, level)] = raw_deflate(data, level)
        for sname, strategy in strategies.items():
            out["%s-%s" % (name, sname)] = raw_deflate(data, 6, strategy)
    # Hand-made blocks: an empty stored block, an empty fixed block, block type 3.
    out["stored-empty"] = b"\x01\x00\x00\xff\xff"
    out["fixed-empty"] = b"\x03\x00"
    out["type3"] = b"\x07"
    # Several blocks: a full flush between pieces gives stored markers.
    c = zlib.compressobj(6, zlib.DEFLATED, -15)
    out["multi-block"] = c.compress(b"a" * 300) + c.flush(zlib.Z_FULL_FLUSH) + \
        c.compress(b"b" * 300) + c.flush()
    return {k: v for k, v in out.items() if len(v) <= MAX_SEED}


def length_lists():
    """Seeds for fuzz_tables: kind, desired width, fault byte, then lengths."""
    fixed_lit = [8] * 144 + [9] * 112 + [7] * 24 + [8] * 8
    seeds = {
        "fixed-literal": bytes([0, 7, 0] + fixed_lit),
        "fixed-distance": bytes([1, 5, 0] + [5] * 30),
        "code-length": bytes([2, 7, 0, 2, 3, 3, 4, 4, 4, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5, 5]),
        "one-of-1": bytes([1, 6, 0, 1] + [0] * 29),
        "one-of-2": bytes([1, 6, 0, 2] + [0] * 29),
        "three-of-1": bytes([3, 3, 0, 1, 1, 1]),
        "canonical-example": bytes([3, 3, 0, 2, 1, 3, 3]),
        "long-codes": bytes([3, 9, 0] + [1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 15]),
        "sixteen": bytes([3, 4, 0] + [16] * 200),
        "no-memory": bytes([0, 7, 0xE3] + fixed_lit),
    }
    for name, data in texts().items():
        if not data:
            continue
        # Lengths as a real encoder would give them: from symbol frequencies.
        freq = [0] * 288
        for b in data:
            freq[b] += 1
        freq[256] = 1
        lengths = [min(15, max(1, 16 - f.bit_length())) if f else 0 for f in freq[:286]]
        seeds["freq-" + name] = bytes([0, 9, 0] + lengths)
    return seeds


def local(name, data, method=0, flags=0, payload=None, crc=None, sizes=True):
    name = name.encode("latin-1") if isinstance(name, str) else name
    if payload is None:
        payload = data if method == 0 else raw_deflate(data, 6)
    crc = zlib.crc32(data) if crc is None else crc
    csize, usize = (len(payload), len(data)) if sizes else (0, 0)
    head = struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, flags, method, DOS_TIME, DOS_DATE,
                       crc if sizes else 0, csize, usize, len(name), 0)
    return head + name + payload


def descriptor(data, payload, signed=True):
    body = struct.pack("<III", zlib.crc32(data), len(payload), len(data))
    return (struct.pack("<I", 0x08074B50) + body) if signed else body


def central(name, data, method=0):
    name = name.encode("latin-1") if isinstance(name, str) else name
    return struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 0, method, DOS_TIME, DOS_DATE,
                       zlib.crc32(data), 0, len(data), len(name), 0, 0, 0, 0, 0, 0) + name


def end(entries=0, comment=b""):
    return struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, entries, entries, 0, 0,
                       len(comment)) + comment


def streamed(name, data, signed=True):
    payload = raw_deflate(data, 6)
    return local(name, data, 8, 0x0008, payload, sizes=False) + descriptor(data, payload, signed)


def archives():
    t = texts()
    small = t["prose"][:700]
    out = {}
    # zipfile's own archives, stored and deflated, and written to a pipe
    # (streamed members with descriptors).
    for label, method in (("stored", zipfile.ZIP_STORED), ("deflated", zipfile.ZIP_DEFLATED)):
        b = io.BytesIO()
        with zipfile.ZipFile(b, "w", method) as z:
            z.writestr("a.txt", small)
            z.writestr("dir/b.bin", t["noise"][:500])
            z.writestr("empty.txt", b"")
            z.writestr("dir/", b"")
        out["zipfile-" + label] = b.getvalue()

    class Pipe(io.RawIOBase):
        def __init__(self):
            self.buf = bytearray()

        def writable(self):
            return True

        def write(self, data):
            self.buf += data
            return len(data)

    pipe = Pipe()
    with zipfile.ZipFile(pipe, "w", zipfile.ZIP_DEFLATED) as z:
        with z.open("a.txt", "w") as w:
            w.write(small)
        with z.open("c.txt", "w") as w:
            w.write(t["run"][:900])
    out["zipfile-pipe"] = bytes(pipe.buf)

    # Layouts of our own.
    m1, m2 = ("a.txt", small), ("dir/b.bin", t["bytes"][:400])
    plain = local(*m1) + local(*m2, method=8) + central(*m1) + central(*m2, 8) + end(2)
    out["plain"] = plain
    out["empty-archive"] = end()
    out["junk-between"] = local(*m1) + b"\x00JUNK" + local(*m2, method=8) + end()
    out["sfx-prefix"] = b"MZ" + bytes(200) + plain
    desc_payload = m1[1]
    out["descriptor-12"] = local(m1[0], m1[1], 0, 0x0008, desc_payload) + \
        descriptor(m1[1], desc_payload, False) + local(*m2) + end()
    out["streamed-signed"] = streamed("a.txt", small) + streamed("dir/b.bin", t["noise"][:300]) + end()
    out["streamed-bare"] = streamed("a.txt", small, False) + end()
    out["stored-block"] = local("a.txt", small, 8, payload=raw_deflate(small, 0)) + end()
    out["fixed-block"] = local("a.txt", small, 8, payload=raw_deflate(small, 6, zlib.Z_FIXED)) + end()
    out["wrap"] = local("w.bin", t["wrap"][:40000], 8) + end()
    out["empty-members"] = local("e.txt", b"") + local("e2.txt", b"", 8, payload=b"\x03\x00") + end()
    out["encrypted"] = local("a.txt", small, 0, 0x0001) + local("x.txt", b"x") + end()
    out["unknown-method"] = local("a.txt", small, 6, payload=small) + end()
    out["bad-crc"] = local("a.txt", small, crc=0x12345678) + end()
    out["same-name"] = local("a.txt", b"first") + local("sub\\A.TXT", b"second") + end()
    out["kept-paths"] = local("/a.txt", b"rooted") + local("./b.txt", b"dotted") + end()
    out["climbing"] = local("../evil.txt", b"up") + local("C:evil.txt", b"drive") + \
        local("a/../../evil", b"up2") + local(".. /x", b"blank") + end()
    out["nul-name"] = local(b"ok.txt\x00../../evil", b"nul") + end()
    out["long-name"] = local("n" * 300, b"long") + end()
    out["directory-entries"] = local("docs/", b"") + local("docs\\", b"") + local("a.txt", b"a") + end()
    out["cut"] = plain[: len(plain) // 2]
    out["comment"] = local(*m1) + end(1, b"comment here")
    # Stored members streamed: a false descriptor in the data, one cut before
    # its descriptor, and a ZIP64 member, which is refused.
    fake = small[:40] + b"PK\x07\x08" + struct.pack("<III", 1, 40, 40) + small[:60]
    members = (m1, ("dir/b.bin", fake), ("d/", b"PK\x03\x04"))
    out["streamed-stored"] = b"".join(local(n, d, 0, 0x0008, sizes=False) + descriptor(d, d)
                                      for n, d in members) + end()
    out["streamed-stored-cut"] = local(*m1, 0, 0x0008, sizes=False)
    z64 = io.BytesIO()
    with zipfile.ZipFile(z64, "w") as z, z.open("a.txt", "w", force_zip64=True) as w:
        w.write(small)
    out["zip64"] = z64.getvalue()
    return {k: v for k, v in out.items() if len(v) <= MAX_SEED}


def write_all(folder, seeds):
    os.makedirs(folder, exist_ok=True)
    for name, data in seeds.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
    return len(seeds)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_corpus.py OUT")
    out = sys.argv[1]
    counts = [write_all(os.path.join(out, "tables"), length_lists()),
              write_all(os.path.join(out, "inflate"), streams()),
              write_all(os.path.join(out, "extract"), archives())]
    print("seeds: %d tables, %d inflate, %d extract" % tuple(counts))


if __name__ == "__main__":
    main()
