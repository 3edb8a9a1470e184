// What the plug-in's module tests share: the built Corvane.dll loaded through its exports, a
// registration of it in the test prefix's real registry (which COM activation reads), and a
// dump of a registry tree to compare registrations exactly.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace module_testing {

// Full path of build/bin/Corvane.dll, beside this test's folder.
std::string CorvanePath();

// The DLL loaded into this process, with its five exports.
class CorvaneLibrary {
public:
    CorvaneLibrary();
    ~CorvaneLibrary();
    CorvaneLibrary(const CorvaneLibrary&) = delete;
    CorvaneLibrary& operator=(const CorvaneLibrary&) = delete;

    bool Loaded() const { return module_ != nullptr; }
    HMODULE Module() const { return module_; }

    HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) const;
    HRESULT DllCanUnloadNow() const;
    HRESULT DllRegisterServer() const;
    HRESULT DllUnregisterServer() const;

private:
    FARPROC Export(const char* name) const;

    HMODULE module_ = nullptr;
};

// Runs regsvr32 on the DLL as a process; returns its exit code.
DWORD RunRegsvr32(bool unregister);

// regsvr32 /s on construction, /u /s on destruction: the prefix keeps nothing of the test.
class PrefixRegistration {
public:
    PrefixRegistration();
    ~PrefixRegistration();
    PrefixRegistration(const PrefixRegistration&) = delete;
    PrefixRegistration& operator=(const PrefixRegistration&) = delete;

    DWORD ExitCode() const { return exitCode_; }

private:
    DWORD exitCode_;
};

// Every key and value below path of root, one line each, sorted:
//   "Key\Sub"                    for a key
//   "Key\Sub | name = text"      for a REG_SZ value ("@" names the default value)
//   "Key\Sub | name : type N"    for any other type
std::vector<std::string> DumpTree(HKEY root, const std::string& path);

// The lines of dump that belong to key path prefix (the key itself and everything below).
std::vector<std::string> LinesUnder(const std::vector<std::string>& dump,
                                    const std::string& keyPath);

std::string GuidText(REFGUID guid);

}  // namespace module_testing
