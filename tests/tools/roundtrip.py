#!/usr/bin/env python3
"""roundtrip.py: tvunzip against the archives of other archivers.

Generates a corpus (text, binary, incompressible, repetitive and empty files,
and files of 28672 and 32768 bytes and their neighbours, which sit on the
engine's buffer and the decoder's window boundaries), packs it with Python's
zipfile at every zlib level, with 7z and with bsdtar (which streams its
members with data descriptors), and checks that tvunzip gives back every file
byte for byte with its time.  A peer that is not installed is skipped with a
message.  Also: a damaged archive fails naming its member, and a bad command
line is a usage error.

usage: roundtrip.py [--wine] TVUNZIP   (run with TZ=UTC, so that DOS times are exact)

With --wine, TVUNZIP is the Windows build, run under Wine (the loader that
TV_WINE names, else wine); its message boxes are real boxes there, so only
archives that extract are tried, and the usage errors, which tvunzip prints
itself.
"""
import errno
import io
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import zipfile

STAMP = 1623760496  # 2021-06-15 12:34:56, an even second as DOS times need
failures = []
prefix = []  # the emulator that runs tvunzip, if any


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what)


def corpus(root):
    """Writes the corpus under root (one subdirectory); returns names to sizes."""
    rnd = random.Random(1951)
    words = [rnd.choice(["tarvex", "setup", "window", "member", "the", "of", "archive"])
             for _ in range(30000)]
    text = " ".join(words).encode()
    files = {
        "text.txt": text,
        "binary.bin": bytes(rnd.randrange(16) * 17 for _ in range(50000)),
        "random.bin": os.urandom(150000),
        "repeat.bin": b"abc" * 100000,
        "zeros.bin": bytes(300000),
        "empty.txt": b"",
        "one.txt": b"x",
        "sub/nested.txt": text[:5000],
        "sub/empty_nested": b"",
    }
    for size in (28671, 28672, 28673, 32767, 32768, 32769, 65536):
        files["edge_%d.bin" % size] = os.urandom(size // 2) + text[: size - size // 2]
    for name, data in files.items():
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        os.utime(path, (STAMP, STAMP))
    return files


def python_archives(src, out):
    names = sorted(n for n in walk(src))

    def pack(target, method, **options):
        with zipfile.ZipFile(target, "w", method, **options) as z:
            for n in names:
                z.write(os.path.join(src, n), n)

    made = {}
    for level in range(10):
        made["python level %d" % level] = os.path.join(out, "py%d.zip" % level)
        pack(made["python level %d" % level], zipfile.ZIP_DEFLATED, compresslevel=level)
    made["python stored"] = os.path.join(out, "pystored.zip")
    pack(made["python stored"], zipfile.ZIP_STORED)
    # Written to a stream that cannot seek: sizes follow the data.
    raw = io.BytesIO()
    pack(type("Unseekable", (), {"write": raw.write, "flush": lambda s: None, "tell": raw.tell})(),
         zipfile.ZIP_DEFLATED)
    made["python streamed"] = os.path.join(out, "pystream.zip")
    with open(made["python streamed"], "wb") as f:
        f.write(raw.getvalue())
    return made


def walk(src):
    for dirpath, _, filenames in os.walk(src):
        for f in filenames:
            yield os.path.relpath(os.path.join(dirpath, f), src)


def tool_archives(src, out):
    made = {}
    if shutil.which("7z"):
        for level in ("0", "5", "9"):
            path = os.path.join(out, "7z%s.zip" % level)
            subprocess.run(["7z", "a", "-tzip", "-mx=" + level, path, "."], cwd=src,
                           check=True, stdout=subprocess.DEVNULL)
            made["7z -mx=" + level] = path
    else:
        print("SKIP: 7z is not installed")
    if shutil.which("bsdtar"):
        path = os.path.join(out, "bsdtar.zip")
        subprocess.run(["bsdtar", "--format", "zip", "-cf", path, "."], cwd=src, check=True)
        made["bsdtar"] = path
        # Stored, bsdtar gives the real sizes but leaves the CRC-32 to the
        # descriptor, and marks even empty files as streamed.
        path = os.path.join(out, "bsdtar-stored.zip")
        subprocess.run(["bsdtar", "--format", "zip", "--options", "zip:compression=store",
                        "-cf", path, "."], cwd=src, check=True)
        made["bsdtar-stored"] = path
    else:
        print("SKIP: bsdtar is not installed")
    return made


def extract_and_compare(tvunzip, what, archive, files, work):
    dest = tempfile.mkdtemp(dir=work)
    run = subprocess.run(prefix + [tvunzip, "-v", archive, dest], capture_output=True, text=True)
    check(run.returncode == 0, "%s: exit %d, %s" % (what, run.returncode, run.stderr.strip()))
    check(prefix or run.stderr == "", "%s: unexpected messages %r" % (what, run.stderr))
    for name, data in files.items():
        path = os.path.join(dest, os.path.basename(name))
        if not os.path.exists(path):
            check(False, "%s: %s missing" % (what, name))
            continue
        with open(path, "rb") as f:
            check(f.read() == data, "%s: %s differs" % (what, name))
        check(int(os.stat(path).st_mtime) == STAMP, "%s: %s has the wrong time" % (what, name))
    announced = set(run.stdout.split())
    check(announced == {os.path.basename(n) for n in files}, "%s: -v announced %s" % (what, announced))
    run = subprocess.run(prefix + [tvunzip, "-t", archive], capture_output=True, text=True)
    check(run.returncode == 0 and run.stdout == "", "%s: -t exit %d" % (what, run.returncode))


def damaged(tvunzip, work):
    path = os.path.join(work, "damaged.zip")
    with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED) as z:
        z.writestr("good.txt", b"fine")
        z.writestr("broken.txt", b"this member gets a flipped byte")
    data = bytearray(open(path, "rb").read())
    data[data.index(b"flipped")] ^= 0x20
    open(path, "wb").write(data)
    run = subprocess.run([tvunzip, "-t", path], capture_output=True, text=True)
    check(run.returncode == 2, "damaged: exit %d" % run.returncode)
    check("ZIP damaged: file broken.txt: Bad CRC" in run.stderr, "damaged: %r" % run.stderr)
    run = subprocess.run([tvunzip, "-t", "-C", path], capture_output=True, text=True)
    check(run.returncode == 0, "damaged with -C: exit %d" % run.returncode)


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


def interrupt(tvunzip, work):
    """An interrupt in mid-member cancels: exit 99, no message, the partial
    file deleted and the earlier member kept.  The archive comes through a
    pipe, so the interrupt lands while the member is being read."""
    archive = io.BytesIO()
    with zipfile.ZipFile(archive, "w", zipfile.ZIP_STORED) as z:
        z.writestr("first.txt", b"kept")
        z.writestr("second.bin", os.urandom(1 << 20))
    data, fifo, dest = archive.getvalue(), os.path.join(work, "pipe.zip"), tempfile.mkdtemp(dir=work)
    os.mkfifo(fifo)
    tool = subprocess.Popen([tvunzip, fifo, dest], stderr=subprocess.PIPE)
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


def usage(tvunzip, work):
    path = os.path.join(work, "any.zip")
    for args in ([], [path], ["-x", path, work], ["-t", path, work], ["-s", "many", path, work]):
        run = subprocess.run(prefix + [tvunzip] + args, capture_output=True, text=True)
        check(run.returncode == 64 and "usage" in run.stderr, "usage %s: exit %d" % (args, run.returncode))


def main():
    args = sys.argv[1:]
    if args[:1] == ["--wine"]:
        prefix.append(os.environ.get("TV_WINE", "wine"))
        args = args[1:]
    if len(args) != 1:
        sys.exit(__doc__)
    tvunzip = os.path.abspath(args[0])
    work = tempfile.mkdtemp(prefix="tvunzip-roundtrip-")
    try:
        src = os.path.join(work, "corpus")
        files = corpus(src)
        archives = python_archives(src, work)
        archives.update(tool_archives(src, work))
        for what, archive in sorted(archives.items()):
            extract_and_compare(tvunzip, what, archive, files, work)
        if not prefix:
            damaged(tvunzip, work)
            interrupt(tvunzip, work)
        usage(tvunzip, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("%d archives, %d failures" % (len(archives), len(failures)))
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
