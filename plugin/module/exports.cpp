// The five functions Corvane.dll exports (named in Corvane.def). None lets an exception out:
// the module's own functions catch at their edge.
#include <windows.h>

#include "plugin/module/corvane_module.h"

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    return plugin::corvaneModule.OnDllMain(instance, reason);
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    return plugin::corvaneModule.GetClassObject(clsid, iid, out);
}

STDAPI DllCanUnloadNow() {
    return plugin::corvaneModule.CanUnloadNow();
}

STDAPI DllRegisterServer() {
    return plugin::corvaneModule.RegisterServer();
}

STDAPI DllUnregisterServer() {
    return plugin::corvaneModule.UnregisterServer();
}

}  // extern "C"
