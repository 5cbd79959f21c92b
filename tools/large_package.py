#!/usr/bin/env python3
"""Builds the package of the large-package soak: a ZIP64 archive of about 4.5 GiB with the sample
package's files, one stored file over 4 GiB and, after it, entries whose local headers lie past
the 4 GiB mark (a stored one and the sample's own, deflated).

    tools/large_package.py SAMPLE_STAGE_DIR OUTPUT_DIR

Writes OUTPUT_DIR/www/releases/stable/ZENKA-latest-full.zip and its .sha256, then
OUTPUT_DIR/manifest.json: {"files": {relative path: [size, sha256]}, "dirs": [...], "package":
[size, sha256]}, which the installed tree is compared with. Always the same bytes, written in
about a minute; when OUTPUT_DIR already holds a complete package (its manifest is written last and
the size matches) nothing is written again. Prints the package's path.
"""
import hashlib
import json
import os
import random
import struct
import sys
import zipfile

FIXED_TIME = (2026, 1, 1, 0, 0, 0)
BLOCK = 64 << 10
# Over 4 GiB by a margin that a kill after the 4 GiB mark lands in, and a file after it.
LARGE_FILES = [("data/huge.bin", (4 << 30) + (320 << 20)), ("data/tail.bin", 192 << 20)]


def blocks(tag, size):
    """`size` bytes in chunks of 1 MiB. Every 64 KiB block begins with its file's tag and its own
    index, so bytes written at a wrong offset (a wrapped 32-bit position, a misplaced resume)
    change the file's digest even where the rest of the data repeats."""
    filler = random.Random(tag).randbytes(BLOCK)
    index = 0
    left = size
    while left > 0:
        group = []
        for _ in range(16):
            if left <= 0:
                break
            block = struct.pack("<QQ", tag, index) + filler[16:]
            group.append(block[:left])
            left -= len(group[-1])
            index += 1
        yield b"".join(group)


def sha256_of(path):
    digest = hashlib.sha256()
    with open(path, "rb") as source:
        while chunk := source.read(8 << 20):
            digest.update(chunk)
    return digest.hexdigest()


def build(stage, output):
    www = os.path.join(output, "www", "releases", "stable")
    package = os.path.join(www, "ZENKA-latest-full.zip")
    manifest_path = os.path.join(output, "manifest.json")
    if os.path.exists(manifest_path) and os.path.exists(package):
        with open(manifest_path) as existing:
            if json.load(existing)["package"][0] == os.path.getsize(package):
                return package
        os.remove(manifest_path)
    os.makedirs(www, exist_ok=True)

    entries = []  # (name, source path or None for a directory or (tag, size) for generated data)
    for root, dirs, files in os.walk(stage):
        rel_root = os.path.relpath(root, stage).replace(os.sep, "/")
        if rel_root != ".":
            entries.append((rel_root + "/", None))
        for name in files:
            path = os.path.join(root, name)
            entries.append((os.path.relpath(path, stage).replace(os.sep, "/"), path))
    for tag, (name, size) in enumerate(LARGE_FILES, start=1):
        entries.append((name, (tag, size)))
    entries.sort(key=lambda entry: entry[0])

    manifest = {"files": {}, "dirs": []}
    with zipfile.ZipFile(package + ".tmp", "w", allowZip64=True) as archive:
        for name, source in entries:
            info = zipfile.ZipInfo(name, FIXED_TIME)
            info.create_system = 0
            if source is None:
                info.external_attr = 0x10
                archive.writestr(info, b"")
                manifest["dirs"].append(name.rstrip("/"))
                continue
            info.external_attr = 0x20
            digest = hashlib.sha256()
            size = 0
            if isinstance(source, tuple):
                info.compress_type = zipfile.ZIP_STORED
                chunks = blocks(*source)
            else:
                info.compress_type = zipfile.ZIP_DEFLATED
                chunks = iter([open(source, "rb").read()])
            with archive.open(info, "w", force_zip64=True) as target:
                for chunk in chunks:
                    target.write(chunk)
                    digest.update(chunk)
                    size += len(chunk)
            manifest["files"][name] = [size, digest.hexdigest()]
    os.replace(package + ".tmp", package)

    package_digest = sha256_of(package)
    with open(package + ".sha256", "w") as out:
        out.write(package_digest + "\n")
    manifest["package"] = [os.path.getsize(package), package_digest]
    with open(manifest_path, "w") as out:
        json.dump(manifest, out, ensure_ascii=False, indent=1)
    return package


def main():
    if len(sys.argv) != 3 or not os.path.isdir(sys.argv[1]):
        sys.stderr.write(__doc__)
        return 2
    print(build(sys.argv[1], sys.argv[2]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
