#!/usr/bin/python3
"""Reads the 32-bit deliverables of a build tree without running them, so that their form is
checked on every host, also one that cannot execute 32-bit code: PE32 headers, exports, imports,
resources, version blocks and sizes.

    x86_files_test.py BUILD_DIR   (the tree of the i686 build: BUILD_DIR/bin/...)
"""
import os
import re
import sys
import unittest

import pefile

RT = pefile.RESOURCE_TYPE
ENGLISH, DANISH = 0x409, 0x406
# What a statically linked deliverable may import: the system's own libraries only.
SYSTEM_DLLS = {
    "advapi32.dll", "comctl32.dll", "comdlg32.dll", "gdi32.dll", "kernel32.dll",
    "msvcrt.dll", "ole32.dll", "oleaut32.dll", "shell32.dll", "shlwapi.dll", "user32.dll",
    "version.dll", "wininet.dll", "ws2_32.dll", "uxtheme.dll",
}
# Each deliverable stays under 300 KiB: a build that drags in a runtime, a formatter or debug
# information goes over.
SIZE_CEILING = 300 * 1024

build_dir = None


def header_version(prefix):
    """The four numbers that resources/version.h gives PREFIX (CORVANE or ZEPHLIST)."""
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "resources",
                        "version.h")
    with open(path) as header:
        text = header.read()
    return tuple(int(re.search(r"#define %s_VERSION_%s (\d+)" % (prefix, part), text).group(1))
                 for part in ("MAJOR", "MINOR", "PATCH", "BUILD"))


def dotted(version):
    return ".".join(str(number) for number in version)


def load(name):
    path = os.path.join(build_dir, "bin", name)
    return path, pefile.PE(path)


def resources(pe):
    """{(type, id): set of languages} for every resource with numbered type and id."""
    found = {}
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        key_type = kind.id if kind.id is not None else str(kind.name)
        for entry in kind.directory.entries:
            key_id = entry.id if entry.id is not None else str(entry.name)
            found[(key_type, key_id)] = {lang.id for lang in entry.directory.entries}
    return found


def version_strings(pe):
    strings = {}
    for info in pe.FileInfo[0]:
        for table in getattr(info, "StringTable", []):
            strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
    return strings


class Deliverable:
    file_name = None
    dll = False

    def setUp(self):
        self.path, self.pe = load(self.file_name)

    def tearDown(self):
        self.pe.close()

    def test_is_a_32_bit_windows_image(self):
        self.assertEqual(self.pe.FILE_HEADER.Machine, pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"])
        self.assertEqual(self.pe.OPTIONAL_HEADER.Magic, pefile.OPTIONAL_HEADER_MAGIC_PE)
        self.assertEqual(self.pe.is_dll(), self.dll)
        if not self.dll:
            self.assertEqual(self.pe.OPTIONAL_HEADER.Subsystem,
                             pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_GUI"])

    def test_imports_only_system_libraries(self):
        imported = {entry.dll.decode().lower() for entry in self.pe.DIRECTORY_ENTRY_IMPORT}
        self.assertIn("kernel32.dll", imported)
        self.assertEqual(imported - SYSTEM_DLLS, set())

    def test_size_and_no_debug_information(self):
        size = os.path.getsize(self.path)
        print(f"  {self.file_name}: {size} bytes ({size / 1024:.1f} KiB)", file=sys.stderr)
        self.assertLess(size, SIZE_CEILING)
        self.assertFalse(any(s.Name.startswith(b".debug") for s in self.pe.sections))

    def check_version(self, version, file_type, file_os, strings):
        fixed = self.pe.VS_FIXEDFILEINFO[0]
        packed = (version[0] << 16 | version[1], version[2] << 16 | version[3])
        self.assertEqual((fixed.FileVersionMS, fixed.FileVersionLS), packed)
        self.assertEqual((fixed.ProductVersionMS, fixed.ProductVersionLS), packed)
        self.assertEqual(fixed.FileType, file_type)
        self.assertEqual(fixed.FileOS, file_os)
        found = version_strings(self.pe)
        for name, value in strings.items():
            self.assertEqual(found.get(name), value, name)


class CorvaneFile(Deliverable, unittest.TestCase):
    file_name = "Corvane.dll"
    dll = True

    def test_exports_exactly_the_five_server_functions_by_name(self):
        exports = self.pe.DIRECTORY_ENTRY_EXPORT.symbols
        self.assertEqual({e.name.decode() for e in exports if e.name},
                         {"DllCanUnloadNow", "DllGetClassObject", "DllMain",
                          "DllRegisterServer", "DllUnregisterServer"})
        self.assertTrue(all(e.name for e in exports), "no export by number only")

    def test_resources_by_number_and_language(self):
        found = resources(self.pe)
        for icon in (201, 202, 204, 205, 206, 207, 208):
            self.assertIn((RT["RT_GROUP_ICON"], icon), found)
        for dialog in (106, 203, 205):
            self.assertTrue({ENGLISH, DANISH} <= found.get((RT["RT_DIALOG"], dialog), set()), dialog)
        for script in (101, 102):
            self.assertIn(("REGISTRY", script), found)
        self.assertIn(("TYPELIB", 1), found)

    def test_version_block(self):
        version = header_version("CORVANE")
        self.check_version(version, 2, 0x4, {  # VFT_DLL, VOS__WINDOWS32
            "CompanyName": "Orvek", "ProductName": "Tavrello",
            "InternalName": "Corvane.dll", "OriginalFilename": "Corvane.dll",
            "FileDescription": "Tavrello.com Internet Explorer plugin",
            "FileVersion": dotted(version), "ProductVersion": dotted(version)})


class ZephlistFile(Deliverable, unittest.TestCase):
    file_name = "Zephlist.exe"

    def test_exports_nothing(self):
        self.assertFalse(getattr(self.pe, "DIRECTORY_ENTRY_EXPORT", None))

    def test_resources_by_number(self):
        found = resources(self.pe)
        for key in ((RT["RT_GROUP_ICON"], 201), (RT["RT_GROUP_ICON"], 204), (RT["RT_MENU"], 202),
                    (RT["RT_DIALOG"], 203), (RT["RT_DIALOG"], 205), ("REGISTRY", 101),
                    ("TYPELIB", 1)):
            self.assertIn(key, found)
            self.assertEqual(found[key], {ENGLISH}, key)

    def test_version_block(self):
        version = header_version("ZEPHLIST")
        self.check_version(version, 1, 0x40004, {  # VFT_APP, VOS_NT_WINDOWS32
            "CompanyName": "Orvek", "ProductName": "Tavrello",
            "FileDescription": "Tavrello Zephlist", "OriginalFilename": "Zephlist.exe",
            "InternalName": "Zephlist", "FileVersion": dotted(version),
            "ProductVersion": dotted(version)})


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    build_dir = sys.argv.pop(1)
    result = unittest.main(exit=False, verbosity=1).result
    failed = len(result.failures) + len(result.errors)
    print(f"x86 files: {result.testsRun - failed} passed, {failed} failed")
    sys.exit(1 if failed or result.testsRun == 0 else 0)
