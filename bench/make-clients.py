#!/usr/bin/env python3
"""Generates the staged clients of the downtime benchmark once; a later call with the same layout
reuses them.

DATA/clientN/Korv Desktop/...   N files (100, 5,000, 20,000), 1 GiB in all for the largest
DATA/clientN/StagedKorvDesktop.zip   all of them, deflated: validation skips archives above 500 MiB,
                                     so the content has 3 bits of entropy per byte (the archive of
                                     the largest client is about 400 MiB)
"""
import os
import random
import shutil
import sys
import zipfile

from benchdata import entry_name, file_sizes

CLIENTS = {100: 5 * 1024 * 1024, 5_000: 256 * 1024 * 1024, 20_000: 1024 * 1024 * 1024}
LAYOUT = "v1 seed=16 symbols=8 " + " ".join(f"{n}={size}" for n, size in CLIENTS.items())
ARCHIVE_LIMIT = 524_288_000
FIXED_TIME = (2025, 1, 1, 0, 0, 0)
SYMBOLS = bytes(b"ACGTacgt"[b % 8] for b in range(256))


def write_client(folder, count, total, rng):
    os.makedirs(folder, exist_ok=True)
    archive_path = os.path.join(folder, "StagedKorvDesktop.zip")
    with zipfile.ZipFile(archive_path + ".part", "w", zipfile.ZIP_DEFLATED, compresslevel=1) as archive:
        for index, size in enumerate(file_sizes(rng, count, total)):
            name = entry_name(index, 5)
            path = os.path.join(folder, name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            content = rng.randbytes(size).translate(SYMBOLS)
            with open(path, "wb") as out:
                out.write(content)
            archive.writestr(zipfile.ZipInfo(name, FIXED_TIME), content, zipfile.ZIP_DEFLATED, 1)
    if os.path.getsize(archive_path + ".part") > ARCHIVE_LIMIT:
        sys.exit(f"make-clients: {archive_path} is above the validation limit")
    os.replace(archive_path + ".part", archive_path)


def main():
    data = sys.argv[1]
    stamp = os.path.join(data, "layout")
    if os.path.exists(stamp) and open(stamp).read().strip() == LAYOUT:
        return
    os.makedirs(data, exist_ok=True)
    rng = random.Random(16)
    for count, total in CLIENTS.items():
        folder = os.path.join(data, f"client{count}")
        if os.path.exists(folder):
            shutil.rmtree(folder)
        print(f"make-clients: {count} files, {total} bytes in {folder}", flush=True)
        write_client(folder, count, total, rng)
    with open(stamp, "w") as out:
        out.write(LAYOUT + "\n")


if __name__ == "__main__":
    main()
