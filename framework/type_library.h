// Registration of the type library that a module carries as its TYPELIB resource 1.
#pragma once

#include <windows.h>

namespace framework {

// Loads the library from the module file without registering it, then registers it with the
// module path (which also registers its automation interfaces for marshalling).
HRESULT RegisterModuleTypeLibrary(HMODULE module) noexcept;

// Removes the registration of the module's library, identified by its own LIBID, version,
// locale and system kind.
HRESULT UnregisterModuleTypeLibrary(HMODULE module) noexcept;

}  // namespace framework
