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
        root = self.tmp.name
        self.setup_exe = os.path.join(root, "SETUP.EXE")
        self.loose = os.path.join(root, "loose")
        self.product = os.path.join(root, "product")
        self.out = os.path.join(root, "disk")
        for d in (self.loose, self.product):
            os.mkdir(d)
        self.write(self.setup_exe, b"MZ program")
        os.utime(self.setup_exe, ns=(0, 1_700_000_000_123_456_789))
        for name in LOOSE:
            self.write(os.path.join(self.loose, name.lower() if name == "ORDER.TXT" else name),
                       name.encode() * 3)
        self.write(os.path.join(self.product, "tarvex32.exe"), os.urandom(5000))
        self.write(os.path.join(self.product, "Help.txt"), b"help " * 4000)
        self.write(os.path.join(self.product, "empty.dat"), b"")
        os.utime(os.path.join(self.product, "Help.txt"), (0, 1_000_000_000))

    def tearDown(self):
        self.tmp.cleanup()

    def write(self, path, data):
        with open(path, "wb") as f:
            f.write(data)

    def run_mkdisk(self, tvunzip=None):
        args = [sys.executable, MKDISK, "--tvunzip", tvunzip if tvunzip is not None else TVUNZIP,
                self.setup_exe, self.loose, self.product, self.out]
        return subprocess.run(args, capture_output=True, text=True)

    def test_every_loose_file_carries_the_exact_time_of_setup_exe(self):
        result = self.run_mkdisk()
        self.assertEqual(result.returncode, 0, result.stderr)
        reference = os.stat(self.setup_exe).st_mtime_ns
        for name in LOOSE + ("SETUP.EXE",):
            self.assertEqual(os.stat(os.path.join(self.out, name)).st_mtime_ns, reference, name)
        with open(os.path.join(self.out, "ORDER.TXT"), "rb") as f:
            self.assertEqual(f.read(), b"ORDER.TXT" * 3)

    def test_the_archive_holds_the_product_flat_deflated_with_its_times(self):
        self.assertEqual(self.run_mkdisk().returncode, 0)
        with zipfile.ZipFile(os.path.join(self.out, "setup.tv")) as archive:
            infos = {i.filename: i for i in archive.infolist()}
            self.assertEqual(sorted(infos), ["Help.txt", "empty.dat", "tarvex32.exe"])
            for info in infos.values():
                self.assertEqual(info.compress_type, zipfile.ZIP_DEFLATED)
                self.assertEqual(info.flag_bits & 0x800, 0)
                with open(os.path.join(self.product, info.filename), "rb") as f:
                    self.assertEqual(zlib.crc32(f.read()), info.CRC)
            self.assertEqual(infos["Help.txt"].date_time, time.localtime(1_000_000_000)[:6])
            self.assertLess(infos["Help.txt"].compress_size, 2000)

    def test_a_missing_loose_file_is_refused_before_anything_is_written(self):
        os.remove(os.path.join(self.loose, "VENDOR.TXT"))
        result = self.run_mkdisk()
        self.assertEqual(result.returncode, 1)
        self.assertIn("VENDOR.TXT", result.stderr)
        self.assertFalse(os.path.exists(self.out))

    def test_names_that_would_collide_in_the_target_are_refused(self):
        for name in ("readme.txt", "HELP.TXT"):
            path = os.path.join(self.product, name)
            self.write(path, b"x")
            result = self.run_mkdisk()
            self.assertEqual(result.returncode, 1, name)
            self.assertIn("would overwrite", result.stderr)
            os.remove(path)

    def test_an_archive_the_engine_rejects_fails_the_disk(self):
        failing = os.path.join(self.tmp.name, "failing-tvunzip")
        self.write(failing, b"#!/bin/sh\nexit 2\n")
        os.chmod(failing, 0o755)
        self.assertEqual(self.run_mkdisk(failing).returncode, 1)
        result = self.run_mkdisk(os.path.join(self.tmp.name, "absent"))
        self.assertEqual(result.returncode, 0)
        self.assertIn("warning", result.stderr)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
