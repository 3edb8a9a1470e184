// The tray program's module: COM for the main thread, its registration as a local server
// (AppID entries and type library), and the program body from start to shutdown.
#pragma once

#include "framework/com/module.h"

namespace tray {

class CZephlistModule : public framework::CAtlExeModuleT<CZephlistModule> {
public:
    // Writes the AppID entries, then registers the type library.
    HRESULT RegisterServer() override;
    // Unregisters the type library, then removes the AppID entries.
    HRESULT UnregisterServer() override;

    // The whole run of the program; returns the process exit code.
    int WinMain();
};

}  // namespace tray
