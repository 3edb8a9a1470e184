#!/usr/bin/python3
"""Prints the size of each shipped program of the given build trees: code, data, resources and
icons from the PE headers, and the largest contributors from the link map that the build writes
beside it (BUILD_DIR/NAME.map); for the setups, the stub and the packed payload. A report, not a
check: it never fails for a size.

    size-report.py BUILD_DIR...   (build/x86 build/x64)
"""
import collections
import os
import re
import sys

import pefile

PROGRAMS = ("Corvane.dll", "Zephlist.exe")
SETUPS = ("installer/TavrelloSetup.exe", "installer/TavrelloSetup-x64.exe")
ICON_TYPES = (pefile.RESOURCE_TYPE["RT_ICON"], pefile.RESOURCE_TYPE["RT_GROUP_ICON"])
TOP = 8


def icon_bytes(pe):
    total = 0
    if not hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        return 0
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if kind.id not in ICON_TYPES:
            continue
        for entry in kind.directory.entries:
            total += sum(lang.data.struct.Size for lang in entry.directory.entries)
    return total


def contributors(map_path):
    """{input file or archive member: bytes it puts into the image}, from a GNU ld map."""
    with open(map_path, errors="replace") as f:
        text = f.read()
    text = text[text.find("Linker script and memory map"):]
    sizes = collections.Counter()
    pending = None  # a section name alone on its line: its address, size and file follow
    for line in text.splitlines():
        whole = re.match(r"^ (\.\S+)\s+0x[0-9a-f]+\s+0x([0-9a-f]+)\s+(\S+)", line)
        if whole:
            section, size, source = whole.group(1), whole.group(2), whole.group(3)
        elif pending and re.match(r"^\s+0x[0-9a-f]+\s+0x[0-9a-f]+\s+\S+", line):
            size, source = line.split()[1][2:], line.split()[2]
            section = pending
        else:
            alone = re.match(r"^ (\.\S+)$", line)
            pending = alone.group(1) if alone else None
            continue
        pending = None
        if section.startswith((".debug", ".stab")):
            continue
        sizes[os.path.basename(source)] += int(size, 16)
    return sizes


def report_program(path, map_path):
    pe = pefile.PE(path, fast_load=True)
    pe.parse_data_directories(
        directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
    size = os.path.getsize(path)
    by_name = collections.Counter()
    for section in pe.sections:
        by_name[section.Name.rstrip(b"\0").decode()] += section.SizeOfRawData
    code = by_name.pop(".text", 0)
    resources = by_name.pop(".rsrc", 0)
    data = sum(by_name.values())
    icons = icon_bytes(pe)
    pe.close()
    print(f"  {os.path.basename(path)}: {size} bytes ({size / 1024:.1f} KiB), "
          f"{(size - icons) / 1024:.1f} KiB without icons")
    print(f"    code {code}, data {data}, resources {resources} (icons {icons})")
    if os.path.exists(map_path):
        print("    largest contributors:")
        for name, bytes_in in contributors(map_path).most_common(TOP):
            print(f"      {bytes_in:7d}  {name}")
    else:
        print(f"    no link map at {map_path}")


def report_setup(path):
    pe = pefile.PE(path, fast_load=True)
    stub = pe.get_overlay_data_start_offset() or os.path.getsize(path)
    pe.close()
    size = os.path.getsize(path)
    print(f"  {os.path.basename(path)}: {size} bytes ({size / 1024:.1f} KiB): "
          f"stub {stub}, packed payload {size - stub}")


def main(build_dirs):
    for build_dir in build_dirs:
        print(f"size report: {build_dir}")
        for name in PROGRAMS:
            path = os.path.join(build_dir, "bin", name)
            if os.path.exists(path):
                report_program(path, os.path.join(build_dir, os.path.splitext(name)[0] + ".map"))
        for name in SETUPS:
            path = os.path.join(build_dir, name)
            if os.path.exists(path):
                report_setup(path)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
