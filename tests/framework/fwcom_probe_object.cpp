// The probe COM classes of the framework tests.
#include "fwcom_probe_object.h"

namespace probe {

namespace {
LONG liveObjects = 0;
}  // namespace

LONG LiveObjects() {
    return InterlockedCompareExchange(&liveObjects, 0, 0);
}

Counted::Counted() {
    InterlockedIncrement(&liveObjects);
}
Counted::~Counted() {
    InterlockedDecrement(&liveObjects);
}

framework::InterfaceTable CProbe::Interfaces() {
    static const framework::InterfaceEntry entries[] = {
        framework::InterfaceEntryFor<CProbe, IFrameworkProbe>(),
        framework::InterfaceEntryFor<CProbe, IDispatch, IFrameworkProbe>(),
        framework::InterfaceEntryFor<CProbe, IObjectWithSite>(),
        framework::InterfaceEntryFor<CProbe, IPersist>(),
    };
    return framework::InterfaceTable(entries);
}

STDMETHODIMP CProbe::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}
STDMETHODIMP CProbe::GetTypeInfo(UINT, LCID, ITypeInfo**) {
    return DISP_E_BADINDEX;
}
STDMETHODIMP CProbe::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    return DISP_E_UNKNOWNNAME;
}
STDMETHODIMP CProbe::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
    return DISP_E_MEMBERNOTFOUND;
}
STDMETHODIMP CProbe::Ping(LONG* answer) {
    if (!answer) return E_POINTER;
    *answer = kPingAnswer;
    return S_OK;
}
STDMETHODIMP CProbe::SetSite(IUnknown*) {
    return S_OK;
}
STDMETHODIMP CProbe::GetSite(REFIID, void** out) {
    if (out) *out = nullptr;
    return E_FAIL;
}
STDMETHODIMP CProbe::GetClassID(CLSID* clsid) {
    if (!clsid) return E_POINTER;
    *clsid = CLSID_FrameworkProbe;
    return S_OK;
}

framework::InterfaceTable CSiteFirstProbe::Interfaces() {
    static const framework::InterfaceEntry entries[] = {
        framework::InterfaceEntryFor<CSiteFirstProbe, IObjectWithSite>(),
        framework::InterfaceEntryFor<CSiteFirstProbe, IPersist>(),
    };
    return framework::InterfaceTable(entries);
}
STDMETHODIMP CSiteFirstProbe::SetSite(IUnknown*) {
    return S_OK;
}
STDMETHODIMP CSiteFirstProbe::GetSite(REFIID, void** out) {
    if (out) *out = nullptr;
    return E_FAIL;
}
STDMETHODIMP CSiteFirstProbe::GetClassID(CLSID* clsid) {
    if (!clsid) return E_POINTER;
    *clsid = CLSID_NULL;
    return S_OK;
}

framework::InterfaceTable CFailingProbe::Interfaces() {
    static const framework::InterfaceEntry entries[] = {
        framework::InterfaceEntryFor<CFailingProbe, IPersist>(),
    };
    return framework::InterfaceTable(entries);
}
STDMETHODIMP CFailingProbe::GetClassID(CLSID*) {
    return E_UNEXPECTED;
}

}  // namespace probe
