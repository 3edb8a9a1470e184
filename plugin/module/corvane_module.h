// CCorvaneModule: what Corvane.dll keeps for as long as it is loaded. Its one static instance
// is built when the DLL is loaded, before DllMain's attach handling, and with it the process's
// one service client, which reads the settings then.
#pragma once

#include <windows.h>

#include <memory>

#include "framework/com/class_factory.h"

namespace plugin {

class CTavrello;

// The module's AppID; the registration scripts and the type library name no other.
constexpr char kCorvaneAppId[] = "{F78734E6-86FF-4C62-90A9-A85FC12B15E4}";

class CCorvaneModule {
public:
    CCorvaneModule() noexcept;
    ~CCorvaneModule();
    CCorvaneModule(const CCorvaneModule&) = delete;
    CCorvaneModule& operator=(const CCorvaneModule&) = delete;

    // False when the service client could not be built; the DLL then refuses to load.
    bool Initialized() const noexcept { return client_ != nullptr; }

    // The exported functions' work.
    BOOL OnDllMain(HINSTANCE instance, DWORD reason) noexcept;
    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out) noexcept;
    HRESULT CanUnloadNow() const noexcept;
    HRESULT RegisterServer() noexcept;
    HRESULT UnregisterServer() noexcept;

private:
    std::unique_ptr<CTavrello> client_;
    framework::ClassObjectEntry tavrelloClass_;
};

extern CCorvaneModule corvaneModule;

}  // namespace plugin
