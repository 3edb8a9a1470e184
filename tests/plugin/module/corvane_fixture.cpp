#include "tests/plugin/module/corvane_fixture.h"

#include <algorithm>

#include "tests/support/child_process.h"

namespace module_testing {

std::string CorvanePath() {
    const std::string relative = testing_support::TestExecutableFolder() + "..\\bin\\Corvane.dll";
    char full[MAX_PATH] = {};
    GetFullPathNameA(relative.c_str(), MAX_PATH, full, nullptr);
    return full;
}

CorvaneLibrary::CorvaneLibrary() : module_(LoadLibraryA(CorvanePath().c_str())) {}

CorvaneLibrary::~CorvaneLibrary() {
    if (module_) FreeLibrary(module_);
}

FARPROC CorvaneLibrary::Export(const char* name) const {
    return module_ ? GetProcAddress(module_, name) : nullptr;
}

HRESULT CorvaneLibrary::DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) const {
    using Function = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto function =
        reinterpret_cast<Function>(reinterpret_cast<void*>(Export("DllGetClassObject")));
    return function ? function(clsid, iid, out) : E_NOTIMPL;
}

namespace {

using NoArguments = HRESULT(STDAPICALLTYPE*)();

HRESULT CallExport(FARPROC address) {
    auto function = reinterpret_cast<NoArguments>(reinterpret_cast<void*>(address));
    return function ? function() : E_NOTIMPL;
}

}  // namespace

HRESULT CorvaneLibrary::DllCanUnloadNow() const {
    return CallExport(Export("DllCanUnloadNow"));
}

HRESULT CorvaneLibrary::DllRegisterServer() const {
    return CallExport(Export("DllRegisterServer"));
}

HRESULT CorvaneLibrary::DllUnregisterServer() const {
    return CallExport(Export("DllUnregisterServer"));
}

DWORD RunRegsvr32(bool unregister) {
    std::string commandLine = "regsvr32.exe ";
    if (unregister) commandLine += "/u ";
    commandLine += "/s \"" + CorvanePath() + "\"";
    testing_support::ChildProcess process;
    if (!process.Start(commandLine)) return GetLastError();
    return process.Wait(60000);
}

PrefixRegistration::PrefixRegistration() : exitCode_(RunRegsvr32(false)) {}

PrefixRegistration::~PrefixRegistration() {
    RunRegsvr32(true);
}

namespace {

void DumpKey(HKEY key, const std::string& path, std::vector<std::string>& lines) {
    lines.push_back(path);
    for (DWORD index = 0;; ++index) {
        char name[16384];
        DWORD nameLength = sizeof name;
        DWORD type = 0;
        BYTE data[16384];
        DWORD dataLength = sizeof data;
        const LONG status =
            RegEnumValueA(key, index, name, &nameLength, nullptr, &type, data, &dataLength);
        if (status != ERROR_SUCCESS) break;
        const std::string valueName = nameLength ? std::string(name, nameLength) : "@";
        if (type == REG_SZ) {
            std::string text(reinterpret_cast<const char*>(data), dataLength);
            while (!text.empty() && text.back() == '\0') text.pop_back();
            lines.push_back(path + " | " + valueName + " = " + text);
        } else {
            lines.push_back(path + " | " + valueName + " : type " + std::to_string(type));
        }
    }
    for (DWORD index = 0;; ++index) {
        char name[1024];
        DWORD nameLength = sizeof name;
        if (RegEnumKeyExA(key, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        HKEY child = nullptr;
        if (RegOpenKeyExA(key, name, 0, KEY_READ, &child) != ERROR_SUCCESS) continue;
        DumpKey(child, path.empty() ? name : path + "\\" + name, lines);
        RegCloseKey(child);
    }
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() &&
           CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, text.data(),
                          static_cast<int>(prefix.size()), prefix.data(),
                          static_cast<int>(prefix.size())) == CSTR_EQUAL;
}

}  // namespace

std::vector<std::string> DumpTree(HKEY root, const std::string& path) {
    std::vector<std::string> lines;
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.empty() ? nullptr : path.c_str(), 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return lines;
    }
    DumpKey(key, path, lines);
    RegCloseKey(key);
    // The registry enumerates in its own order; compare without it.
    std::sort(lines.begin(), lines.end());
    // The root itself is not a line of its own.
    if (path.empty()) lines.erase(std::remove(lines.begin(), lines.end(), ""), lines.end());
    return lines;
}

std::vector<std::string> LinesUnder(const std::vector<std::string>& dump,
                                    const std::string& keyPath) {
    std::vector<std::string> matching;
    for (const std::string& line : dump) {
        if (line.size() == keyPath.size() ? StartsWithNoCase(line, keyPath)
                                          : StartsWithNoCase(line, keyPath + "\\") ||
                                                StartsWithNoCase(line, keyPath + " | ")) {
            matching.push_back(line);
        }
    }
    return matching;
}

std::string GuidText(REFGUID guid) {
    wchar_t wide[40] = {};
    const int length = StringFromGUID2(guid, wide, 40);
    return std::string(wide, wide + (length > 0 ? length - 1 : 0));
}

}  // namespace module_testing
