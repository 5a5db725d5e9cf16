#!/usr/bin/env python3
"""Writes zip archives made by writers other than the launcher's own, for the zip reader's tests.

Usage: foreign_zips.py OUTPUT_FOLDER

OUTPUT_FOLDER/data/ gets files of zeros and of mixed bytes (random stretches, repeated runs, a
long run at the end) in sizes around multiples of 64 KiB; OUTPUT_FOLDER/<writer>-<level>.zip holds
all of them, written by Info-ZIP's zip command (its own deflate) and by Python's zipfile, at
several compression levels. The tests compare every item with its file in data/.
"""
import os
import random
import shutil
import subprocess
import sys
import zipfile

BLOCK = 64 * 1024
# Around each boundary: inside the last match (up to 258 bytes), just before and after.
OFFSETS = [-259, -258, -257, -3, -1, 0, 1, 2, 3, 100, 215, 256, 257, 258, 259, 300, 1000, 4095]
SIZES = sorted({0, 1, 100, BLOCK + 215} |
               {BLOCK * m + off for m in (1, 2, 3) for off in OFFSETS})
INFO_ZIP_LEVELS = [0, 1, 6, 9]
PYTHON_LEVELS = [1, 6, 9]


def mixed(size):
    rng = random.Random(size)
    out = bytearray()
    while len(out) < size:
        out += rng.randbytes(rng.randint(1, 3000))
        if rng.random() < 0.5:
            out += bytes([rng.randint(0, 255)]) * rng.randint(3, 5000)
        else:
            out += b"some text of the site " * rng.randint(1, 200)
    # A long run at the end, so that the last symbols of the stream are long matches.
    tail = b"A" * 300
    return bytes(out[:max(0, size - len(tail))] + tail[:size])


def main():
    out = sys.argv[1]
    shutil.rmtree(out, ignore_errors=True)
    data = os.path.join(out, "data")
    os.makedirs(data)
    names = []
    for size in SIZES:
        for kind, make in (("zeros", lambda n: bytes(n)), ("mixed", mixed)):
            name = "%s-%d" % (kind, size)
            with open(os.path.join(data, name), "wb") as f:
                f.write(make(size))
            names.append(name)
    for level in INFO_ZIP_LEVELS:
        archive = os.path.abspath(os.path.join(out, "info-zip-%d.zip" % level))
        subprocess.run(["zip", "-q", "-%d" % level, archive] + names, cwd=data, check=True)
    for level in PYTHON_LEVELS:
        archive = os.path.join(out, "python-%d.zip" % level)
        with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED, compresslevel=level) as z:
            for name in names:
                z.write(os.path.join(data, name), name)
    with open(os.path.join(out, "stamp"), "w") as f:
        f.write("%d items\n" % len(names))


if __name__ == "__main__":
    main()
