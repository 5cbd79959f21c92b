#!/usr/bin/env python3
"""Keeps the address tables of a linked exe's delay-loaded imports writable, and checks that they are.

    delay_import_tables.py --writable EXE   makes .idata writable when a delay-import table lies in it
    delay_import_tables.py --check EXE      fails, naming the section, when a table the program
                                            writes is in a read-only section

The address of a delay-loaded function is written into its import address table at the first call,
by the program itself (__delayLoadHelper2), long after the loader applied the sections' protections;
the DLL's module handle is stored beside it. dlltool's delay-import libraries put those tables in
.idata, which GNU ld 2.43 and 2.44 (Debian 13) link read-only while earlier and later versions link
it writable: there the first delay-loaded call is an access violation, on Windows as under Wine.
--writable sets the write bit of .idata, as those other versions do, and changes nothing in an exe
that already has it or has no delay imports; it never makes any other section writable. --check is
the guard for every linker: it reads each delay-import descriptor in the image and fails if its
address table or module handle is in a section without the write bit. Both are deterministic and
recompute the PE checksum when the linker set one.

GNU ld leaves the delay-import data directory empty, so descriptors are found by their shape: eight
DWORDs, attributes 1 (RVAs), the RVAs of the DLL's name, module handle, address table and name table
inside the image, a name ending in ".dll", no bound or unload table, time stamp 0.
"""
import struct
import sys

from set_load_config import pe_checksum

PE32_PLUS = 0x20B
MEM_WRITE = 0x80000000
IMPORT_SECTION = b".idata"


def read_sections(image):
    """[(name, rva, virtual size, raw offset, raw size, header offset)], and the checksum offset."""
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE image")
    count, optional_size = struct.unpack_from("<H12xH", image, pe + 6)
    optional = pe + 24
    if struct.unpack_from("<H", image, optional)[0] != PE32_PLUS:
        raise ValueError("not a 64-bit image")
    sections = []
    for index in range(count):
        header = optional + optional_size + 40 * index
        name, virtual_size, rva, raw_size, raw_offset = struct.unpack_from("<8sIIII", image, header)
        sections.append((name.rstrip(b"\0"), rva, max(virtual_size, raw_size), raw_offset, raw_size, header))
    return sections, optional + 64


def section_of(sections, rva):
    for section in sections:
        if section[1] <= rva < section[1] + section[2]:
            return section
    return None


def dll_name(image, sections, rva):
    section = section_of(sections, rva)
    if section is None or rva - section[1] >= section[4]:
        return None
    start = section[3] + rva - section[1]
    end = image.find(b"\0", start, start + 256)
    name = bytes(image[start:end]) if end > start else b""
    if not name.lower().endswith(b".dll") or not all(32 < c < 127 for c in name):
        return None
    return name.decode()


def delay_descriptors(image, sections):
    """[(DLL name, module handle RVA, address table RVA)] of every delay-import descriptor."""
    found = []
    for _, rva, _, raw_offset, raw_size, _ in sections:
        position = image.find(b"\1\0\0\0", raw_offset, raw_offset + raw_size)
        while position >= 0:
            if (position - raw_offset) % 4 == 0 and position + 32 <= raw_offset + raw_size:
                _, name, handle, table, names, bound, unload, stamp = struct.unpack_from("<8I", image, position)
                dll = dll_name(image, sections, name)
                if (dll and bound == unload == stamp == 0 and
                        all(section_of(sections, r) for r in (handle, table, names))):
                    found.append((dll, handle, table))
            position = image.find(b"\1\0\0\0", position + 1, raw_offset + raw_size)
    return found


def writable(image, section):
    return struct.unpack_from("<I", image, section[5] + 36)[0] & MEM_WRITE != 0


def make_writable(image):
    sections, checksum_offset = read_sections(image)
    changed = False
    for _, _, table in delay_descriptors(image, sections):
        section = section_of(sections, table)
        if section[0] == IMPORT_SECTION and not writable(image, section):
            flags = struct.unpack_from("<I", image, section[5] + 36)[0]
            struct.pack_into("<I", image, section[5] + 36, flags | MEM_WRITE)
            changed = True
    if changed and struct.unpack_from("<I", image, checksum_offset)[0] != 0:
        struct.pack_into("<I", image, checksum_offset, pe_checksum(bytes(image), checksum_offset))
    return changed


def read_only_tables(image):
    """One line per delay-import table or module handle that lies in a read-only section."""
    sections, _ = read_sections(image)
    problems = []
    for dll, handle, table in delay_descriptors(image, sections):
        for what, rva in (("address table", table), ("module handle", handle)):
            section = section_of(sections, rva)
            if not writable(image, section):
                problems.append("the %s of delay-loaded %s (RVA 0x%x) is in read-only section %s"
                                % (what, dll, rva, section[0].decode()))
    return problems


def main(argv):
    if len(argv) != 3 or argv[1] not in ("--writable", "--check"):
        sys.stderr.write("usage: delay_import_tables.py --writable|--check EXE\n")
        return 2
    with open(argv[2], "rb") as f:
        image = bytearray(f.read())
    try:
        if argv[1] == "--writable":
            if make_writable(image):
                with open(argv[2], "wb") as f:
                    f.write(image)
            return 0
        problems = read_only_tables(image)
    except ValueError as error:
        sys.stderr.write("delay_import_tables.py: %s: %s\n" % (argv[2], error))
        return 1
    for problem in problems:
        sys.stderr.write("delay_import_tables.py: %s: %s; its first call would crash\n" % (argv[2], problem))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
