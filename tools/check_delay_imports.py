#!/usr/bin/env python3
"""Fails, naming the section, when a delay-import table that a linked exe writes is read-only.

    check_delay_imports.py EXE

The address of a delay-loaded function is written into its import address table at the first call,
by the program itself (__delayLoadHelper2), long after the loader applied the sections'
protections; the DLL's module handle is stored beside it. Were either in a read-only section, that
first call would be an access violation, on Windows as under Wine: dlltool's delay-import libraries
put the table in .idata, which GNU ld 2.43 and 2.44 link read-only, and cmake/system_dlls.cmake
moves it to .data. This reads each delay-import descriptor in the image and prints one line for
each table or module handle in a section without the write bit; exit status 1 if there is one.

GNU ld leaves the delay-import data directory empty, so descriptors are found by their shape: eight
DWORDs, attributes 1 (RVAs), the RVAs of the DLL's name, module handle, address table and name table
inside the image, a name ending in ".dll", no bound or unload table, time stamp 0.
"""
import struct
import sys

PE32_PLUS = 0x20B
MEM_WRITE = 0x80000000


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
    if len(argv) != 2:
        sys.stderr.write("usage: check_delay_imports.py EXE\n")
        return 2
    with open(argv[1], "rb") as f:
        image = f.read()
    try:
        problems = read_only_tables(image)
    except ValueError as error:
        sys.stderr.write("check_delay_imports.py: %s: %s\n" % (argv[1], error))
        return 1
    for problem in problems:
        sys.stderr.write("check_delay_imports.py: %s: %s; its first call would crash\n" % (argv[1], problem))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
