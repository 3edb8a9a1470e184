#include "plugin/module/corvane_module.h"

#include <string>

#include "Corvane.h"
#include "framework/registration/registrar.h"
#include "framework/com/type_library.h"
#include "framework/window/window.h"
#include "plugin/client/tavrello.h"
#include "plugin/dialogs/add_favorite_dialog.h"
#include "plugin/dialogs/plugin_ui.h"
#include "plugin/module/tavrello_ie.h"
#include "resources/plugin/resource.h"

namespace plugin {

namespace {

std::string GuidText(REFGUID guid) {
    wchar_t wide[40] = {};
    const int length = StringFromGUID2(guid, wide, 40);
    // A GUID's text is plain ASCII.
    return std::string(wide, wide + (length > 0 ? length - 1 : 0));
}

// The thread locale of the system, for the length of a registration: the scripts' texts are
// 8-bit and must come out the same whatever the calling thread's locale is.
class SystemLocaleScope {
public:
    SystemLocaleScope() noexcept : previous_(GetThreadLocale()) {
        SetThreadLocale(LOCALE_SYSTEM_DEFAULT);
    }
    ~SystemLocaleScope() { SetThreadLocale(previous_); }
    SystemLocaleScope(const SystemLocaleScope&) = delete;
    SystemLocaleScope& operator=(const SystemLocaleScope&) = delete;

private:
    LCID previous_;
};

framework::Registrar ModuleRegistrar(HMODULE module) {
    framework::Registrar registrar;
    registrar.AddReplacement("APPID", kCorvaneAppId);
    registrar.AddReplacement("CLSID", GuidText(CLSID_CTavrelloIE));
    registrar.AddReplacement("LIBID", GuidText(LIBID_CorvaneLib));
    registrar.AddModuleReplacement(module);
    return registrar;
}

// Runs REGISTRATION (the module, its registrar) under the system's locale; no exception leaves.
template <typename Registration>
HRESULT RunRegistration(Registration registration) noexcept {
    try {
        SystemLocaleScope locale;
        const HMODULE module = framework::CodeInstance();
        framework::Registrar registrar = ModuleRegistrar(module);
        return registration(module, registrar);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace

CCorvaneModule corvaneModule;

CCorvaneModule::CCorvaneModule() noexcept
    : tavrelloClass_(CLSID_CTavrelloIE, &framework::ClassFactory<CTavrelloIE>::Create) {
    try {
        client_ = std::make_unique<CTavrello>(std::make_unique<PluginClientUi>());
    } catch (...) {
        client_.reset();
    }
}

CCorvaneModule::~CCorvaneModule() = default;

BOOL CCorvaneModule::OnDllMain(HINSTANCE instance, DWORD reason) noexcept {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    RegisterTreeViewClass();
    // The dialogs' templates are in this DLL, not in the browser's executable.
    framework::SetResourceInstance(instance);
    return Initialized() ? TRUE : FALSE;
}

HRESULT CCorvaneModule::GetClassObject(REFCLSID clsid, REFIID iid, void** out) noexcept {
    return framework::GetClassObject(clsid, iid, out, {&tavrelloClass_});
}

HRESULT CCorvaneModule::CanUnloadNow() const noexcept {
    return framework::CanUnloadModule();
}

// Registration writes the AppID before the class that names it, then the type library; removal
// goes the other way, and the AppID goes last. Both stop at the first part that fails, so that
// class entries that stay behind never name an AppID or type library already gone. The tray
// program's removal differs on purpose and goes on past a failure: it registers no class, and
// its AppID and type library do not name each other.
HRESULT CCorvaneModule::RegisterServer() noexcept {
    return RunRegistration([](HMODULE module, framework::Registrar& registrar) {
        HRESULT result = registrar.RegisterResource(module, IDR_CORVANE_REGISTRY);
        if (SUCCEEDED(result))
            result = registrar.RegisterResource(module, IDR_CORVANE_CLASS_REGISTRY);
        if (SUCCEEDED(result)) result = framework::RegisterModuleTypeLibrary(module);
        return result;
    });
}

HRESULT CCorvaneModule::UnregisterServer() noexcept {
    return RunRegistration([](HMODULE module, framework::Registrar& registrar) {
        HRESULT result = registrar.UnregisterResource(module, IDR_CORVANE_CLASS_REGISTRY);
        if (SUCCEEDED(result)) result = framework::UnregisterModuleTypeLibrary(module);
        if (SUCCEEDED(result)) result = registrar.UnregisterResource(module, IDR_CORVANE_REGISTRY);
        return result;
    });
}

}  // namespace plugin
