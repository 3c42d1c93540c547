#!/usr/bin/env python3
"""roundtrip.py [--wine] TVUNZIP: tvunzip against the archives of other archivers.

A corpus (text, binary, incompressible, repetitive, empty, and sizes around
the engine's buffer and the decoder's window) packed by zipfile at every
level, stored and streamed, by 7z and by bsdtar (a missing peer is skipped)
must come back byte for byte with its times (run with TZ=UTC).  Natively
also: a damaged member is named, an interrupt cancels; always: usage errors.
"""
import errno, io, os, random, shutil, signal, subprocess, sys, tempfile, threading, time, zipfile

STAMP = 1623760496  # 2021-06-15 12:34:56, an even second as DOS times need
failures = []
prefix = []  # the emulator that runs tvunzip, if any


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what)


def tvunzip(*args):
    return subprocess.run(prefix + list(args), capture_output=True, text=True)


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
        os.utime(path, (STAMP, STAMP))
    return files


def python_archives(src, files, out):
    def pack(target, method, **options):
        with zipfile.ZipFile(target, "w", method, **options) as z:
            for n in sorted(files):
                z.write(os.path.join(src, n), n)

    made = {}
    for what, method, options in [("python level %d" % l, zipfile.ZIP_DEFLATED,
                                   {"compresslevel": l}) for l in range(10)] + \
            [("python stored", zipfile.ZIP_STORED, {}), ("python streamed", zipfile.ZIP_DEFLATED, {})]:
        made[what] = os.path.join(out, what.replace(" ", "_") + ".zip")
        with open(made[what], "wb") as f:
            # Written to a stream that cannot seek, sizes follow the data.
            unseekable = type("Pipe", (), {"write": f.write, "flush": lambda s: None})()
            pack(unseekable if what.endswith("streamed") else f, method, **options)
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


def extract_and_compare(tool, what, archive, files, work):
    dest = tempfile.mkdtemp(dir=work)
    run = tvunzip(tool, "-v", archive, dest)
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
    run = tvunzip(tool, "-t", archive)
    check(run.returncode == 0 and run.stdout == "", "%s: -t exit %d" % (what, run.returncode))


def damaged(tool, work):
    path = os.path.join(work, "damaged.zip")
    with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED) as z:
        z.writestr("good.txt", b"fine")
        z.writestr("broken.txt", b"this member gets a flipped byte")
    with open(path, "rb+") as f:
        data = f.read()
        f.seek(data.index(b"flipped"))
        f.write(b"F")
    run = tvunzip(tool, "-t", path)
    check(run.returncode == 2, "damaged: exit %d" % run.returncode)
    check("ZIP damaged: file broken.txt: Bad CRC" in run.stderr, "damaged: %r" % run.stderr)
    check(tvunzip(tool, "-t", "-C", path).returncode == 0, "damaged with -C fails")


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
    archive = io.BytesIO()
    with zipfile.ZipFile(archive, "w", zipfile.ZIP_STORED) as z:
        z.writestr("first.txt", b"kept")
        z.writestr("second.bin", os.urandom(1 << 20))
    data, fifo, dest = archive.getvalue(), os.path.join(work, "pipe.zip"), tempfile.mkdtemp(dir=work)
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


def usage(tool, work):
    path = os.path.join(work, "any.zip")
    for args in ([], [path], ["-x", path, work], ["-t", path, work], ["-s", "many", path, work]):
        run = tvunzip(tool, *args)
        check(run.returncode == 64 and "usage" in run.stderr, "usage %s: exit %d" % (args, run.returncode))


def main():
    args = sys.argv[1:]
    if args[:1] == ["--wine"]:
        prefix.append(os.environ.get("TV_WINE", "wine"))
        args = args[1:]
    if len(args) != 1:
        sys.exit(__doc__)
    tool = os.path.abspath(args[0])
    work = tempfile.mkdtemp(prefix="tvunzip-roundtrip-")
    try:
        src = os.path.join(work, "corpus")
        files = corpus(src)
        archives = python_archives(src, files, work)
        archives.update(tool_archives(src, work))
        for what, archive in sorted(archives.items()):
            extract_and_compare(tool, what, archive, files, work)
        if not prefix:
            damaged(tool, work)
            interrupt(tool, work)
        usage(tool, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("%d archives, %d failures" % (len(archives), len(failures)))
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
