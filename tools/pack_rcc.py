#!/usr/bin/env python3
"""Packs folders of the repository into the enciphered resource container "<app>.rcc.enc".

The byte layout is documented in src/framework/config/RccContainer.h; the program reads it with
kvx::resources::decipherRcc and parseRcc. Output is deterministic: files are sorted by path and
the seed is derived from the content, so an unchanged input gives an unchanged file.

usage: pack_rcc.py --root <dir> --output <file> <folder> [<folder> ...]
Each <folder> (relative to --root) is packed with its relative paths, e.g. "config/tamrin.cfg",
which the program looks up as ":/config/tamrin.cfg". Missing folders are skipped.
"""

import argparse
import os
import struct
import sys
import zlib

CONTAINER_MAGIC = b"KVXR"
CIPHER_MAGIC = b"KVXE"
VERSION = 1


def collect(root, folders):
    entries = {}
    for folder in folders:
        base = os.path.join(root, folder)
        if not os.path.isdir(base):
            continue
        for directory, _, files in os.walk(base):
            for name in files:
                full = os.path.join(directory, name)
                path = os.path.relpath(full, root).replace(os.sep, "/")
                with open(full, "rb") as handle:
                    entries[path] = handle.read()
    return sorted(entries.items())


def build_container(entries):
    out = bytearray(CONTAINER_MAGIC + struct.pack("<HHI", VERSION, 0, len(entries)))
    for path, data in entries:
        encoded = path.encode("utf-8")
        if len(encoded) > 0xFFFF or len(data) > 0xFFFFFFFF:
            raise ValueError("entry too large: " + path)
        out += struct.pack("<H", len(encoded)) + encoded + struct.pack("<I", len(data)) + data
    out += struct.pack("<I", zlib.crc32(bytes(out)) & 0xFFFFFFFF)
    return bytes(out)


def key_stream(seed):
    state = (seed ^ 0x4B56584B) & 0xFFFFFFFF
    if state == 0:
        state = 0x9E3779B9
    while True:
        state ^= (state << 13) & 0xFFFFFFFF
        state ^= state >> 17
        state ^= (state << 5) & 0xFFFFFFFF
        yield state & 0xFF


def encipher(container, seed):
    keys = key_stream(seed)
    body = bytes(byte ^ next(keys) for byte in container)
    return CIPHER_MAGIC + struct.pack("<HHI", VERSION, 0, seed) + body


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--root", required=True)
    parser.add_argument("--output", required=True)
    parser.add_argument("folders", nargs="+")
    args = parser.parse_args()

    container = build_container(collect(args.root, args.folders))
    seed = (zlib.crc32(container) ^ 0xA5A5A5A5) & 0xFFFFFFFF
    data = encipher(container, seed) if args.output.endswith(".enc") else container
    temporary = args.output + ".tmp"
    with open(temporary, "wb") as handle:
        handle.write(data)
    os.replace(temporary, args.output)
    return 0


if __name__ == "__main__":
    sys.exit(main())
