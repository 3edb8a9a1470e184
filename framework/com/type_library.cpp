// Type libraries from the module's own resources.
#include "framework/com/type_library.h"

#include <vector>

#include "framework/module_instance.h"

namespace framework {

namespace {

using WidePath = std::vector<wchar_t>;

// Loads the module's library and hands it, with the module's wide path, to use; returns what
// use returns, or the load's failure. No exception leaves.
template <typename Use>
HRESULT WithModuleTypeLibrary(HMODULE module, Use use) noexcept {
    try {
        WidePath path;
        if (!ModuleFileNameWide(module, path)) return HRESULT_FROM_WIN32(GetLastError());
        framework::ComPtr<ITypeLib> library;
        // The module's first TYPELIB resource is what a bare module path loads.
        const HRESULT result = LoadTypeLibEx(path.data(), REGKIND_NONE, library.Receive());
        if (FAILED(result)) return result;
        return use(path, library);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace

HRESULT LoadModuleTypeLibrary(HMODULE module, framework::ComPtr<ITypeLib>& library) noexcept {
    library.Reset();
    return WithModuleTypeLibrary(module,
                                 [&library](const WidePath&, framework::ComPtr<ITypeLib>& loaded) {
                                     library = loaded;
                                     return S_OK;
                                 });
}

HRESULT RegisterModuleTypeLibrary(HMODULE module) noexcept {
    return WithModuleTypeLibrary(module, [](WidePath& path, framework::ComPtr<ITypeLib>& library) {
        return RegisterTypeLib(library.Get(), path.data(), nullptr);
    });
}

HRESULT UnregisterModuleTypeLibrary(HMODULE module) noexcept {
    return WithModuleTypeLibrary(module, [](const WidePath&, framework::ComPtr<ITypeLib>& library) {
        TLIBATTR* attributes = nullptr;
        const HRESULT result = library->GetLibAttr(&attributes);
        if (FAILED(result)) return result;
        const TLIBATTR copy = *attributes;
        library->ReleaseTLibAttr(attributes);
        return UnRegisterTypeLib(copy.guid, copy.wMajorVerNum, copy.wMinorVerNum, copy.lcid,
                                 copy.syskind);
    });
}

}  // namespace framework
