#!/usr/bin/env python3
"""Every public ZIP of the shared corpus appended to the native patcher and applied:
the outcome its MANIFEST leads us to expect, no crash or hang, the files a correct
extraction yields, and nothing written outside the install folder."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

PATCHER = os.path.abspath(sys.argv.pop(1))
CORPUS = os.path.abspath(sys.argv.pop(1))

OK, CORRUPTED, NOT_REPLACED = 0, 5, 8
ABSENT = -1  # a path that must not exist afterwards

# file -> (outcome, {path below the install folder: expected size, None for any, or ABSENT}).
# Outcome 5 covers what minizip cannot open, damaged data (-103/-105/-1 and inflate errors),
# and what the patcher refuses itself: other methods, encryption, unsafe names. A damaged entry
# replaces nothing. Outcome 8: a file stands where a later entry needs a folder, so that entry
# cannot be written.
EXPECTED = {
    "cpython-zipfile/exe_with_z64": (CORRUPTED, {}),
    "cpython-zipfile/exe_with_zip": (OK, {"testdata_module_inside_zip.py": 69}),
    "cpython-zipfile/zip_cp437_header.zip": (OK, {"filename_without.txt": None}),
    "cpython-zipfile/zipdir.zip": (OK, {"a/b/c": None}),
    # A folder entry creates only its last folder, so "d\\e\\" without "d" stays missing.
    "cpython-zipfile/zipdir_backslash.zip": (OK, {"a/b/c": None, "d": ABSENT}),
    "go-archive-zip/comment-truncated.zip": (OK, {"FILE": 1, "file": ABSENT}),
    "go-archive-zip/crc32-not-streamed.zip": (OK, {"foo.txt": 4, "bar.txt": 4}),
    "go-archive-zip/dd.zip": (OK, {"filename": 25}),
    # "a/b" is a file, so "a/b/c" cannot be created: reported, skipped, the pass goes on.
    "go-archive-zip/dupdir.zip": (NOT_REPLACED, {"a/b": 0, "a/b/c": ABSENT}),
    "go-archive-zip/go-no-datadesc-sig.zip": (OK, {"foo.txt": 4, "bar.txt": 4}),
    "go-archive-zip/go-with-datadesc-sig.zip": (OK, {"foo.txt": 4, "bar.txt": 4}),
    "go-archive-zip/readme.notzip": (CORRUPTED, {}),
    "go-archive-zip/readme.zip": (OK, {"README": 1096}),
    "go-archive-zip/subdir.zip": (OK, {"a/b/c": None}),
    "go-archive-zip/symlink.zip": (OK, {"symlink": 9}),  # a plain file holding the link text
    "go-archive-zip/test-badbase.zip": (CORRUPTED, {}),
    "go-archive-zip/test-baddirsz.zip": (CORRUPTED, {}),
    "go-archive-zip/test-prefix.zip": (OK, {"test.txt": 26, "gophercolor16x16.png": 785}),
    "go-archive-zip/test-trailing-junk.zip": (OK, {"test.txt": 26, "gophercolor16x16.png": 785}),
    "go-archive-zip/test.zip": (OK, {"test.txt": 26, "gophercolor16x16.png": 785}),
    "go-archive-zip/unix.zip": (OK, {"hello": 8, "dir/bar": 6, "dir/empty/": None, "readonly": 12}),
    "go-archive-zip/winxp.zip": (OK, {"dir/empty/": None}),
    "go-archive-zip/zip64-2.zip": (CORRUPTED, {}),
    "go-archive-zip/zip64.zip": (CORRUPTED, {}),
    "libarchive/test_compat_zip_1.zip": (OK, {}),
    "libarchive/test_compat_zip_2.zip": (OK, {}),
    "libarchive/test_compat_zip_3.zip": (OK, {}),
    "libarchive/test_compat_zip_4.zip": (OK, {"foo": None, "bar": None, "baz": None}),
    "libarchive/test_compat_zip_5.zip": (OK, {}),
    "libarchive/test_compat_zip_6.zip": (OK, {}),
    "libarchive/test_compat_zip_8.zip": (OK, {"arc/test": None}),
    "libarchive/test_read_data_into_fd_size_exceeds_declared_stored.zip": (CORRUPTED, {"first": ABSENT}),
    # file2's stored CRC is wrong: file1 extracts, file2 is written and then reported.
    "libarchive/test_read_format_zip.zip": (CORRUPTED, {"file1": None, "dir/": None}),
    "libarchive/test_read_format_zip_7075_utf8_paths.zip": (CORRUPTED, {"File 1.txt": None}),
    "libarchive/test_read_format_zip_bz2_hang.zip": (CORRUPTED, {}),
    "libarchive/test_read_format_zip_bzip2.zipx": (CORRUPTED, {}),
    "libarchive/test_read_format_zip_comment_stored_1.zip": (OK, {"file0": None, "build.sh": None}),
    "libarchive/test_read_format_zip_comment_stored_2.zip": (OK, {}),
    "libarchive/test_read_format_zip_encryption_data.zip": (CORRUPTED, {}),
    "libarchive/test_read_format_zip_extra_padding.zip": (CORRUPTED, {}),
    "libarchive/test_read_format_zip_filename_cp866.zip": (OK, {}),
    "libarchive/test_read_format_zip_high_compression.zip": (OK, {"char.bin": 262304}),
    "libarchive/test_read_format_zip_jar.jar": (OK, {"somedir/": None}),
    "libarchive/test_read_format_zip_length_at_end.zip": (OK, {"hello.txt": 6}),
    "libarchive/test_read_format_zip_lzma.zipx": (CORRUPTED, {}),
    "libarchive/test_read_format_zip_mac_metadata.zip": (OK, {"__MACOSX/": None}),
    "libarchive/test_read_format_zip_malformed1.zip": (CORRUPTED, {}),
    # Folders are known by their trailing separator alone (stored attributes are not read):
    # "def" becomes an empty file and "def/foo" is reported and skipped.
    "libarchive/test_read_format_zip_msdos.zip": (NOT_REPLACED, {"abc": None, "def/foo": ABSENT, "ghi/": None,
                                                                 "mno/": None}),
    "libarchive/test_read_format_zip_nested.zip": (OK, {}),
    "libarchive/test_read_format_zip_nofiletype.zip": (OK, {"file1": None, "dir2/": None}),
    "libarchive/test_read_format_zip_padded1.zip": (OK, {"file0": 6, "file1": 6}),
    "libarchive/test_read_format_zip_padded2.zip": (OK, {"file0": None, "file1": None}),
    "libarchive/test_read_format_zip_padded3.zip": (OK, {"file0": None, "file1": None}),
    "libarchive/test_read_format_zip_pkware_unix.zip": (OK, {"file1": None}),
    "libarchive/test_read_format_zip_sfx": (OK, {"file0": 0, "build.sh": 23}),
    "libarchive/test_read_format_zip_size_exceeds_declared_deflate.zip": (CORRUPTED, {"first": ABSENT}),
    "libarchive/test_read_format_zip_size_exceeds_declared_stored.zip": (CORRUPTED, {"first": ABSENT}),
    "libarchive/test_read_format_zip_symlink.zip": (OK, {"symlink": 4}),
    "libarchive/test_read_format_zip_traditional_encryption_data.zip": (CORRUPTED, {}),
    "libarchive/test_read_format_zip_uncompressed_size_off_by_4gib.zip": (CORRUPTED, {}),
    "libarchive/test_read_format_zip_ux.zip": (OK, {"file1": None}),
    "libarchive/test_read_format_zip_with_invalid_traditional_eocd.zip": (CORRUPTED, {}),
    "libarchive/test_read_format_zip_zip64a.zip": (OK, {"-": 6}),
    "libarchive/test_read_format_zip_zip64b.zip": (OK, {"-": 6}),
    # Names flagged UTF-8 that code page 1252 cannot hold are refused: nothing lands.
    "libarchive/unzip_test_I.zip": (CORRUPTED, {"Γειά σου Κόσμε.txt": ABSENT}),
    "libarchive/unzip_test_basic.zip": (OK, {}),
    "libarchive/unzip_test_encrypted.zip": (CORRUPTED, {}),
    "libarchive/unzip_test_singlefile.zip": (OK, {"file.txt": None}),
    "libarchive/unzip_test_symlink_1.zip": (OK, {"insecure.link": 10}),
    "libarchive/unzip_test_symlink_dotdot.zip": (OK, {}),
    "libarchive/unzip_test_t_bad.zip": (OK, {}),
    "minizip-ng/as.zip": (OK, {"As": 65535}),
    "minizip-ng/bzip2.zip": (CORRUPTED, {}),
    "minizip-ng/comments.zip": (OK, {"foo": None}),
    "minizip-ng/corpus.zip": (OK, {}),
    "minizip-ng/dot_dot_backslash_name.zip": (CORRUPTED, {}),
    "minizip-ng/encrypted_pkcrypt.zip": (CORRUPTED, {}),
    "minizip-ng/encrypted_wzaes.zip": (CORRUPTED, {}),
    "minizip-ng/gh.zip": (OK, {}),
    "minizip-ng/gh_739.zip": (CORRUPTED, {}),
    "minizip-ng/gh_740.zip": (CORRUPTED, {}),
    "minizip-ng/incorrect_number_entries.zip": (CORRUPTED, {}),
    "minizip-ng/infozip_symlinks.zip": (OK, {}),
    "minizip-ng/large_cd_comment.zip": (CORRUPTED, {}),  # end record beyond minizip's 64 KiB search
    "minizip-ng/license_zstd.zip": (CORRUPTED, {}),
    "minizip-ng/lzma.zip": (CORRUPTED, {}),
    "minizip-ng/permissions.zip": (OK, {}),
    "minizip-ng/signed.zip": (OK, {}),
    "minizip-ng/storeonly.zip": (OK, {}),
    "minizip-ng/tiny.zip": (OK, {}),  # no entries: behind the patcher image the empty archive opens
    "minizip-ng/unsupported_permissions.zip": (OK, {}),
    "minizip-ng/xz.zip": (CORRUPTED, {}),
    "minizip-ng/zip64.zip": (OK, {"foo": 13}),
    "snyk-zip-slip/zip-slip-win.zip": (CORRUPTED, {"good.txt": None}),
    "snyk-zip-slip/zip-slip.zip": (CORRUPTED, {"good.txt": None}),
}
for name in ("22738", "7zip", "go", "infozip", "osx", "win7", "winrar", "winzip"):
    EXPECTED["go-archive-zip/time-%s.zip" % name] = (OK, {})
for name in ("7zip", "infozip", "winrar", "winzip"):
    EXPECTED["go-archive-zip/utf8-%s.zip" % name] = (CORRUPTED, {"世界": ABSENT})
# Unflagged UTF-8 bytes are read in the player's code page, 1252, as Windows reads them.
EXPECTED["go-archive-zip/utf8-osx.zip"] = (OK, {"世界": ABSENT, "世界".encode().decode("cp1252"): 0})

MESSAGES = {OK: "Patch was successfully applied.", CORRUPTED: "Patch file is corrupted",
            NOT_REPLACED: "Some game files could not be replaced. Close the game and apply the patch again."}
SCRIPT = "echo ran > script-ran.txt\n"


def is_archive(path):
    name = os.path.basename(path)
    return name.endswith((".zip", ".zipx", ".jar")) or name.startswith("exe_with_") or name.endswith("_sfx") \
        or name.endswith(".notzip")


class ZipCorpus(unittest.TestCase):
    def test_corpus_lists_every_archive(self):
        found = set()
        for folder, _, files in os.walk(CORPUS):
            for f in files:
                path = os.path.join(folder, f)
                if is_archive(path):
                    found.add(os.path.relpath(path, CORPUS))
        self.assertEqual(sorted(found), sorted(EXPECTED))

    def test_each_archive_gives_its_outcome_and_stays_inside(self):
        with open(PATCHER, "rb") as f:
            patcher = f.read()
        outside = ["/tmp/evil.txt", "/Temp/evil.txt", "/tmp/Temp/evil.txt"]
        before = {p: os.path.exists(p) for p in outside}
        for name, (outcome, files) in sorted(EXPECTED.items()):
            with self.subTest(archive=name), tempfile.TemporaryDirectory() as work:
                game = os.path.join(work, "game")
                os.mkdir(game)
                with open(os.path.join(game, "patch.bat"), "w") as f:
                    f.write(SCRIPT)
                exe = os.path.join(work, "patch.exe")
                with open(exe, "wb") as f, open(os.path.join(CORPUS, name), "rb") as archive:
                    f.write(patcher + archive.read())
                os.chmod(exe, 0o755)
                registry = os.path.join(work, "registry.reg")
                with open(registry, "w") as f:
                    f.write('REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Pellmark\\Torvicor\\Vardane]\n'
                            '"Path"="%s"\n' % game)
                env = dict(os.environ, PATCHER_REGISTRY=registry)
                result = subprocess.run([exe], cwd=work, env=env, capture_output=True, timeout=60)
                stderr = result.stderr.decode("latin-1")
                self.assertEqual(0 if outcome == OK else 1, result.returncode, stderr)
                self.assertIn(MESSAGES[outcome], stderr)
                self.assertEqual(["game", "patch.exe", "registry.reg"], sorted(os.listdir(work)))
                self.assertEqual(outcome != CORRUPTED, os.path.exists(os.path.join(game, "script-ran.txt")))
                for path, size in files.items():
                    full = os.path.join(game, path)
                    if size == ABSENT:
                        self.assertFalse(os.path.lexists(full), path)
                        continue
                    if path.endswith("/"):
                        self.assertTrue(os.path.isdir(full), path)
                        continue
                    self.assertTrue(os.path.isfile(full) and not os.path.islink(full), path)
                    if size is not None:
                        self.assertEqual(size, os.path.getsize(full), path)
        self.assertEqual(before, {p: os.path.exists(p) for p in outside})


if __name__ == "__main__":
    if not os.path.isdir(CORPUS):
        print("SKIPPED: the shared corpus is not at %s" % CORPUS)
        sys.exit(77)
    unittest.main(verbosity=1)
