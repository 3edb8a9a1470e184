#!/usr/bin/python3
"""Reads the manifests of Zephlist.exe (resource 1) and Corvane.dll (resource 2) back from the
built files of both architectures, as XML.   manifests_test.py BUILD_DIR  (holding x86/ and x64/)
"""
import sys
import unittest
import xml.etree.ElementTree as ElementTree

import pefile

V1, V3 = "{urn:schemas-microsoft-com:asm.v1}", "{urn:schemas-microsoft-com:asm.v3}"
OS = "{urn:schemas-microsoft-com:compatibility.v1}"
SETTINGS = f"{V3}application/{V3}windowsSettings/"
FILES = [("Zephlist.exe", 1), ("Corvane.dll", 2)]
build_dir = None


def manifest(arch, name, resource):
    """The file's one manifest, parsed; fails unless it is the only one and has that number."""
    pe = pefile.PE(f"{build_dir}/{arch}/bin/{name}")
    found = {entry.id: language.data.struct
             for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries
             if kind.id == pefile.RESOURCE_TYPE["RT_MANIFEST"]
             for entry in kind.directory.entries for language in entry.directory.entries}
    assert list(found) == [resource], f"{arch} {name}: manifests {list(found)}"
    return ElementTree.fromstring(pe.get_data(found[resource].OffsetToData, found[resource].Size))


class Manifests(unittest.TestCase):
    def check(self, rows, read):
        """rows: (file, expected); read(root) gives what the file's manifest says."""
        for arch in ("x86", "x64"):
            for name, expected in rows:
                root = manifest(arch, name, dict(FILES)[name])
                self.assertEqual(read(root), expected, f"{arch} {name}")

    def test_common_controls_6(self):
        controls = ("Microsoft.Windows.Common-Controls", "6.0.0.0", "6595b64144ccf1df", "win32")
        self.check([("Zephlist.exe", [controls]), ("Corvane.dll", [controls])], lambda root: [
            (i.get("name"), i.get("version"), i.get("publicKeyToken"), i.get("type"))
            for i in root.iter(f"{V1}assemblyIdentity")])

    def test_dpi_awareness(self):
        # A DLL does not decide how its host process is scaled.
        self.check([("Zephlist.exe", ("true/pm", "PerMonitorV2, PerMonitor")),
                    ("Corvane.dll", (None, None))], lambda root: tuple(
            getattr(root.find(f"{SETTINGS}{{http://schemas.microsoft.com/SMI/{year}/WindowsSettings}}{name}"),
                    "text", None) for year, name in (("2005", "dpiAware"), ("2016", "dpiAwareness"))))

    def test_supported_windows_7_8_81_10(self):
        self.check([("Zephlist.exe", {"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
                                      "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
                                      "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
                                      "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"})],
                   lambda root: {s.get("Id") for s in root.iter(f"{OS}supportedOS")})

    def test_execution_level(self):
        self.check([("Zephlist.exe", [{"level": "asInvoker", "uiAccess": "false"}])],
                   lambda root: [e.attrib for e in root.iter(f"{V3}requestedExecutionLevel")])


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    build_dir = sys.argv.pop(1)
    result = unittest.main(exit=False, verbosity=1).result
    failed = len(result.failures) + len(result.errors)
    print(f"manifests: {result.testsRun - failed} passed, {failed} failed")
    sys.exit(1 if failed or result.testsRun == 0 else 0)
