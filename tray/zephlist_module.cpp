#include "tray/zephlist_module.h"

#include "framework/window/ax_host.h"
#include "framework/registration/registrar.h"
#include "framework/com/type_library.h"
#include "resources/tray/resource.h"
#include "tray/command_line.h"
#include "tray/popup_window.h"
#include "tray/single_instance.h"

namespace tray {

namespace {

constexpr const char kMutexName[] = "Zephlist";
// The exit code of a start whose pop-up window could not be created.
constexpr int kNoWindowExitCode = 1;

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
    // Every part goes that can: a type library already gone must not keep the AppID entries.
    const HRESULT typeLibrary = framework::UnregisterModuleTypeLibrary(GetModuleHandleA(nullptr));
    const HRESULT appId =
        AppIdRegistrar().UnregisterResource(GetModuleHandleA(nullptr), IDR_ZEPHLIST_REGISTRY);
    return FAILED(typeLibrary) ? typeLibrary : appId;
}

int CZephlistModule::WinMain() {
    // Registration is set-up's business, whether or not a copy runs: it opens no window and
    // neither signals nor counts as the running copy.
    const char* const commandLine = GetCommandLineA();
    if (FindRegistrationRequest(commandLine) != framework::RegistrationSwitch::None) {
        return Run(ArgumentsOf(commandLine));
    }

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

    framework::AtlAxWinInit();
    // Without its window the program could neither be reached nor be ended: it must not run
    // on and keep the mutex from a later start.
    if (!popup.CreatePopup()) return kNoWindowExitCode;
    if (!popup.quickMode) popup.AddTrayIcon();
    const int result = Run(ArgumentsOf(commandLine));
    if (!popup.quickMode) popup.DeleteTrayIcon();
    popup.DestroyWindow();
    mutex.Close();
    return result;
}

}  // namespace tray
