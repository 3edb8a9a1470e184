#include "tray/zephlist_module.h"

#include "framework/ax_host.h"
#include "framework/registrar.h"
#include "framework/type_library.h"
#include "resources/tray/resource.h"
#include "tray/command_line.h"
#include "tray/popup_window.h"
#include "tray/single_instance.h"

namespace {

constexpr const char kMutexName[] = "Zephlist";

framework::Registrar AppIdRegistrar() {
    framework::Registrar registrar;
    registrar.AddReplacement("APPID", kZephlistAppId);
    registrar.AddModuleReplacement(GetModuleHandleA(nullptr));
    return registrar;
}

}  // namespace

HRESULT CZephlistModule::RegisterServer() {
    const HRESULT result =
        AppIdRegistrar().RegisterResource(GetModuleHandleA(nullptr), IDR_ZEPHLIST_REGISTRY);
    if (FAILED(result)) return result;
    return framework::RegisterModuleTypeLibrary(GetModuleHandleA(nullptr));
}

HRESULT CZephlistModule::UnregisterServer() {
    const HRESULT result = framework::UnregisterModuleTypeLibrary(GetModuleHandleA(nullptr));
    if (FAILED(result)) return result;
    return AppIdRegistrar().UnregisterResource(GetModuleHandleA(nullptr), IDR_ZEPHLIST_REGISTRY);
}

int CZephlistModule::WinMain() {
    CPopupWnd popup;
    SingleInstanceMutex mutex(kMutexName);

    if (popup.unloadRequest) {
        if (mutex.ExistedBefore()) PostToRunningInstance(ID_EXIT);
        return 0;
    }
    if (mutex.ExistedBefore()) {
        mutex.Close();
        // A second start shows the running copy's pop-up on its home page.
        PostToRunningInstance(ID_HOME);
        return 0;
    }

    AtlAxWinInit();
    popup.CreatePopup();
    if (!popup.quickMode) popup.AddTrayIcon();
    // Registration words are looked for in the arguments only, as the switches are.
    const int result = Run(zephlist::ArgumentsOf(GetCommandLineA()));
    if (!popup.quickMode) popup.DeleteTrayIcon();
    popup.DestroyWindow();
    mutex.Close();
    return result;
}
