#!/usr/bin/env python3
"""Generates the benchmark data once; a later call with the same layout reuses it.

DATA/install/StagedKorvDesktop/Korv Desktop/...  2,000 files, 512 MiB in all
DATA/install/StagedKorvDesktop.zip               all of them, deflated (stays below 500 MiB)
DATA/install/StagedKorvDesktop400.zip            the first files up to 400 MiB, stored
DATA/install/staged-files.list                   the staged files, NUL-separated, archive order
DATA/listing/Entries100k.zip                     100,000 small stored entries
"""
import os
import random
import sys
import zipfile

from benchdata import entry_name, file_sizes

LAYOUT = "v1 files=2000 total=536870912 seed=4 deflate=1 memory=419430400 listing=100000"
FILE_COUNT = 2000
TOTAL_BYTES = 512 * 1024 * 1024
MEMORY_ARCHIVE_BYTES = 400 * 1024 * 1024
LISTING_ENTRIES = 100_000
ARCHIVE_LIMIT = 524_288_000  # larger archives are skipped by validation
FIXED_TIME = (2025, 1, 1, 0, 0, 0)
# Bytes mapped onto 64 symbols: no repeats for deflate to find, but 6 bits of entropy per byte,
# so every file is real CRC work while the deflated archive is about three quarters the size.
ALPHABET = b"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"
SYMBOLS = bytes(ALPHABET[b % 64] for b in range(256))


def write_tree(staged, rng):
    names = []
    for index, size in enumerate(file_sizes(rng, FILE_COUNT, TOTAL_BYTES)):
        name = entry_name(index, 4)
        path = os.path.join(staged, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            left = size
            while left:
                chunk = min(left, 8 * 1024 * 1024)
                out.write(rng.randbytes(chunk).translate(SYMBOLS))
                left -= chunk
        names.append((name, size))
    return names


def write_archive(path, staged, names, compression):
    with zipfile.ZipFile(path + ".part", "w", compression=compression, compresslevel=1, allowZip64=True) as archive:
        for name, _ in names:
            info = zipfile.ZipInfo(name, FIXED_TIME)
            info.compress_type = compression
            info.external_attr = 0o100644 << 16
            with open(os.path.join(staged, name), "rb") as source, archive.open(info, "w", force_zip64=False) as sink:
                while chunk := source.read(8 * 1024 * 1024):
                    sink.write(chunk)
    os.replace(path + ".part", path)


def write_listing(path):
    with zipfile.ZipFile(path + ".part", "w", compression=zipfile.ZIP_STORED) as archive:
        for index in range(LISTING_ENTRIES):
            info = zipfile.ZipInfo(f"Korv Desktop/assets/pack{index // 500:03d}/asset{index:06d}.dat", FIXED_TIME)
            info.external_attr = 0o100644 << 16
            archive.writestr(info, f"asset {index}\n")
    os.replace(path + ".part", path)


def write_file_list(install, staged):
    with open(os.path.join(install, "staged-files.list"), "wb") as listing:
        for index in range(FILE_COUNT):
            listing.write(os.path.join(staged, entry_name(index, 4)).encode() + b"\0")


def main(data):
    data = os.path.abspath(data)
    install = os.path.join(data, "install")
    staged = os.path.join(install, "StagedKorvDesktop")
    stamp = os.path.join(data, "layout")
    if os.path.exists(stamp) and open(stamp).read().strip() == LAYOUT:
        write_file_list(install, staged)  # absolute paths: the data folder may have been reached another way
        print(f"make-data: reusing {data}")
        return 0
    os.makedirs(os.path.join(data, "listing"), exist_ok=True)
    os.makedirs(staged, exist_ok=True)
    print("make-data: staged tree (2,000 files, 512 MiB)", flush=True)
    names = write_tree(staged, random.Random(4))
    print("make-data: deflated archive of the tree", flush=True)
    write_archive(os.path.join(install, "StagedKorvDesktop.zip"), staged, names, zipfile.ZIP_DEFLATED)
    size = os.path.getsize(os.path.join(install, "StagedKorvDesktop.zip"))
    if size >= ARCHIVE_LIMIT:
        print(f"make-data: deflated archive is {size} bytes, not below {ARCHIVE_LIMIT}", file=sys.stderr)
        return 1
    print("make-data: stored 400 MiB archive", flush=True)
    prefix, total = [], 0
    for name, file_size in names:
        if total >= MEMORY_ARCHIVE_BYTES:
            break
        prefix.append((name, file_size))
        total += file_size
    write_archive(os.path.join(install, "StagedKorvDesktop400.zip"), staged, prefix, zipfile.ZIP_STORED)
    write_file_list(install, staged)
    print("make-data: 100,000-entry archive", flush=True)
    write_listing(os.path.join(data, "listing", "Entries100k.zip"))
    with open(stamp, "w") as out:
        out.write(LAYOUT + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
