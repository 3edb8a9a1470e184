// Registry side of the registration scripts: the tree walk for register and unregister.
#include "framework/registration/registrar.h"

#include <new>
#include <vector>

#include "framework/handles.h"
#include "framework/module_instance.h"

namespace framework {

namespace {

HKEY RootKey(RegistryRoot root) {
    switch (root) {
        case RegistryRoot::ClassesRoot:
            return HKEY_CLASSES_ROOT;
        case RegistryRoot::CurrentUser:
            return HKEY_CURRENT_USER;
        case RegistryRoot::LocalMachine:
            return HKEY_LOCAL_MACHINE;
    }
    return HKEY_CLASSES_ROOT;
}

bool IsGone(LONG status) {
    return status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND;
}

// Deletes a key with its subtree; a missing key is not a failure.
LONG DeleteKeyTree(HKEY parent, const std::string& name) {
    const LONG status = RegDeleteTreeA(parent, name.c_str());
    return IsGone(status) ? ERROR_SUCCESS : status;
}

LONG WriteValue(HKEY key, const ScriptValue& value) {
    if (value.type == ScriptValue::Type::Dword) {
        const DWORD number = value.number;
        return RegSetValueExA(key, value.name.c_str(), 0, REG_DWORD,
                              reinterpret_cast<const BYTE*>(&number), sizeof number);
    }
    return RegSetValueExA(key, value.name.c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(value.text.c_str()),
                          static_cast<DWORD>(value.text.size() + 1));
}

LONG ApplyKey(HKEY parent, const ScriptKey& key) {
    if (key.disposition == KeyDisposition::Delete) return DeleteKeyTree(parent, key.name);
    if (key.disposition == KeyDisposition::ForceRemove) {
        if (const LONG status = DeleteKeyTree(parent, key.name); status != ERROR_SUCCESS) {
            return status;
        }
    }
    framework::RegKey opened;
    LONG status = RegCreateKeyExA(parent, key.name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_ALL_ACCESS, nullptr, opened.Receive(), nullptr);
    if (status != ERROR_SUCCESS) return status;
    for (const ScriptValue& value : key.values) {
        if ((status = WriteValue(opened.Get(), value)) != ERROR_SUCCESS) return status;
    }
    for (const ScriptKey& subkey : key.subkeys) {
        if ((status = ApplyKey(opened.Get(), subkey)) != ERROR_SUCCESS) return status;
    }
    return ERROR_SUCCESS;
}

bool IsEmptyKey(HKEY key) {
    DWORD subkeys = 0;
    DWORD values = 0;
    return RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                            nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
           subkeys == 0 && values == 0;
}

class Removal {
public:
    void RemoveKey(HKEY parent, const ScriptKey& key) {
        switch (key.disposition) {
            case KeyDisposition::Delete:
                return;
            case KeyDisposition::ForceRemove:
                Note(DeleteKeyTree(parent, key.name));
                return;
            case KeyDisposition::Normal:
            case KeyDisposition::NoRemove:
                break;
        }
        framework::RegKey opened;
        const LONG status =
            RegOpenKeyExA(parent, key.name.c_str(), 0, KEY_ALL_ACCESS, opened.Receive());
        if (status != ERROR_SUCCESS) {
            if (!IsGone(status)) Note(status);
            return;
        }
        for (const ScriptKey& subkey : key.subkeys) RemoveKey(opened.Get(), subkey);
        for (const ScriptValue& value : key.values) {
            const LONG deleted = RegDeleteValueA(opened.Get(), value.name.c_str());
            if (!IsGone(deleted)) Note(deleted);
        }
        if (key.disposition == KeyDisposition::NoRemove || !IsEmptyKey(opened.Get())) return;
        opened.Reset();
        const LONG deleted = RegDeleteKeyA(parent, key.name.c_str());
        if (!IsGone(deleted)) Note(deleted);
    }

    HRESULT Result() const { return HRESULT_FROM_WIN32(firstFailure_); }

private:
    void Note(LONG status) {
        if (firstFailure_ == ERROR_SUCCESS) firstFailure_ = status;
    }

    LONG firstFailure_ = ERROR_SUCCESS;
};

}  // namespace

HRESULT ApplyRegistration(const RegistryScript& script) noexcept {
    for (const ScriptRoot& root : script.roots) {
        for (const ScriptKey& key : root.keys) {
            const LONG status = ApplyKey(RootKey(root.root), key);
            if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
        }
    }
    return S_OK;
}

HRESULT RemoveRegistration(const RegistryScript& script) noexcept {
    Removal removal;
    for (const ScriptRoot& root : script.roots) {
        for (const ScriptKey& key : root.keys) removal.RemoveKey(RootKey(root.root), key);
    }
    return removal.Result();
}

HRESULT LoadScriptResource(HMODULE module, UINT resourceId, std::string& text) {
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(resourceId), kRegistryResourceType);
    if (!found) return HRESULT_FROM_WIN32(GetLastError());
    HGLOBAL loaded = LoadResource(module, found);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) return HRESULT_FROM_WIN32(GetLastError());
    const DWORD size = SizeofResource(module, found);
    const auto* data = static_cast<const unsigned char*>(bytes);
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
        const auto* wide = reinterpret_cast<const wchar_t*>(data + 2);
        int length = static_cast<int>((size - 2) / sizeof(wchar_t));
        for (int i = 0; i < length; ++i) {
            if (wide[i] == L'\0') length = i;
        }
        const int needed =
            WideCharToMultiByte(CP_ACP, 0, wide, length, nullptr, 0, nullptr, nullptr);
        text.assign(static_cast<size_t>(needed), '\0');
        WideCharToMultiByte(CP_ACP, 0, wide, length, text.data(), needed, nullptr, nullptr);
    } else {
        text.assign(reinterpret_cast<const char*>(data), size);
        // Resource compilers may pad or terminate the text with NULs.
        const size_t end = text.find('\0');
        if (end != std::string::npos) text.resize(end);
    }
    return S_OK;
}

void Registrar::AddReplacement(const std::string& name, const std::string& value) {
    replacements_[name] = value;
}

void Registrar::AddModuleReplacement(HMODULE module) {
    AddReplacement("MODULE", ModuleFileName(module));
}

HRESULT Registrar::RegisterScript(std::string_view text) noexcept {
    return Run(text, true);
}

HRESULT Registrar::UnregisterScript(std::string_view text) noexcept {
    return Run(text, false);
}

HRESULT Registrar::RegisterResource(HMODULE module, UINT resourceId) noexcept {
    return RunResource(module, resourceId, true);
}

HRESULT Registrar::UnregisterResource(HMODULE module, UINT resourceId) noexcept {
    return RunResource(module, resourceId, false);
}

HRESULT Registrar::Run(std::string_view text, bool registering) noexcept {
    try {
        ScriptParseResult parsed = ParseRegistryScript(text, replacements_);
        if (!parsed.ok) {
            lastError_ = std::move(parsed.error);
            return kMalformedRegistryScript;
        }
        return registering ? ApplyRegistration(parsed.script) : RemoveRegistration(parsed.script);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

HRESULT Registrar::RunResource(HMODULE module, UINT resourceId, bool registering) noexcept {
    try {
        std::string text;
        const HRESULT loaded = LoadScriptResource(module, resourceId, text);
        if (FAILED(loaded)) return loaded;
        return Run(text, registering);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

}  // namespace framework
