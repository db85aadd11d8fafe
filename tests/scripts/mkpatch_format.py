#!/usr/bin/env python3
"""mkpatch's output read by an independent reader (Python's zipfile and the raw headers):
layout, flags, versions, methods, times, and the command line's refusals and errors."""
import os
import pty
import random
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile

MKPATCH = os.path.abspath(sys.argv.pop(1))
STUB = os.path.abspath(sys.argv.pop(1))


def run(*args, cwd=None):
    return subprocess.run([MKPATCH, *args], capture_output=True, text=True, cwd=cwd)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, data, mtime=None):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    if mtime is not None:
        os.utime(path, (mtime, mtime))


class Format(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.root = self.dir.name
        self.payload = os.path.join(self.root, "payload")
        rng = random.Random(5)
        self.when = time.mktime((2024, 3, 9, 21, 14, 37, 0, 0, -1))
        self.files = {
            "zeta.txt": b"plain text " * 500,
            "Patch/b/noise.pak": bytes(rng.getrandbits(8) for _ in range(20000)),
            "Patch/a/tiny.pak": b"xy",
            "empty.dat": b"",
            "patch.bat": b"@echo off\r\nsondrel.exe %1 %2\r\n",
        }
        for name, data in self.files.items():
            write(os.path.join(self.payload, name), data, self.when)
        self.out = os.path.join(self.root, "patch.exe")
        result = run("build", "--stub", STUB, "--out", self.out, self.payload)
        self.assertEqual(0, result.returncode, result.stderr)
        self.blob = read(self.out)
        self.stub = read(STUB)

    def tearDown(self):
        self.dir.cleanup()

    def archive(self):
        return self.blob[len(self.stub):]

    def test_file_is_stub_then_archive_with_offsets_from_its_own_start(self):
        self.assertEqual(self.stub, self.blob[: len(self.stub)])
        archive = self.archive()
        self.assertEqual(b"PK\x03\x04", archive[:4])
        eocd = archive[-22:]
        sig, disk, cd_disk, n_disk, n_total, cd_size, cd_offset, comment = struct.unpack("<IHHHHIIH", eocd)
        self.assertEqual(0x06054B50, sig)
        self.assertEqual((0, 0, 0), (disk, cd_disk, comment))
        self.assertEqual((5, 5), (n_disk, n_total))
        self.assertEqual(len(archive) - 22, cd_offset + cd_size)

    def test_entries_sorted_without_folders_and_with_the_right_fields(self):
        with zipfile.ZipFile(self.out) as z:
            infos = z.infolist()
            self.assertEqual(sorted(self.files), [i.filename for i in infos])
            self.assertIsNone(z.testzip())
            for info in infos:
                data = self.files[info.filename]
                self.assertEqual(data, z.read(info))
                self.assertEqual(b"", info.extra)
                self.assertEqual(b"", info.comment)
                self.assertEqual(0, info.flag_bits & 0x9, "no encryption, no data descriptor")
                self.assertEqual(0x0B14, info.create_system << 8 | info.create_version)
                expect = time.localtime(self.when)[:6]
                self.assertEqual(expect[:5] + (expect[5] // 2 * 2,), info.date_time)
                if not data:
                    self.assertEqual((zipfile.ZIP_STORED, 0x0000, 10), (info.compress_type, info.flag_bits, info.extract_version))
                elif info.compress_type == zipfile.ZIP_DEFLATED:
                    self.assertEqual((0x0002, 20), (info.flag_bits, info.extract_version))
                    self.assertLess(info.compress_size, info.file_size)
                else:
                    self.assertEqual((0x0002, 10), (info.flag_bits, info.extract_version))
        with zipfile.ZipFile(self.out) as z:
            methods = {i.filename: i.compress_type for i in z.infolist()}
        self.assertEqual(zipfile.ZIP_DEFLATED, methods["zeta.txt"])
        self.assertEqual(zipfile.ZIP_STORED, methods["Patch/b/noise.pak"], "random data is smaller stored")
        self.assertEqual(zipfile.ZIP_STORED, methods["Patch/a/tiny.pak"])

    def test_local_headers_repeat_the_central_ones(self):
        archive = self.archive()
        with zipfile.ZipFile(self.out) as z:
            for info in z.infolist():
                at = info.header_offset - len(self.stub)
                fields = struct.unpack("<IHHHHHIIIHH", archive[at : at + 30])
                sig, need, flags, method, mtime, mdate, crc, csize, usize, nlen, xlen = fields
                self.assertEqual(0x04034B50, sig)
                self.assertEqual((need, flags, method), (info.extract_version, info.flag_bits, info.compress_type))
                self.assertEqual((crc, csize, usize), (info.CRC, info.compress_size, info.file_size))
                self.assertEqual((len(info.filename), 0), (nlen, xlen))

    def test_info_zip_reads_it_with_only_the_prefix_warning(self):
        result = subprocess.run(["unzip", "-tq", self.out], capture_output=True, text=True)
        self.assertIn(result.returncode, (0, 1), result.stdout + result.stderr)
        self.assertIn("No errors detected", result.stdout)

    def test_list_and_verify(self):
        listing = run("list", self.out)
        self.assertEqual(0, listing.returncode)
        self.assertEqual(6, len(listing.stdout.splitlines()))
        self.assertIn("deflate", listing.stdout)
        verify = run("verify", self.out)
        self.assertEqual(0, verify.returncode, verify.stdout)
        self.assertIn("5 entries, all sound", verify.stdout)


    def test_progress_line_only_on_a_terminal(self):
        leader, follower = pty.openpty()
        again = os.path.join(self.root, "again.exe")
        result = subprocess.run([MKPATCH, "build", "--stub", STUB, "--out", again, self.payload],
                                stdout=subprocess.PIPE, stderr=follower)
        os.close(follower)
        shown = b""
        try:
            while True:
                chunk = os.read(leader, 4096)
                if not chunk:
                    break
                shown += chunk
        except OSError:  # the terminal's other side is closed
            pass
        os.close(leader)
        self.assertEqual(0, result.returncode)
        self.assertIn(b"building: 5/5 entries", shown)
        self.assertEqual("", run("build", "--stub", STUB, "--out", again, self.payload).stderr)


class CommandLine(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.root = self.dir.name
        write(os.path.join(self.root, "payload", "a.txt"), b"a")

    def tearDown(self):
        self.dir.cleanup()

    def test_misuse_gets_a_message_and_a_non_zero_exit(self):
        cases = [
            ((), "no command given"),
            (("frobnicate",), "unknown command frobnicate"),
            (("build", "payload"), "--stub"),
            (("build", "--stub", STUB, "payload"), "--out"),
            (("build", "--stub", STUB, "--out", "x.exe"), "payload folder"),
            (("build", "--stub", STUB, "--out", "x.exe", "payload", "extra"), "more than one"),
            (("build", "--stub"), "--stub needs a value"),
            (("build", "--bogus"), "unknown option --bogus"),
            (("list",), "exactly one FILE"),
            (("verify", "a", "b"), "exactly one FILE"),
        ]
        for args, message in cases:
            with self.subTest(args=args):
                result = run(*args, cwd=self.root)
                self.assertEqual(2, result.returncode)
                self.assertIn(message, result.stderr)
                self.assertIn("usage:", result.stderr)
        self.assertFalse(os.path.exists(os.path.join(self.root, "x.exe")))

    def test_help(self):
        for args in (("--help",), ("build", "--help")):
            result = run(*args)
            self.assertEqual(0, result.returncode)
            self.assertIn("mkpatch build --stub STUB --out OUT DIR", result.stdout)
        # Each command's help is its own.
        for command, synopsis in (("diff", "mkpatch diff OLD NEW --out DIR"), ("verify", "mkpatch verify [--codepage N] FILE")):
            result = run(command, "--help")
            self.assertEqual(0, result.returncode)
            self.assertIn(synopsis, result.stdout)
            # Which code page the converter's languages use.
            self.assertIn("1252 (the default: Western European, the code page of\n"
                          "                all four languages of the converter", result.stdout)
            self.assertNotIn("mkpatch build", result.stdout)
        version = run("--version")
        self.assertEqual(0, version.returncode)
        self.assertIn("mkpatch 1.0", version.stdout)

    def test_refused_names_fail_and_keep_an_older_output(self):
        out = os.path.join(self.root, "old.exe")
        write(out, b"previous patch")
        write(os.path.join(self.root, "payload", "..\\up.txt"), b"x")
        result = run("build", "--stub", STUB, "--out", out, "payload", cwd=self.root)
        self.assertEqual(1, result.returncode)
        self.assertIn('the patcher would refuse "..\\up.txt"', result.stderr)
        self.assertEqual(b"previous patch", read(out))
        self.assertEqual(["old.exe", "payload"], sorted(os.listdir(self.root)))

    def test_unreadable_inputs(self):
        result = run("list", os.path.join(self.root, "payload", "a.txt"))
        self.assertEqual(1, result.returncode)
        self.assertIn("no readable patch archive", result.stderr)
        result = run("verify", os.path.join(self.root, "missing.exe"))
        self.assertEqual(1, result.returncode)


if __name__ == "__main__":
    unittest.main(verbosity=1)
