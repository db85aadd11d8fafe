#!/usr/bin/env python3
"""Damaged patches applied by the native patcher over an installation holding older copies of
the files: a real patch built by mkpatch, damaged by single bit flips spread over its archive,
cuts at every structure boundary, and local headers that disagree with their central headers.
For every variant: no crash or hang, nothing written outside the install folder, no temporary
file left, every file either its old content or an entry's exact new content, and outcome 0
only when every file is new. Prints the count of variants by outcome.
    damage_sweep.py PATCHER MKPATCH"""
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile

PATCHER, MKPATCH = (os.path.abspath(p) for p in sys.argv[1:3])
MESSAGES = {
    "Patch was successfully applied.": 0,
    "Patch file is corrupted": 5,
    "Some game files could not be replaced. Close the game and apply the patch again.": 8,
}

rng = random.Random(1)
NEW = {
    "Data/config.ini": b"[video]\nwidth=800\nheight=600\n" * 3,
    "Data/Maps/one.map": bytes(rng.randrange(256) for _ in range(6000)),
    "Data/Maps/two.map": b"map two, version 1.02\n" * 400,
    "Textures/stone.tex": bytes(rng.randrange(256) for _ in range(3000)) + b"\0" * 5000,
    "readme.txt": b"Vardane 1.02\n",
    "patch.bat": b"exit 0\n",
}
OLD = {name: b"old copy of " + name.encode() for name in NEW if name != "patch.bat"}


def le16(data, at):
    return struct.unpack_from("<H", data, at)[0]


def le32(data, at):
    return struct.unpack_from("<I", data, at)[0]


def structure(archive):
    """Offsets of every structure boundary of the archive, and of each local and central header."""
    end = archive.rindex(b"PK\x05\x06")
    count, central = le16(archive, end + 10), le32(archive, end + 16)
    boundaries, locals_, centrals = {0, central, end, end + 22, len(archive)}, [], []
    at = central
    for _ in range(count):
        centrals.append(at)
        local = le32(archive, at + 42)
        locals_.append(local)
        name_end = local + 30 + le16(archive, local + 26)
        data = name_end + le16(archive, local + 28)
        boundaries |= {local, local + 30, name_end, data, data + le32(archive, at + 20), at, at + 46}
        at += 46 + le16(archive, at + 28) + le16(archive, at + 30) + le16(archive, at + 32)
    return sorted(boundaries), locals_, centrals


def variants(archive):
    boundaries, locals_, centrals = structure(archive)
    for n in range(240):  # single bit flips spread evenly over the archive
        at = n * len(archive) // 240 + n % 7
        damaged = bytearray(archive)
        damaged[at] ^= 1 << (n % 8)
        yield "flip bit %d of byte %d" % (n % 8, at), bytes(damaged)
    for cut in boundaries:
        if cut < len(archive):
            yield "cut at %d" % cut, archive[:cut]
    for index, local in enumerate(locals_):
        name = "entry %d local header: " % index
        for what, offset, width, value in (
            ("other method", 8, 2, lambda v: 0 if v == 8 else 8),
            ("other CRC", 14, 4, lambda v: v ^ 0x10),
            ("smaller packed size", 18, 4, lambda v: max(v - 1, 0)),
            ("larger size", 22, 4, lambda v: v + 1),
            ("longer name", 26, 2, lambda v: v + 1),
            ("data descriptor flag", 6, 2, lambda v: v | 8),
        ):
            damaged = bytearray(archive)
            fmt = "<H" if width == 2 else "<I"
            struct.pack_into(fmt, damaged, local + offset, value(struct.unpack_from(fmt, archive, local + offset)[0]))
            yield name + what, bytes(damaged)
        damaged = bytearray(archive)
        damaged[local + 30] ^= 0x20  # one letter of the name in the other case
        yield name + "other name", bytes(damaged)


def check(label, result, game, work):
    problems = []
    if result.returncode not in (0, 1):
        problems.append("exit status %d" % result.returncode)
    stderr = result.stderr.decode("latin-1").strip().splitlines()
    message = stderr[-1].split(": ", 1)[-1] if stderr else ""
    outcome = MESSAGES.get(message)
    if outcome is None:
        problems.append("no outcome message: %r" % stderr[-3:])
    if sorted(os.listdir(work)) != ["game", "patch.exe", "registry.reg"]:
        problems.append("written outside the install folder: %s" % sorted(os.listdir(work)))
    contents = set(NEW.values())
    all_new = True
    for folder, _, files in os.walk(game):
        for f in files:
            path = os.path.relpath(os.path.join(folder, f), game).replace(os.sep, "/")
            data = open(os.path.join(folder, f), "rb").read()
            if f.startswith("~vdp") and f.endswith(".tmp"):
                problems.append("temporary file left: " + path)
            elif data != OLD.get(path) and data not in contents:
                problems.append("%s is neither old nor an entry's content" % path)
    for path, data in NEW.items():
        full = os.path.join(game, path)
        if not os.path.isfile(full) or open(full, "rb").read() != data:
            all_new = False
    if outcome == 0 and not all_new:
        problems.append("outcome 0 with files not new")
    return outcome, ["%s: %s" % (label, p) for p in problems]


def main():
    with tempfile.TemporaryDirectory() as root:
        payload = os.path.join(root, "payload")
        for path, data in NEW.items():
            os.makedirs(os.path.dirname(os.path.join(payload, path)), exist_ok=True)
            open(os.path.join(payload, path), "wb").write(data)
        patch = os.path.join(root, "patch.exe")
        subprocess.run([MKPATCH, "build", "--stub", PATCHER, "--out", patch, payload], check=True,
                       stdout=subprocess.DEVNULL)
        stub_size = os.path.getsize(PATCHER)
        whole = open(patch, "rb").read()
        stub, archive = whole[:stub_size], whole[stub_size:]
        counts, failures, total = {}, [], 0
        for label, damaged in [("intact", archive)] + list(variants(archive)):
            total += 1
            work = os.path.join(root, "run")
            shutil.rmtree(work, ignore_errors=True)
            game = os.path.join(work, "game")
            for path, data in OLD.items():
                os.makedirs(os.path.dirname(os.path.join(game, path)), exist_ok=True)
                open(os.path.join(game, path), "wb").write(data)
            exe = os.path.join(work, "patch.exe")
            open(exe, "wb").write(stub + damaged)
            os.chmod(exe, 0o755)
            registry = os.path.join(work, "registry.reg")
            open(registry, "w").write('REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Pellmark\\Torvicor\\Vardane]\n'
                                      '"Path"="%s"\n' % game)
            try:
                result = subprocess.run([exe], cwd=work, env=dict(os.environ, PATCHER_REGISTRY=registry),
                                        capture_output=True, timeout=30)
            except subprocess.TimeoutExpired:
                failures.append(label + ": hung")
                continue
            outcome, problems = check(label, result, game, work)
            if label == "intact" and outcome != 0:
                problems.append("intact: the undamaged patch did not apply")
            counts[outcome] = counts.get(outcome, 0) + 1
            failures += problems
        print("%d variants: %s" % (total, ", ".join("outcome %s: %d" % (k, v) for k, v in sorted(counts.items(), key=str))))
        for failure in failures:
            print("FAILED: " + failure)
        print("%d passed, %d failed" % (total - len({f.split(":")[0] for f in failures}), len({f.split(":")[0] for f in failures})))
        return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
