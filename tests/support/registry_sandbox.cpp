#include "tests/support/registry_sandbox.h"

#include <atomic>
#include <cstdio>
#include <stdexcept>

namespace testing_support {

namespace {
std::atomic<int> sandboxCounter{0};

// The parent of all scratch keys, under the real HKCU. It is opened once, before the first
// sandbox redirects anything, and kept open so that later sandboxes can nest.
HKEY SandboxParent() {
    static HKEY parent = [] {
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\TavrelloTestSandbox", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
            throw std::runtime_error("cannot create the registry sandbox parent key");
        }
        return key;
    }();
    return parent;
}
}  // namespace

RegistrySandbox::RegistrySandbox(HKEY predefinedRoot) : predefinedRoot_(predefinedRoot) {
    char name[64];
    std::snprintf(name, sizeof name, "%lu-%d", GetCurrentProcessId(), sandboxCounter++);
    scratchPath_ = name;
    HKEY parent = SandboxParent();
    RegDeleteTreeA(parent, scratchPath_.c_str());
    if (RegCreateKeyExA(parent, scratchPath_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &scratch_, nullptr) != ERROR_SUCCESS) {
        throw std::runtime_error("cannot create the registry sandbox key");
    }
    if (RegOverridePredefKey(predefinedRoot_, scratch_) != ERROR_SUCCESS) {
        throw std::runtime_error("cannot redirect the predefined registry key");
    }
}

RegistrySandbox::~RegistrySandbox() {
    RegOverridePredefKey(predefinedRoot_, nullptr);
    RegCloseKey(scratch_);
    RegDeleteTreeA(SandboxParent(), scratchPath_.c_str());
}

bool ReadRawValue(HKEY root, const std::string& path, const std::string& name, DWORD& type,
                  std::string& data) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    DWORD length = 0;
    LONG status = RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &length);
    if (status == ERROR_SUCCESS) {
        data.assign(length, '\0');
        status = RegQueryValueExA(key, name.c_str(), nullptr, &type,
                                  reinterpret_cast<BYTE*>(data.data()), &length);
        data.resize(length);
    }
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

bool KeyExists(HKEY root, const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

bool ValueExists(HKEY root, const std::string& path, const std::string& name) {
    DWORD type = 0;
    std::string data;
    return ReadRawValue(root, path, name, type, data);
}

void SetRawValue(HKEY root, const std::string& path, const std::string& name, DWORD type,
                 const std::string& data) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        throw std::runtime_error("cannot create key " + path);
    }
    RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                   static_cast<DWORD>(data.size()));
    RegCloseKey(key);
}

std::string ReadText(HKEY root, const std::string& path, const std::string& name) {
    DWORD type = 0;
    std::string data;
    if (!ReadRawValue(root, path, name, type, data)) return "<missing>";
    if (!data.empty() && data.back() == '\0') data.pop_back();
    return data;
}

bool KeyExistsInView(HKEY root, const std::string& path, REGSAM view) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

}  // namespace testing_support
