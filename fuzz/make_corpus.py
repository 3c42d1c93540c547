#!/usr/bin/env python3
"""make_corpus.py OUT: the fuzzers' seeds, each within -max_len, in OUT/tables,
OUT/inflate and OUT/extract: zlib's streams at several levels and every strategy,
zipfile's archives, and records packed here in the layouts zipfile never makes.
"""
import io, os, random, struct, sys, zipfile, zlib

MAX_SEED = 8192
DOS_TIME, DOS_DATE = 13 << 11 | 45 << 5 | 10, (2004 - 1980) << 9 | 7 << 5 | 15
rnd = random.Random(7)
NOISE = bytes(rnd.randrange(256) for _ in range(3000))
PROSE = b"the quick brown fox jumps over the lazy dog; " * 40
TEXTS = {"empty": b"", "one": b"x", "prose": PROSE, "noise": NOISE, "run": b"\xff" * 5000,
         "bytes": bytes(range(256)) * 4, "wrap": (PROSE + NOISE) * 12}  # wrap: over a window
STRATEGIES = {"default": zlib.Z_DEFAULT_STRATEGY, "fixed": zlib.Z_FIXED, "rle": zlib.Z_RLE,
              "huffman": zlib.Z_HUFFMAN_ONLY, "filtered": zlib.Z_FILTERED}


def deflate(data, level=6, strategy=zlib.Z_DEFAULT_STRATEGY, flush_after=None):
    c = zlib.compressobj(level, zlib.DEFLATED, -15, 9, strategy)
    if flush_after is None:
        return c.compress(data) + c.flush()
    head = c.compress(data[:flush_after]) + c.flush(zlib.Z_FULL_FLUSH)
    return head + c.compress(data[flush_after:]) + c.flush()


def streams():
    out = {"stored-empty": b"\x01\x00\x00\xff\xff", "fixed-empty": b"\x03\x00", "type3": b"\x07",
           "multi-block": deflate(b"a" * 300 + b"b" * 300, flush_after=300)}
    for name, data in TEXTS.items():
        out.update(("%s-l%d" % (name, level), deflate(data, level)) for level in (0, 1, 9))
        out.update(("%s-%s" % (name, s), deflate(data, 6, v)) for s, v in STRATEGIES.items())
    return out


def length_lists():
    """fuzz_tables seeds: kind, desired width, fault byte, then the lengths."""
    fixed = [8] * 144 + [9] * 112 + [7] * 24 + [8] * 8
    seeds = {"fixed-literal": [0, 7, 0] + fixed, "fixed-distance": [1, 5, 0] + [5] * 30,
             "code-length": [2, 7, 0, 2, 3, 3, 4, 4, 4, 4] + [0] * 10 + [5, 5],
             "one-of-1": [1, 6, 0, 1] + [0] * 29, "one-of-2": [1, 6, 0, 2] + [0] * 29,
             "three-of-1": [3, 3, 0, 1, 1, 1], "canonical": [3, 3, 0, 2, 1, 3, 3],
             "long-codes": [3, 9, 0] + list(range(1, 16)) + [15], "sixteen": [3, 4, 0] + [16] * 200,
             "no-memory": [0, 7, 0xE3] + fixed}
    for name, data in TEXTS.items():  # lengths as an encoder gives them, from frequencies
        freq = [data.count(b) for b in range(256)] + [1] + [0] * 29
        seeds["freq-" + name] = [0, 9, 0] + [min(15, max(1, 16 - f.bit_length())) if f else 0 for f in freq]
    return {k: bytes(v) for k, v in seeds.items()}


def local(name, data, method=0, flags=0, payload=None, crc=None, sizes=True):
    name = name if isinstance(name, bytes) else name.encode("latin-1")
    payload = payload if payload is not None else data if method == 0 else deflate(data)
    crc = zlib.crc32(data) if crc is None else crc
    fields = (crc, len(payload), len(data)) if sizes else (0, 0, 0)
    return struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, flags, method, DOS_TIME, DOS_DATE,
                       *fields, len(name), 0) + name + payload


def descriptor(data, payload, signed=True):
    body = struct.pack("<III", zlib.crc32(data), len(payload), len(data))
    return b"PK\x07\x08" * signed + body


def central(name, data, method=0):
    return struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 0, method, DOS_TIME, DOS_DATE,
                       zlib.crc32(data), 0, len(data), len(name), 0, 0, 0, 0, 0, 0) + name.encode()


def end(entries=0, comment=b""):
    return struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, entries, entries, 0, 0, len(comment)) + comment


def streamed(name, data, signed=True):
    payload = deflate(data)
    return local(name, data, 8, 8, payload, sizes=False) + descriptor(data, payload, signed)


def zipfile_archive(method, pipe=False):
    buf = io.BytesIO()
    # A stream that cannot seek makes zipfile stream its members with descriptors.
    target = type("Pipe", (), {"write": buf.write, "flush": lambda s: None})() if pipe else buf
    with zipfile.ZipFile(target, "w", method) as z:
        for name, data in (("a.txt", PROSE[:700]), ("dir/b.bin", NOISE[:500]), ("empty.txt", b""),
                           ("dir/", b"")):
            with z.open(name, "w") as w:
                w.write(data)
    return buf.getvalue()


def archives():
    small, m1, m2 = PROSE[:700], ("a.txt", PROSE[:700]), ("dir/b.bin", TEXTS["bytes"][:400])
    fake = small[:40] + b"PK\x07\x08" + struct.pack("<III", 1, 40, 40) + small[:60]
    plain = local(*m1) + local(*m2, method=8) + central(*m1) + central(*m2, 8) + end(2)
    return {
        "zipfile-stored": zipfile_archive(zipfile.ZIP_STORED),
        "zipfile-deflated": zipfile_archive(zipfile.ZIP_DEFLATED),
        "zipfile-pipe": zipfile_archive(zipfile.ZIP_DEFLATED, pipe=True),
        "plain": plain, "empty-archive": end(), "cut": plain[: len(plain) // 2],
        "junk-between": local(*m1) + b"\x00JUNK" + local(*m2, method=8) + end(),
        "sfx-prefix": b"MZ" + bytes(200) + plain,
        "descriptor-12": local(*m1, flags=8) + descriptor(small, small, False) + local(*m2) + end(),
        "streamed-signed": streamed(*m1) + streamed("dir/b.bin", NOISE[:300]) + end(),
        "streamed-bare": streamed(*m1, signed=False) + end(),
        "wrap": local("w.bin", TEXTS["wrap"][:40000], 8) + end(),
        "empty-members": local("e.txt", b"") + local("e2.txt", b"", 8, payload=b"\x03\x00") + end(),
        "encrypted": local(*m1, flags=1) + local("x.txt", b"x") + end(),
        "unknown-method": local(*m1, method=6, payload=small) + end(),
        "bad-crc": local(*m1, crc=0x12345678) + end(),
        # names that are kept, cut to their base or refused, the refused last
        "names": local("a.txt", b"first") + local("sub\\A.TXT", b"second") + local("/r.txt", b"rooted") +
                 local("../evil.txt", b"up") + local(".. /x", b"blank") + local(b"ok.txt\x00../../evil", b"nul") +
                 local("docs/", b"") + local("docs\\", b"") + local("C:evil.txt", b"drive") +
                 local("n" * 300, b"long") + end(),
        "comment": local(*m1) + end(1, b"comment here"),
        # Stored members streamed (a false descriptor in the data, a member
        # cut before its descriptor) and a ZIP64 member, which is refused.
        "streamed-stored": b"".join(local(n, d, 0, 8, sizes=False) + descriptor(d, d)
                                    for n, d in (m1, ("dir/b.bin", fake), ("d/", b"PK\x03\x04"))) + end(),
        "streamed-stored-cut": local(*m1, 0, 8, sizes=False),
        "zip64": zip64(small),
    }


def zip64(data):
    b = io.BytesIO()
    with zipfile.ZipFile(b, "w") as z, z.open("a.txt", "w", force_zip64=True) as w:
        w.write(data)
    return b.getvalue()


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_corpus.py OUT")
    counts = []
    for folder, seeds in (("tables", length_lists()), ("inflate", streams()), ("extract", archives())):
        os.makedirs(os.path.join(sys.argv[1], folder), exist_ok=True)
        kept = {k: v for k, v in seeds.items() if len(v) <= MAX_SEED}
        for name, data in kept.items():
            with open(os.path.join(sys.argv[1], folder, name), "wb") as f:
                f.write(data)
        counts.append(len(kept))
    print("seeds: %d tables, %d inflate, %d extract" % tuple(counts))


if __name__ == "__main__":
    main()
