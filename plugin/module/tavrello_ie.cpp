#include "plugin/module/tavrello_ie.h"

#include <exdisp.h>
#include <shlguid.h>

#include <string>

#include "common/form_encoding.h"
#include "framework/com/bstr.h"
#include "framework/module_instance.h"
#include "framework/com/type_library.h"
#include "plugin/client/tavrello.h"
#include "plugin/module/command_gate.h"

namespace plugin {

namespace {

// The locale of the type library, under which it is registered.
constexpr LCID kTypeLibraryLocale = 0x409;

// Text from the browser in the ANSI code page of the calling thread's locale, the code page the
// dialogs show it in.
std::string NarrowForThread(BSTR text) {
    return framework::TextFromBstr(text, CP_THREAD_ACP);
}

// The address as browsers put it on the wire: every character outside ASCII as its UTF-8
// bytes, percent-encoded. A code-page conversion would replace what the code page lacks with
// "?" or a look-alike (a fullwidth solidus would become '/') and so name another page.
std::string EncodeAddress(BSTR text) {
    return common::PercentEncode(framework::TextFromBstr(text, CP_UTF8),
                                 [](unsigned char byte) { return byte >= 0x80; });
}

// A location property of the page shown; the call's result is not looked at, so a failure
// gives the empty text.
std::string ReadLocation(IWebBrowser2* browser,
                         HRESULT (STDMETHODCALLTYPE IWebBrowser2::*read)(BSTR*),
                         std::string (*convert)(BSTR)) {
    framework::Bstr text;
    (browser->*read)(text.Receive());
    return convert(text.Get());
}

// QueryService that counts only a pointer that came back with success. A failing provider
// that still wrote something is not trusted with a Release.
template <typename Interface>
bool QueryServiceFor(IServiceProvider* provider, REFGUID service, REFIID iid,
                     framework::ComPtr<Interface>& out) {
    const HRESULT result = provider->QueryService(service, iid, out.ReceiveVoid());
    if (FAILED(result)) {
        out.Detach();
        return false;
    }
    return static_cast<bool>(out);
}

HRESULT LoadInterfaceTypeInfo(ITypeInfo** out) {
    framework::ComPtr<ITypeLib> library;
    const HRESULT result = framework::LoadModuleTypeLibrary(framework::CodeInstance(), library);
    if (FAILED(result)) return result;
    return library->GetTypeInfoOfGuid(IID_ITavrelloIE, out);
}

}  // namespace

CommandGate& TavrelloCommandGate() noexcept {
    static CommandGate gate;
    return gate;
}

framework::InterfaceTable CTavrelloIE::Interfaces() {
    static const framework::InterfaceEntry entries[] = {
        framework::InterfaceEntryFor<CTavrelloIE, ITavrelloIE>(),
        framework::InterfaceEntryFor<CTavrelloIE, IDispatch, ITavrelloIE>(),
        framework::InterfaceEntryFor<CTavrelloIE, IObjectWithSite>(),
        framework::InterfaceEntryFor<CTavrelloIE, IOleCommandTarget>(),
        framework::InterfaceEntryFor<CTavrelloIE, IProvideClassInfo>(),
    };
    return framework::InterfaceTable(entries);
}

// --- IDispatch ----------------------------------------------------------------------------------

STDMETHODIMP CTavrelloIE::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    framework::ComPtr<ITypeInfo> info;
    *count = SUCCEEDED(LoadInterfaceTypeInfo(info.Receive())) && info ? 1 : 0;
    return S_OK;
}

STDMETHODIMP CTavrelloIE::GetTypeInfo(UINT index, LCID, ITypeInfo** out) {
    if (index != 0) return DISP_E_BADINDEX;
    if (!out) return E_POINTER;
    *out = nullptr;
    return LoadInterfaceTypeInfo(out);
}

STDMETHODIMP CTavrelloIE::GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) {
    if (ids) {
        for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    }
    return DISP_E_UNKNOWNNAME;
}

STDMETHODIMP CTavrelloIE::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS* parameters,
                                 VARIANT* result, EXCEPINFO*, UINT*) {
    if (!parameters) return DISP_E_BADVARTYPE;
    if (parameters->cArgs > 0) return DISP_E_BADPARAMCOUNT;
    if (result) VariantInit(result);
    return DISP_E_MEMBERNOTFOUND;
}

// --- IObjectWithSite ----------------------------------------------------------------------------

STDMETHODIMP CTavrelloIE::SetSite(IUnknown* site) {
    if (site != site_.Get()) site_ = site;
    return S_OK;
}

STDMETHODIMP CTavrelloIE::GetSite(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (!site_) {
        *out = nullptr;
        return E_FAIL;
    }
    return site_->QueryInterface(iid, out);
}

// --- IOleCommandTarget --------------------------------------------------------------------------

STDMETHODIMP CTavrelloIE::QueryStatus(const GUID*, ULONG count, OLECMD commands[], OLECMDTEXT*) {
    if (count > 0 && commands) commands[0].cmdf |= OLECMDF_SUPPORTED | OLECMDF_ENABLED;
    return S_OK;
}

STDMETHODIMP CTavrelloIE::Exec(const GUID*, DWORD, DWORD, VARIANT*, VARIANT*) {
    return RunAddPage();
}

HRESULT CTavrelloIE::RunAddPage() noexcept {
    try {
        if (!site_) return E_FAIL;
        framework::ComPtr<IServiceProvider> provider;
        if (FAILED(site_.QueryInterface(provider)) || !provider) return E_FAIL;
        framework::ComPtr<IServiceProvider> topLevel;
        if (!QueryServiceFor(provider.Get(), SID_STopLevelBrowser, IID_IServiceProvider,
                             topLevel)) {
            return E_FAIL;
        }
        framework::ComPtr<IWebBrowser2> browser;
        if (!QueryServiceFor(topLevel.Get(), SID_SWebBrowserApp, IID_IWebBrowser2, browser)) {
            return E_FAIL;
        }

        CommandGate& gate = TavrelloCommandGate();
        CommandGate::Pass pass(gate);
        if (!pass.Entered()) {
            BringThreadToFront(gate.RunningThread());
            return S_OK;
        }
        // Address first, then title: both are read before the client runs its dialog.
        const std::string url =
            ReadLocation(browser.Get(), &IWebBrowser2::get_LocationURL, &EncodeAddress);
        const std::string title =
            ReadLocation(browser.Get(), &IWebBrowser2::get_LocationName, &NarrowForThread);
        if (CTavrello* client = CTavrello::Current()) client->AddPage(title, url);
        return S_OK;
    } catch (...) {
        // Nothing may unwind into the browser. The command has ended, as it does when the
        // service cannot be reached, and the browser has nothing to do about it.
        return S_OK;
    }
}

// --- IProvideClassInfo --------------------------------------------------------------------------

STDMETHODIMP CTavrelloIE::GetClassInfo(ITypeInfo** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    framework::ComPtr<ITypeLib> library;
    const HRESULT result =
        LoadRegTypeLib(LIBID_CorvaneLib, 1, 0, kTypeLibraryLocale, library.Receive());
    if (FAILED(result)) return result;
    return library->GetTypeInfoOfGuid(CLSID_CTavrelloIE, out);
}

}  // namespace plugin
