#!/usr/bin/env python3
"""Makes a release package from a folder and prints its SHA-256.

    tools/make_package.py SOURCE_DIR OUTPUT.zip [--stored]

Every file below SOURCE_DIR goes into OUTPUT.zip under its path relative to SOURCE_DIR, with
forward slashes and UTF-8 names, sorted, with a fixed timestamp so that the same folder always
gives the same bytes (and so the same digest). Directories get entries of their own, so empty ones
survive. Entries are deflated (or stored with --stored). The digest, 64 lower-case hex digits, is
printed on stdout and written to OUTPUT.zip.sha256: it is the value to pass to the setup's --sha256.

The package also holds FILE_LIST_NAME at its root, the list of everything it installs, which the
uninstaller (zenka-updater.exe --uninstall) reads to remove exactly those files and nothing the user
added. Format: UTF-8 text, one path per line ending in LF, relative to the installation folder with
forward slashes, directories ending in "/", in the archive's order, the list naming itself too;
lines that start with "#" are comments. A file of that name in SOURCE_DIR is replaced.
"""
import hashlib
import os
import sys
import zipfile

FIXED_TIME = (2026, 1, 1, 0, 0, 0)
FILE_LIST_NAME = "zenka-files.txt"
LISTED_HERE = object()  # stands for the list's own entry, written from memory
FILE_LIST_HEADER = "# Files installed by this package; the uninstaller removes exactly these.\n"


def file_list(arcnames):
    return (FILE_LIST_HEADER + "".join(name + "\n" for name in arcnames)).encode("utf-8")


def make_package(source_dir, output, compression=zipfile.ZIP_DEFLATED, list_in_source=False):
    """Writes the package and its digest file; returns the digest. With list_in_source the list is
    also written into source_dir, which then holds exactly what an installation unpacks."""
    entries = []
    for root, dirs, files in os.walk(source_dir):
        dirs.sort()
        rel_root = os.path.relpath(root, source_dir)
        if rel_root != ".":
            entries.append((rel_root.replace(os.sep, "/") + "/", None))
        for name in sorted(files):
            path = os.path.join(root, name)
            arcname = os.path.relpath(path, source_dir).replace(os.sep, "/")
            if arcname != FILE_LIST_NAME:
                entries.append((arcname, path))
    entries.append((FILE_LIST_NAME, LISTED_HERE))
    entries.sort(key=lambda entry: entry[0])
    listing = file_list([arcname for arcname, _ in entries])
    if list_in_source:
        with open(os.path.join(source_dir, FILE_LIST_NAME), "wb") as out:
            out.write(listing)

    tmp = output + ".tmp"
    with zipfile.ZipFile(tmp, "w", compression=compression) as archive:
        for arcname, path in entries:
            info = zipfile.ZipInfo(arcname, FIXED_TIME)
            info.create_system = 0  # DOS attributes, like archives made on Windows
            if path is None:
                info.external_attr = 0x10  # the DOS directory bit
                archive.writestr(info, b"")
            elif path is LISTED_HERE:
                info.compress_type = compression
                info.external_attr = 0x20
                archive.writestr(info, listing)
            else:
                info.compress_type = compression
                info.external_attr = 0x20
                with open(path, "rb") as source, archive.open(info, "w") as target:
                    while chunk := source.read(1 << 20):
                        target.write(chunk)
    os.replace(tmp, output)

    digest = hashlib.sha256()
    with open(output, "rb") as package:
        while chunk := package.read(1 << 20):
            digest.update(chunk)
    hex_digest = digest.hexdigest()
    with open(output + ".sha256", "w") as digest_file:
        digest_file.write(hex_digest + "\n")
    return hex_digest


def main(argv):
    args = [a for a in argv[1:] if a != "--stored"]
    if len(args) != 2 or not os.path.isdir(args[0]):
        sys.stderr.write(__doc__)
        return 2
    compression = zipfile.ZIP_STORED if "--stored" in argv else zipfile.ZIP_DEFLATED
    print(make_package(args[0], args[1], compression))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
