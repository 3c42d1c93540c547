"""mkdisk: the disk it lays out and the disks it refuses.

Run as: python3 mkdisk_test.py MKDISK [TVUNZIP]
"""
import os
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile
import zlib

MKDISK = sys.argv[1] if len(sys.argv) > 1 else "tools/mkdisk"
TVUNZIP = sys.argv[2] if len(sys.argv) > 2 else ""
LOOSE = ("README.TXT", "TARVEX.TXT", "LICENSE.TXT", "VENDOR.TXT", "WHATSNEW.TXT",
         "FILE_ID.DIZ", "ORDER.TXT")


class Disk(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.addCleanup(self.tmp.cleanup)
        self.path = lambda *parts: os.path.join(self.tmp.name, *parts)
        os.mkdir(self.path("loose"))
        os.mkdir(self.path("product"))
        self.write("SETUP.EXE", b"MZ program")
        os.utime(self.path("SETUP.EXE"), ns=(0, 1_700_000_000_123_456_789))
        for name in LOOSE:
            self.write("loose", name.lower() if name == "ORDER.TXT" else name, name.encode() * 3)
        self.write("product", "tarvex32.exe", os.urandom(5000))
        self.write("product", "Help.txt", b"help " * 4000)
        self.write("product", "empty.dat", b"")
        os.utime(self.path("product", "Help.txt"), (0, 1_000_000_000))

    def write(self, *parts):
        with open(self.path(*parts[:-1]), "wb") as f:
            f.write(parts[-1])

    def run_mkdisk(self, tvunzip=TVUNZIP):
        args = [sys.executable, MKDISK, "--tvunzip", tvunzip] + \
            [self.path(p) for p in ("SETUP.EXE", "loose", "product", "disk")]
        return subprocess.run(args, capture_output=True, text=True)

    def test_the_disk_holds_the_loose_files_stamped_and_the_product_flat_deflated(self):
        result = self.run_mkdisk()
        self.assertEqual(result.returncode, 0, result.stderr)
        reference = os.stat(self.path("SETUP.EXE")).st_mtime_ns
        for name in LOOSE + ("SETUP.EXE",):
            self.assertEqual(os.stat(self.path("disk", name)).st_mtime_ns, reference, name)
        with open(self.path("disk", "ORDER.TXT"), "rb") as f:
            self.assertEqual(f.read(), b"ORDER.TXT" * 3)
        with zipfile.ZipFile(self.path("disk", "setup.tv")) as archive:
            infos = {i.filename: i for i in archive.infolist()}
        self.assertEqual(sorted(infos), ["Help.txt", "empty.dat", "tarvex32.exe"])
        for info in infos.values():
            self.assertEqual((info.compress_type, info.flag_bits & 0x800), (zipfile.ZIP_DEFLATED, 0))
            with open(self.path("product", info.filename), "rb") as f:
                self.assertEqual(zlib.crc32(f.read()), info.CRC)
        self.assertEqual(infos["Help.txt"].date_time, time.localtime(1_000_000_000)[:6])
        self.assertLess(infos["Help.txt"].compress_size, 2000)

    def test_missing_colliding_or_rejected_files_are_refused(self):
        os.rename(self.path("loose", "VENDOR.TXT"), self.path("VENDOR.TXT"))
        result = self.run_mkdisk()
        self.assertEqual(result.returncode, 1)
        self.assertIn("VENDOR.TXT", result.stderr)
        self.assertFalse(os.path.exists(self.path("disk")))
        os.rename(self.path("VENDOR.TXT"), self.path("loose", "VENDOR.TXT"))
        for name in ("readme.txt", "HELP.TXT"):
            self.write("product", name, b"x")
            result = self.run_mkdisk()
            self.assertEqual(result.returncode, 1, name)
            self.assertIn("would overwrite", result.stderr)
            os.remove(self.path("product", name))
        # An archive the engine rejects fails the disk; without the engine, a warning.
        self.write("failing-tvunzip", b"#!/bin/sh\nexit 2\n")
        os.chmod(self.path("failing-tvunzip"), 0o755)
        self.assertEqual(self.run_mkdisk(self.path("failing-tvunzip")).returncode, 1)
        result = self.run_mkdisk(self.path("absent"))
        self.assertEqual(result.returncode, 0)
        self.assertIn("warning", result.stderr)



if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
