"""mkdisk: the disk it lays out and the disks it refuses.

Run as: python3 mkdisk_test.py MKDISK [TVUNZIP]
"""
import os, re, subprocess, sys, tempfile, time, unittest, zipfile, zlib

MKDISK = sys.argv[1] if len(sys.argv) > 1 else "tools/mkdisk"
TVUNZIP = sys.argv[2] if len(sys.argv) > 2 else ""
with open(os.path.join(os.path.dirname(__file__), "..", "..", "distfiles", "loose.def")) as _list:
    LOOSE = tuple(re.findall(r'^LOOSE\("([^"]+)"', _list.read(), re.M))  # the product's one list
PRODUCT = {"tarvex32.exe": os.urandom(5000), "Help.txt": b"help " * 4000, "empty.dat": b""}


class Disk(unittest.TestCase):
    def setUp(self):
        tmp = tempfile.TemporaryDirectory()
        self.addCleanup(tmp.cleanup)
        self.path = lambda *parts: os.path.join(tmp.name, *parts)
        loose = [("loose/" + (n.lower() if n == "ORDER.TXT" else n), n.encode() * 3)
                 for n in LOOSE]  # one source name in another case
        for name, data in [("SETUP.EXE", b"MZ program")] + loose + \
                [("product/" + n, data) for n, data in PRODUCT.items()]:
            self.write(name, data)
        os.utime(self.path("SETUP.EXE"), ns=(0, 1_700_000_000_123_456_789))
        os.utime(self.path("product", "Help.txt"), (0, 1_000_000_000))

    def write(self, name, data):
        os.makedirs(os.path.dirname(self.path(name)), exist_ok=True)
        with open(self.path(name), "wb") as f:
            f.write(data)

    def run_mkdisk(self, tvunzip=TVUNZIP):
        args = [sys.executable, MKDISK, "--tvunzip", tvunzip] + \
            [self.path(p) for p in ("SETUP.EXE", "loose", "product", "disk")]
        return subprocess.run(args, capture_output=True, text=True)

    # A missing loose file, a product file overwriting another file, and an
    # archive the engine rejects fail the disk; without the engine, a warning.
    def test_the_disk_is_refused_or_holds_the_loose_files_stamped_and_the_product(self):
        os.rename(self.path("loose", "VENDOR.TXT"), self.path("VENDOR.TXT"))
        result = self.run_mkdisk()
        self.assertEqual((result.returncode, "VENDOR.TXT" in result.stderr), (1, True))
        self.assertFalse(os.path.exists(self.path("disk")))
        os.rename(self.path("VENDOR.TXT"), self.path("loose", "VENDOR.TXT"))
        for name, why in (("readme.txt", "would overwrite"), ("HELP.TXT", "would overwrite"),
                          ("aux.txt", "device"), ("name.", "its end")):
            self.write("product/" + name, b"x")
            result = self.run_mkdisk()
            self.assertEqual((result.returncode, why in result.stderr), (1, True))
            os.remove(self.path("product", name))
            self.assertFalse(os.path.exists(self.path("disk")))
        self.write("failing-tvunzip", b"#!/bin/sh\nexit 2\n")
        os.chmod(self.path("failing-tvunzip"), 0o755)
        self.assertEqual(self.run_mkdisk(self.path("failing-tvunzip")).returncode, 1)
        self.assertFalse(os.path.exists(self.path("disk")))  # no untested disk left
        result = self.run_mkdisk(self.path("absent"))
        self.assertEqual((result.returncode, "warning" in result.stderr), (0, True))
        self.assertEqual(self.run_mkdisk().returncode, 0)
        self.assertEqual(sorted(os.listdir(self.path("disk"))),
                         sorted(LOOSE + ("SETUP.EXE", "setup.tv")))
        reference = os.stat(self.path("SETUP.EXE")).st_mtime_ns
        for name in LOOSE + ("SETUP.EXE",):
            self.assertEqual(os.stat(self.path("disk", name)).st_mtime_ns, reference, name)
            with open(self.path("disk", name), "rb") as f:
                self.assertEqual(f.read(), b"MZ program" if name == "SETUP.EXE" else name.encode() * 3)
        with zipfile.ZipFile(self.path("disk", "setup.tv")) as archive:
            infos = {i.filename: i for i in archive.infolist()}
            contents = {name: archive.read(name) for name in infos}
        self.assertEqual(contents, PRODUCT)
        for name, info in infos.items():
            self.assertEqual((info.compress_type, info.flag_bits & 0x800, info.CRC),
                             (zipfile.ZIP_DEFLATED, 0, zlib.crc32(PRODUCT[name])))
        self.assertEqual(infos["Help.txt"].date_time, time.localtime(1_000_000_000)[:6])
        self.assertLess(infos["Help.txt"].compress_size, 2000)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
