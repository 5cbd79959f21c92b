#!/usr/bin/env python3
"""Builds the package the installation soak installs: the sample package's files plus a few MiB of
generated data, so that a download lasts long enough for kills to land in it.

    tools/soak_package.py SAMPLE_STAGE_DIR OUTPUT_DIR

Writes OUTPUT_DIR/tree (the files, the reference every installation is compared with) and
OUTPUT_DIR/www/releases/stable/ZENKA-latest-full.zip with its .sha256. Always the same bytes.
"""
import os
import random
import shutil
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_package import make_package  # noqa: E402


def main():
    if len(sys.argv) != 3 or not os.path.isdir(sys.argv[1]):
        sys.stderr.write(__doc__)
        return 2
    stage, output = sys.argv[1], sys.argv[2]
    tree = os.path.join(output, "tree")
    shutil.rmtree(tree, ignore_errors=True)
    shutil.copytree(stage, tree)
    rng = random.Random(7)
    data = os.path.join(tree, "data", "assets")
    os.makedirs(os.path.join(data, "empty folder"))
    # Incompressible blobs (a flipped byte anywhere shows in the comparison), text, an empty file
    # and names outside ASCII.
    for index, size in enumerate([1900000, 1500000, 1200000, 900000, 700000, 65536, 65537, 1]):
        with open(os.path.join(data, "blob%d.bin" % index), "wb") as out:
            out.write(rng.randbytes(size))
    for index in range(40):
        with open(os.path.join(data, "текст %02d.txt" % index), "w", encoding="utf-8") as out:
            out.write("".join("строка %d файла %d\n" % (line, index) for line in range(rng.randint(0, 3000))))
    open(os.path.join(data, "empty.dat"), "wb").close()
    www = os.path.join(output, "www", "releases", "stable")
    os.makedirs(www, exist_ok=True)
    print(make_package(tree, os.path.join(www, "ZENKA-latest-full.zip"), list_in_source=True))
    return 0


if __name__ == "__main__":
    sys.exit(main())
