#!/usr/bin/python3
"""Reads the manifests of Zephlist.exe and Corvane.dll back from the built files of both
architectures and checks them as XML: common controls 6, DPI awareness, supported Windows
versions and execution level.

    manifests_test.py BUILD_DIR   (holding the trees x86/ and x64/)
"""
import sys
import unittest
import xml.etree.ElementTree as ElementTree

import pefile

ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"
COMPATIBILITY = "{urn:schemas-microsoft-com:compatibility.v1}"
DPI_2005 = "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}"
DPI_2016 = "{http://schemas.microsoft.com/SMI/2016/WindowsSettings}"
ARCHES = ("x86", "x64")
# The manifest the loader reads for a program, and the one a DLL activates itself.
PROGRAM, ISOLATION = 1, 2
WINDOWS_7 = "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"
WINDOWS_8 = "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}"
WINDOWS_8_1 = "{1f676c76-80e1-4239-95bb-83d0f6d0da78}"
WINDOWS_10 = "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"

build_dir = None


def manifests(arch, name):
    """{resource id: parsed XML root} of the RT_MANIFEST resources of one built file."""
    pe = pefile.PE(f"{build_dir}/{arch}/bin/{name}")
    found = {}
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if kind.id != pefile.RESOURCE_TYPE["RT_MANIFEST"]:
            continue
        for entry in kind.directory.entries:
            for language in entry.directory.entries:
                data = language.data.struct
                found[entry.id] = ElementTree.fromstring(pe.get_data(data.OffsetToData, data.Size))
    pe.close()
    return found


def text_of(root, path):
    element = root.find(path)
    return None if element is None else element.text.strip()


class Manifests(unittest.TestCase):
    def each(self, files):
        """The manifest root of each (file, resource id) row, on both architectures."""
        for arch in ARCHES:
            for name, resource in files:
                found = manifests(arch, name)
                label = f"{arch}/bin/{name}"
                self.assertEqual(set(found), {resource}, f"{label}: exactly one manifest, by its number")
                yield label, found[resource]

    def test_common_controls_6(self):
        for label, root in self.each([("Zephlist.exe", PROGRAM), ("Corvane.dll", ISOLATION)]):
            identities = root.findall(f"{ASM_V1}dependency/{ASM_V1}dependentAssembly/{ASM_V1}assemblyIdentity")
            controls = [i.attrib for i in identities
                        if i.get("name") == "Microsoft.Windows.Common-Controls"]
            self.assertEqual(len(controls), 1, label)
            self.assertEqual(controls[0]["version"], "6.0.0.0", label)
            self.assertEqual(controls[0]["publicKeyToken"], "6595b64144ccf1df", label)
            self.assertEqual(controls[0]["type"], "win32", label)

    def test_dpi_awareness(self):
        settings = f"{ASM_V3}application/{ASM_V3}windowsSettings/"
        rows = [("Zephlist.exe", PROGRAM, "true/pm", ["PerMonitorV2", "PerMonitor"]),
                # A DLL does not decide how its host process is scaled.
                ("Corvane.dll", ISOLATION, None, None)]
        for name, resource, aware, awareness in rows:
            for label, root in self.each([(name, resource)]):
                self.assertEqual(text_of(root, f"{settings}{DPI_2005}dpiAware"), aware, label)
                listed = text_of(root, f"{settings}{DPI_2016}dpiAwareness")
                self.assertEqual(listed and [s.strip() for s in listed.split(",")], awareness, label)

    def test_supported_windows_versions(self):
        rows = [("Zephlist.exe", PROGRAM, {WINDOWS_7, WINDOWS_8, WINDOWS_8_1, WINDOWS_10})]
        for name, resource, versions in rows:
            for label, root in self.each([(name, resource)]):
                found = root.findall(f"{COMPATIBILITY}compatibility/{COMPATIBILITY}application/"
                                     f"{COMPATIBILITY}supportedOS")
                self.assertEqual({s.get("Id") for s in found}, versions, label)

    def test_execution_level(self):
        rows = [("Zephlist.exe", PROGRAM, {"level": "asInvoker", "uiAccess": "false"})]
        for name, resource, level in rows:
            for label, root in self.each([(name, resource)]):
                found = root.findall(f"{ASM_V3}trustInfo/{ASM_V3}security/"
                                     f"{ASM_V3}requestedPrivileges/{ASM_V3}requestedExecutionLevel")
                self.assertEqual([f.attrib for f in found], [level], label)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    build_dir = sys.argv.pop(1)
    result = unittest.main(exit=False, verbosity=1).result
    failed = len(result.failures) + len(result.errors)
    print(f"manifests: {result.testsRun - failed} passed, {failed} failed")
    sys.exit(1 if failed or result.testsRun == 0 else 0)
