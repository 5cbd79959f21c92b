#!/usr/bin/env python3
"""Points a linked exe's load-config directory (PE data directory 10) at its load configuration.

    set_load_config.py EXE

GNU ld 2.40 leaves that directory empty even when the image holds `_load_config_used`, and then
Windows never reads the structure. base/dll_search.cpp puts the structure in a section of its own,
.ldcfg, so it can be found in a stripped exe; the directory gets that section's address and the
structure's own Size field. Rewrites EXE in place, deterministically (running it twice changes
nothing more); the PE checksum, when the linker set one, is recomputed.
"""
import struct
import sys

SECTION = b".ldcfg"
LOAD_CONFIG_ENTRY = 10
PE32_PLUS = 0x20B


def pe_checksum(image, checksum_offset):
    total = 0
    data = image[:checksum_offset] + b"\0\0\0\0" + image[checksum_offset + 4:]
    if len(data) % 2:
        data += b"\0"
    for (word,) in struct.iter_unpack("<H", data):
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    return (total & 0xFFFF) + len(image)


def set_load_config(image):
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE image")
    sections, optional_size = struct.unpack_from("<H12xH", image, pe + 6)
    optional = pe + 24
    if struct.unpack_from("<H", image, optional)[0] != PE32_PLUS:
        raise ValueError("not a 64-bit image")
    if struct.unpack_from("<I", image, optional + 108)[0] <= LOAD_CONFIG_ENTRY:
        raise ValueError("the image has no load-config directory entry")
    for index in range(sections):
        header = optional + optional_size + 40 * index
        name, virtual_size, address, raw_size, raw_offset = struct.unpack_from("<8sIIII", image, header)
        if name.rstrip(b"\0") == SECTION:
            size = struct.unpack_from("<I", image, raw_offset)[0]
            if not 0 < size <= min(virtual_size, raw_size):
                raise ValueError("the load configuration's Size field (%d) does not fit its section" % size)
            struct.pack_into("<II", image, optional + 112 + 8 * LOAD_CONFIG_ENTRY, address, size)
            checksum_offset = optional + 64
            if struct.unpack_from("<I", image, checksum_offset)[0] != 0:
                struct.pack_into("<I", image, checksum_offset, pe_checksum(bytes(image), checksum_offset))
            return address, size
    raise ValueError("no %s section: is base/dll_search.cpp linked in?" % SECTION.decode())


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: set_load_config.py EXE\n")
        return 2
    with open(argv[1], "rb") as f:
        image = bytearray(f.read())
    try:
        set_load_config(image)
    except ValueError as error:
        sys.stderr.write("set_load_config.py: %s: %s\n" % (argv[1], error))
        return 1
    with open(argv[1], "wb") as f:
        f.write(image)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
