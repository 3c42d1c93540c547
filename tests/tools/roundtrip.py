#!/usr/bin/env python3
"""roundtrip.py [--wine | --no-interrupt] TVUNZIP: tvunzip against other archivers' archives.

A corpus packed by zipfile at every level, stored and streamed, by 7z and by
bsdtar (a missing peer is skipped) must come back byte for byte with its
times, also past another archive (-s); archives as writers in the field leave
them (CASES) extract or are refused as they should, natively and under Wine
(the loader TV_WINE names, else wine); natively also an interrupt cancels.
"""
import errno, io, os, random, shutil, signal, struct, subprocess, sys, tempfile, threading, time, zipfile, zlib

# Even seconds, as DOS times need: 2021-06-15 12:34:56, and for one file
# 2021-01-15, so that one of them lies in another season than today.
STAMP, WINTER = 1623760496, 1610714096


def stamp_of(name):
    return WINTER if name == "one.txt" else STAMP


def extracted_stamp(stamp, what):
    """zipfile and bsdtar store a stamp as local time by the offset of its
    own date, 7z by today's; the engine moves it back by today's, as Windows
    does."""
    if what.startswith("7z"):
        return stamp
    return stamp + time.localtime(stamp).tm_gmtoff - time.localtime().tm_gmtoff


STORED, DEFLATED = zipfile.ZIP_STORED, zipfile.ZIP_DEFLATED
NOISE = os.urandom(70000)
CHUNK = 28672  # the engine's input buffer
failures = []
command = []  # tvunzip, behind the emulator that runs it, if any


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what)


def tvunzip(*args):
    return subprocess.run(command + list(args), capture_output=True, text=True)


def unseekable(write):
    """A stream that cannot seek, to which zipfile streams its members with descriptors."""
    return type("Pipe", (), {"write": lambda s, b: write(b), "flush": lambda s: None})()


def corpus(root):
    """Writes the corpus under root (one subdirectory); returns names to contents."""
    rnd = random.Random(1951)
    text = " ".join(rnd.choice(["tarvex", "setup", "window", "member", "the", "of", "archive"])
                    for _ in range(30000)).encode()
    files = {"text.txt": text, "binary.bin": bytes(rnd.randrange(16) * 17 for _ in range(50000)),
             "random.bin": os.urandom(150000), "repeat.bin": b"abc" * 100000,
             "zeros.bin": bytes(300000), "empty.txt": b"", "one.txt": b"x",
             "sub/nested.txt": text[:5000], "sub/empty_nested": b""}
    for size in (28671, 28672, 28673, 32767, 32768, 32769, 65536):
        files["edge_%d.bin" % size] = os.urandom(size // 2) + text[: size - size // 2]
    for name, data in files.items():
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        os.utime(path, (stamp_of(name), stamp_of(name)))
    return files


def zipped(members, method=DEFLATED, level=None, pipe=False):
    """What zipfile writes of members (name or ZipInfo, data[, method]); with
    pipe to a stream that cannot seek: flag bit 3, sizes 0, the real ones in
    a descriptor behind the data."""
    raw = io.BytesIO()
    with zipfile.ZipFile(unseekable(raw.write) if pipe else raw, "w") as z:
        for name, data, *own in members:
            info = name if isinstance(name, zipfile.ZipInfo) else \
                zipfile.ZipInfo(name, time.localtime(stamp_of(name))[:6])
            z.writestr(info, data, own[0] if own else method, level)
    return raw.getvalue()


def python_archives(files, out):
    made = {}
    for what, method, level, pipe in [("python level %d" % l, DEFLATED, l, False) for l in range(10)] + \
            [("python stored", STORED, None, False), ("python streamed", DEFLATED, None, True)]:
        made[what] = os.path.join(out, what.replace(" ", "_") + ".zip")
        with open(made[what], "wb") as f:
            f.write(zipped(sorted(files.items()), method, level, pipe))
    return made


def tool_archives(src, out):
    commands = {"7z -mx=%s" % l: ["7z", "a", "-tzip", "-mx=" + l, "%s", "."] for l in "059"}
    commands["bsdtar"] = ["bsdtar", "--format", "zip", "-cf", "%s", "."]
    # Stored, bsdtar gives the real sizes but leaves the CRC-32 to the
    # descriptor, and marks even empty files as streamed.
    commands["bsdtar-stored"] = commands["bsdtar"][:3] + ["--options", "zip:compression=store",
                                                         "-cf", "%s", "."]
    made = {}
    for what, command in commands.items():
        if not shutil.which(command[0]):
            print("SKIP: %s is not installed" % command[0])
            continue
        made[what] = os.path.join(out, what.replace(" ", "_") + ".zip")
        subprocess.run([made[what] if a == "%s" else a for a in command], cwd=src, check=True,
                       stdout=subprocess.DEVNULL)
    return made


def extract(archive, work, *options):
    """tvunzip run over archive into a fresh directory: the run, the directory
    and the files it holds (relative path: bytes)."""
    dest = os.path.join(tempfile.mkdtemp(dir=work), "d")  # a name of one letter: the
    os.mkdir(dest)  # separator goes after it, not after the letter before it
    run = tvunzip(*options, archive, *([] if "-t" in options else [dest]))
    found = {}
    for dirpath, _, names in os.walk(dest):
        for n in names:
            with open(os.path.join(dirpath, n), "rb") as f:
                found[os.path.relpath(f.name, dest)] = f.read()
    return run, dest, found


def extract_and_compare(what, archive, files, work, *options):
    run, dest, found = extract(archive, work, *options, "-v")
    quiet = len(command) > 1 or run.stderr == ""  # Wine speaks for itself
    check(run.returncode == 0 and quiet, "%s: exit %d, %r" % (what, run.returncode, run.stderr))
    expected = {os.path.basename(n): d for n, d in files.items()}
    wrong = sorted(n for n in set(found) | set(expected) if found.get(n) != expected.get(n))
    check(not wrong, "%s: files missing, extra or differing: %s" % (what, wrong))
    for name in files:
        stamp, path = extracted_stamp(stamp_of(name), what), os.path.join(dest, name.split("/")[-1])
        got = int(os.stat(path).st_mtime) if os.path.exists(path) else None
        check(got == stamp, "%s: %s has the time %s, expected %d" % (what, name, got, stamp))
    check(set(run.stdout.split()) == set(expected), "%s: -v announced %s" % (what, run.stdout))
    run = tvunzip(*options, "-t", archive)
    check(run.returncode == 0 and run.stdout == "", "%s: -t exit %d" % (what, run.returncode))


def appended(archive, files, work):
    """An archive appended to another file (here another archive, whose member
    would be found first): -s starts past it."""
    first = zipped([(sorted(files)[0], b"not this one")])
    joined = os.path.join(work, "joined.zip")
    with open(joined, "wb") as f, open(archive, "rb") as a:
        f.write(first + a.read())
    extract_and_compare("-s past another archive", joined, files, work, "-s", str(len(first)))


def false_descriptor(at, size):
    """Data holding, at offset at, a signed descriptor whose sizes count the
    bytes before it but whose CRC-32 is not theirs."""
    fake = b"PK\x07\x08" + struct.pack("<III", 0xDEADBEEF, at, at)
    return NOISE[:at] + fake + NOISE[: size - at - 16]


def pipe_zip(members):
    """The archive, and the files it should give (directory entries give none)."""
    return zipped(members, pipe=True), {n: d for n, d, _ in members if not n.endswith("/")}


def local_member(name, data, zip64=False):
    """A stored member's local header and data; a ZIP64 one keeps its sizes
    in the extra field and 0xFFFFFFFF in the header, written here because
    zipfile's force_zip64 does so in some releases and not in others."""
    extra = struct.pack("<HHQQ", 1, 16, len(data), len(data)) if zip64 else b""
    size = 0xFFFFFFFF if zip64 else len(data)
    return struct.pack("<IHHHHHIIIHH", 0x04034B50, 45 if zip64 else 10, 0, 0, 0, 0x21,
                       zlib.crc32(data), size, size, len(name), len(extra)) + name + extra + data


def zip64_local(path):
    with open(path, "wb") as f:
        f.write(local_member(b"first.txt", b"kept") + local_member(b"big.bin", NOISE[:1000], True))


def zip64_7z(path):
    if not shutil.which("7z"):
        print("SKIP: 7z is not installed")
        return False
    subprocess.run(["7z", "a", "-tzip", "-mx0", "-sibig.bin", path], input=NOISE[:1000],
                   check=True, stdout=subprocess.DEVNULL)
    return True


inner = zipped([("decoy.txt", b"a member of the archive stored inside")], STORED)
alone = pipe_zip([("alone.bin", NOISE[:5000], STORED)])
# Incompressible, a.txt and e/ go into stored blocks, with a signature in the raw.
mixed = pipe_zip([("a.txt", b"PK\x03\x04" + NOISE[:3000], DEFLATED), ("inner.zip", inner, STORED),
                  ("d/", b"PK\x03\x04 a directory with data", STORED), ("e/", b"PK\x03\x04" + NOISE[:500], DEFLATED),
                  ("false.bin", false_descriptor(CHUNK - 10, 60000), STORED),
                  ("b.txt", b"after", DEFLATED)])
edge_sizes = list(range(CHUNK - 17, CHUNK + 2)) + [2 * CHUNK - n for n in (31, 30, 15)] + [0, 1]
edges = pipe_zip([("e%d" % n, NOISE[:n], STORED) for n in edge_sizes])
descriptor_at = 30 + len("alone.bin") + 5000
# A descriptor without its signature closes nothing: extracted, the member
# has no end; passed over, the walk searches on for the next record.
unsigned = zipped([("alone.bin", NOISE[:5000], STORED), ("b.txt", b"after", DEFLATED)], pipe=True)
unsigned = unsigned[:descriptor_at] + unsigned[descriptor_at + 4:]
# A central record's extra field and comment are passed over whole: a walk
# that lands anywhere in the comment meets a local header's signature.
info = zipfile.ZipInfo("a.txt")
info.extra, info.comment = b"\xfe\xca\x08\x00extra!!!", b"PK\x03\x04" * 40
commented = zipped([(info, b"alpha")], STORED)
# A descriptor whose sizes are not those decoded closes nothing.
lying = zipped([("a.txt", b"alpha " * 100)], pipe=True)
at = lying.index(b"PK\x07\x08") + 12
lying = lying[:at] + struct.pack("<I", 601) + lying[at + 4:]
# Real sizes, flag bit 3 and a CRC-32 of 0: an unsigned descriptor repeating
# the sizes holds the CRC-32.
plain = b"the CRC-32 only behind the data"
crc_behind = struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 8, 0, 0, 0x21, 0, len(plain), len(plain), 5, 0) + \
    b"c.txt" + plain + struct.pack("<III", zlib.crc32(plain), len(plain), len(plain)) + \
    struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 0, 0, 0, 0, 0)
damaged = zipped([("good.txt", b"fine"), ("broken.txt", b"this member gets a flipped byte")],
                 STORED).replace(b"flipped", b"Flipped")
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
    ("central extra and comment", commented, [], 0, {"a.txt": b"alpha"}, ""),
    ("descriptor with a wrong size", lying, [], 2, {}, "Invalid Zipfile Header"),
    ("CRC-32 only in an unsigned descriptor", crc_behind, [], 0, {"c.txt": plain}, ""),
    ("ZIP64 local header", zip64_local, [], 2, {"first.txt": b"kept"}, ZIP64_TEXT),
    ("ZIP64 by 7z", zip64_7z, [], 2, {}, ZIP64_TEXT),
    ("damaged", damaged, ["-t"], 2, {}, "ZIP damaged: file broken.txt: Bad CRC"),
    ("damaged, CRC check off", damaged, ["-t", "-C"], 0, {}, ""),
]


def run_case(work, case):
    what, made, options, status, files, message = case
    path = os.path.join(work, what.replace(" ", "_") + ".zip")
    if callable(made):
        if made(path) is False:
            return
    else:
        with open(path, "wb") as f:
            f.write(made)
    run, _, found = extract(path, work, *options)
    check(run.returncode == status, "%s: exit %d, %r" % (what, run.returncode, run.stderr))
    check(message.format(path=path) in run.stderr, "%s: message %r" % (what, run.stderr))
    check(found == files, "%s: files %s, expected %s" % (what, sorted(found), sorted(files)))


def open_writer(fifo, tool, seconds=60):
    """Opens the writing end of a pipe once the tool has opened its end; a
    tool that never does (it died first) fails here instead of hanging."""
    deadline = time.monotonic() + seconds
    while True:
        try:
            fd = os.open(fifo, os.O_WRONLY | os.O_NONBLOCK)
            os.set_blocking(fd, True)
            return os.fdopen(fd, "wb")
        except OSError as e:
            if e.errno != errno.ENXIO or tool.poll() is not None or time.monotonic() > deadline:
                raise RuntimeError("tvunzip never opened the pipe") from e
            time.sleep(0.01)


def interrupt(tool_path, work):
    """An interrupt in mid-member cancels: exit 99, no message, the partial
    file deleted and the earlier member kept.  The archive comes through a
    pipe, so the interrupt lands while the member is being read."""
    data = zipped([("first.txt", b"kept"), ("second.bin", os.urandom(1 << 20))], STORED)
    fifo, dest = os.path.join(work, "pipe.zip"), tempfile.mkdtemp(dir=work)
    os.mkfifo(fifo)
    tool = subprocess.Popen([tool_path, fifo, dest], stderr=subprocess.PIPE)
    watchdog = threading.Timer(120, tool.kill)  # a stuck tool fails the check, not the run
    watchdog.start()
    with open_writer(fifo, tool) as pipe:
        pipe.write(data[:200000])
        pipe.flush()
        tool.send_signal(signal.SIGINT)
        try:
            pipe.write(data[200000:])
        except BrokenPipeError:
            pass
    messages = tool.communicate()[1]
    watchdog.cancel()
    check(tool.returncode == 99 and not messages, "interrupt: exit %d" % tool.returncode)
    check(os.listdir(dest) == ["first.txt"], "interrupt left %s" % os.listdir(dest))


def usage(work):
    path = os.path.join(work, "any.zip")
    for args in ([], [path], ["-x", path, work], ["-t", path, work], ["-s", "many", path, work]):
        run = tvunzip(*args)
        check(run.returncode == 64 and "usage" in run.stderr, "usage %s: exit %d" % (args, run.returncode))


def main():
    args, option = sys.argv[1:], sys.argv[1] if len(sys.argv) == 3 else None
    if len(args) != 1 + bool(option) or option not in (None, "--wine", "--no-interrupt"):
        sys.exit(__doc__)
    wine = [os.environ.get("TV_WINE", "wine")] if option == "--wine" else []
    command[:] = wine + [os.path.abspath(args[-1])]
    work = tempfile.mkdtemp(prefix="tvunzip-roundtrip-")
    try:
        src = os.path.join(work, "corpus")
        files = corpus(src)
        archives = python_archives(files, work)
        archives.update(tool_archives(src, work))
        for what, archive in sorted(archives.items()):
            extract_and_compare(what, archive, files, work)
        appended(archives["python level 6"], files, work)
        for case in CASES:
            run_case(work, case)
        if not option:  # no pipe under Wine; its timing does not hold under Valgrind's slowdown
            interrupt(command[-1], work)
        usage(work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("%d archives, %d failures" % (len(archives), len(failures)))
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
