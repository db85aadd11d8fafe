#!/usr/bin/env python3
"""Two releases of a game tree for the delta benchmarks, made from a fixed seed.

    make-releases.py OLD NEW [--pak-mb 250] [--assets 160] [--seed 1]

Both trees hold Data/game.pak, a data archive: a table of contents (name, offset, size of
every asset) followed by the assets back to back. An asset is mostly incompressible bytes
(like compressed textures and sounds) with a compressible tail of word-like text (scripts,
settings), so the whole pak deflates to about four fifths of its size. From OLD to NEW:
5 assets are reworked (new bytes), 10 are patched in place (a few short ranges rewritten,
same size), 2 new assets are inserted in the middle (every offset after them moves, and so
does the table) and 1 is dropped. Beside the pak: Data/game.cfg (a small text file with a
few lines changed), Data/readme.txt (unchanged) and, in NEW only, Data/new-voices.txt.
"""
import argparse
import os
import random

WORDS = ("ka ro mi te su na lo ve dri an or el ith um pa ser gon tal qu ix bar den").split()


def text(rng, size):
    out = []
    total = 0
    while total < size:
        line = " ".join(rng.choice(WORDS) + rng.choice(WORDS) for _ in range(rng.randint(4, 12)))
        line += " %d.\n" % rng.randint(0, 99999)
        out.append(line)
        total += len(line)
    return "".join(out).encode()[:size]


def asset(rng, size):
    compressible = size * 2 // 7
    return rng.randbytes(size - compressible) + text(rng, compressible)


def pak(assets):
    """Table of contents, then the assets in order."""
    toc_size = 16 + 64 * len(assets)
    toc = [b"VPAK", len(assets).to_bytes(4, "little"), bytes(8)]
    offset = toc_size
    for name, data in assets:
        toc.append(name.encode().ljust(56, b"\0") + offset.to_bytes(4, "little") + len(data).to_bytes(4, "little"))
        offset += len(data)
    return b"".join(toc) + b"".join(data for _, data in assets)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("old")
    parser.add_argument("new")
    parser.add_argument("--pak-mb", type=float, default=250)
    parser.add_argument("--assets", type=int, default=160)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    rng = random.Random(args.seed)

    mean = int(args.pak_mb * 1e6 / args.assets)
    old = [("asset%04d.bin" % i, asset(rng, rng.randint(mean // 2, mean * 3 // 2))) for i in range(args.assets)]

    new = list(old)
    picks = rng.sample(range(args.assets), 16)
    reworked, patched, dropped = picks[:5], picks[5:15], picks[15]
    for i in reworked:
        name, data = new[i]
        new[i] = (name, asset(rng, len(data) + rng.randint(-4096, 4096)))
    for i in patched:
        name, data = new[i]
        data = bytearray(data)
        for _ in range(rng.randint(3, 12)):
            at = rng.randrange(0, len(data) - 512)
            length = rng.randint(16, 512)
            data[at:at + length] = rng.randbytes(length)
        new[i] = (name, bytes(data))
    dropped_name = new[dropped][0]
    new = [entry for entry in new if entry[0] != dropped_name]
    for n in range(2):
        at = len(new) // 3 * (n + 1)
        new.insert(at, ("inserted%d.bin" % n, asset(rng, mean)))

    write(os.path.join(args.old, "Data", "game.pak"), pak(old))
    write(os.path.join(args.new, "Data", "game.pak"), pak(new))

    config = text(rng, 6000).split(b"\n")
    write(os.path.join(args.old, "Data", "game.cfg"), b"\n".join(config))
    for i in rng.sample(range(len(config) - 1), 5):
        config[i] = text(rng, 60).rstrip(b"\n")
    write(os.path.join(args.new, "Data", "game.cfg"), b"\n".join(config))
    readme = text(rng, 3000)
    write(os.path.join(args.old, "Data", "readme.txt"), readme)
    write(os.path.join(args.new, "Data", "readme.txt"), readme)
    write(os.path.join(args.new, "Data", "new-voices.txt"), text(rng, 2000))


if __name__ == "__main__":
    main()
