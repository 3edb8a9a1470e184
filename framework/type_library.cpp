// Type-library registration from the module's own resources.
#include "framework/type_library.h"

#include <oleauto.h>

#include <vector>

#include "framework/com_ptr.h"

namespace framework {

namespace {

// The wide path of the module file, NUL-terminated: type-library calls take wide paths. A
// vector rather than std::wstring keeps the wide string's library code out of the binaries.
using WidePath = std::vector<wchar_t>;

bool ModulePathWide(HMODULE module, WidePath& path) {
    path.assign(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return false;
        if (length < path.size()) {
            path.resize(length + 1);
            return true;
        }
        if (path.size() >= 32768) return false;
        path.resize(path.size() * 2);
    }
}

HRESULT LoadModuleTypeLibrary(HMODULE module, WidePath& path, ComPtr<ITypeLib>& library) {
    if (!ModulePathWide(module, path)) return HRESULT_FROM_WIN32(GetLastError());
    // The module's first TYPELIB resource is what a bare module path loads.
    return LoadTypeLibEx(path.data(), REGKIND_NONE, library.Receive());
}

}  // namespace

HRESULT RegisterModuleTypeLibrary(HMODULE module) noexcept {
    try {
        WidePath path;
        ComPtr<ITypeLib> library;
        HRESULT result = LoadModuleTypeLibrary(module, path, library);
        if (FAILED(result)) return result;
        return RegisterTypeLib(library.Get(), path.data(), nullptr);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT UnregisterModuleTypeLibrary(HMODULE module) noexcept {
    try {
        WidePath path;
        ComPtr<ITypeLib> library;
        HRESULT result = LoadModuleTypeLibrary(module, path, library);
        if (FAILED(result)) return result;
        TLIBATTR* attributes = nullptr;
        result = library->GetLibAttr(&attributes);
        if (FAILED(result)) return result;
        const TLIBATTR copy = *attributes;
        library->ReleaseTLibAttr(attributes);
        return UnRegisterTypeLib(copy.guid, copy.wMajorVerNum, copy.wMinorVerNum, copy.lcid,
                                 copy.syskind);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace framework
