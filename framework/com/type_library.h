// The type library that a module carries as its TYPELIB resource 1: loading and registration.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include "framework/com/com_ptr.h"

namespace framework {

// Loads the library from the module file without registering it.
HRESULT LoadModuleTypeLibrary(HMODULE module, framework::ComPtr<ITypeLib>& library) noexcept;

// Loads the library as LoadModuleTypeLibrary does, then registers it with the module path
// (which also registers its automation interfaces for marshalling).
HRESULT RegisterModuleTypeLibrary(HMODULE module) noexcept;

// Removes the registration of the module's library, identified by its own LIBID, version,
// locale and system kind.
HRESULT UnregisterModuleTypeLibrary(HMODULE module) noexcept;

}  // namespace framework
