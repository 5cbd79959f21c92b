#!/usr/bin/env python3
"""Generates the benchmark package deterministically.

    tools/gen_bench_package.py OUTPUT_DIR [--files 1500] [--mib 120] [--small]

Writes OUTPUT_DIR/tree (the files) and OUTPUT_DIR/bench.zip (made by make_package.py, so it gets a
.sha256 beside it). About a third of the bytes are compressible text, the rest incompressible data;
a few files are over 10 MiB (none with --small, which makes many small files). The package's two
programs are at its root, as a release has them. The same arguments always give the same bytes.
"""
import argparse
import os
import random
import shutil
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_package import make_package  # noqa: E402

WORDS = [b"launcher", b"library", b"update", b"zenka", b"game", b"settings", b"profile", b"cache",
         b"shader", b"texture", b"\n"]


def text_bytes(rng, size):
    out = bytearray()
    while len(out) < size:
        out += rng.choice(WORDS) + b" "
    return bytes(out[:size])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("output")
    parser.add_argument("--files", type=int, default=1500)
    parser.add_argument("--mib", type=int, default=120)
    parser.add_argument("--small", action="store_true")
    args = parser.parse_args()

    rng = random.Random(20261208)
    tree = os.path.join(args.output, "tree")
    shutil.rmtree(tree, ignore_errors=True)
    os.makedirs(tree)

    total = args.mib << 20
    big = [] if args.small else [12 << 20, 11 << 20, 10 << 20 | 4096]  # a few files over 10 MiB
    rest = total - sum(big)
    small_count = args.files - len(big)
    sizes = [rest // small_count] * small_count
    for i in range(small_count):                      # spread sizes, keep the total
        delta = rng.randint(-(sizes[i] // 2), sizes[i] // 2)
        sizes[i] += delta
        sizes[(i + 1) % small_count] -= delta
    sizes = big + sizes

    text_budget = total // 3
    for index, size in enumerate(sizes):
        folder = os.path.join(tree, "pack%02d" % (index % 24), "sub%d" % (index % 3))
        os.makedirs(folder, exist_ok=True)
        is_text = text_budget > 0 and index % 3 == 0
        name = "file%04d.%s" % (index, "txt" if is_text else "bin")
        with open(os.path.join(folder, name), "wb") as f:
            if is_text:
                f.write(text_bytes(rng, size))
                text_budget -= size
            else:
                f.write(rng.randbytes(size))
    for program in ("ZENKA.exe", "zenka-updater.exe"):
        with open(os.path.join(tree, program), "wb") as f:
            f.write(rng.randbytes(4096))
    digest = make_package(tree, os.path.join(args.output, "bench.zip"), list_in_source=True)
    print(digest)


if __name__ == "__main__":
    main()
