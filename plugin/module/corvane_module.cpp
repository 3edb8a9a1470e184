#include "plugin/module/corvane_module.h"

#include <initializer_list>
#include <string>

#include "Corvane.h"
#include "framework/registrar.h"
#include "framework/type_library.h"
#include "framework/window.h"
#include "plugin/client/tavrello.h"
#include "plugin/dialogs/add_favorite_dialog.h"
#include "plugin/dialogs/plugin_ui.h"
#include "plugin/module/tavrello_ie.h"
#include "resources/plugin/resource.h"

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

using RegistrationStep = HRESULT (*)(HMODULE module, framework::Registrar& registrar);

// Runs the steps in order with the module and its registrar, under the system's locale, until
// one fails; returns the last step's result. No exception leaves.
HRESULT RunRegistration(std::initializer_list<RegistrationStep> steps) noexcept {
    try {
        SystemLocaleScope locale;
        const HMODULE module = framework::CodeInstance();
        framework::Registrar registrar = ModuleRegistrar(module);
        HRESULT result = S_OK;
        for (const RegistrationStep step : steps) {
            result = step(module, registrar);
            if (FAILED(result)) return result;
        }
        return result;
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
    corvane::RegisterTreeViewClass();
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

HRESULT CCorvaneModule::RegisterServer() noexcept {
    return RunRegistration({
        [](HMODULE module, framework::Registrar& registrar) {
            return registrar.RegisterResource(module, IDR_CORVANE_REGISTRY);
        },
        [](HMODULE module, framework::Registrar& registrar) {
            return registrar.RegisterResource(module, IDR_CORVANE_CLASS_REGISTRY);
        },
        [](HMODULE module, framework::Registrar&) {
            return framework::RegisterModuleTypeLibrary(module);
        },
    });
}

HRESULT CCorvaneModule::UnregisterServer() noexcept {
    return RunRegistration({
        [](HMODULE module, framework::Registrar& registrar) {
            return registrar.UnregisterResource(module, IDR_CORVANE_CLASS_REGISTRY);
        },
        [](HMODULE module, framework::Registrar&) {
            return framework::UnregisterModuleTypeLibrary(module);
        },
        [](HMODULE module, framework::Registrar& registrar) {
            return registrar.UnregisterResource(module, IDR_CORVANE_REGISTRY);
        },
    });
}
