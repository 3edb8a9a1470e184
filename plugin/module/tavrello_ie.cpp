#include "plugin/module/tavrello_ie.h"

#include <exdisp.h>
#include <shlguid.h>

#include <string>

#include "framework/handles.h"
#include "framework/inproc_module.h"
#include "plugin/client/tavrello.h"
#include "plugin/module/command_gate.h"

namespace {

// The locale of the type library, under which it is registered.
constexpr LCID kTypeLibraryLocale = 0x409;

struct BstrTraits {
    using Handle = BSTR;
    static Handle Empty() { return nullptr; }
    static void Close(Handle text) { SysFreeString(text); }
};
using Bstr = framework::UniqueHandle<BstrTraits>;

// Text from the browser in the ANSI code page of the calling thread's locale, the code page the
// dialogs show it in.
std::string NarrowForThread(const Bstr& text) {
    const int length = static_cast<int>(SysStringLen(text.Get()));
    if (length == 0) return {};
    const int size =
        WideCharToMultiByte(CP_THREAD_ACP, 0, text.Get(), length, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string narrow(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_THREAD_ACP, 0, text.Get(), length, narrow.data(), size, nullptr,
                        nullptr);
    return narrow;
}

// The address as browsers put it on the wire: every character outside ASCII as its UTF-8
// bytes, percent-encoded. A code-page conversion would replace what the code page lacks with
// "?" or a look-alike (a fullwidth solidus would become '/') and so name another page.
std::string EncodeAddress(const Bstr& text) {
    const int length = static_cast<int>(SysStringLen(text.Get()));
    if (length == 0) return {};
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.Get(), length, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string utf8(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.Get(), length, utf8.data(), size, nullptr, nullptr);
    static const char kHexDigits[] = "0123456789ABCDEF";
    std::string address;
    address.reserve(utf8.size());
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            address += c;
        } else {
            address += '%';
            address += kHexDigits[byte >> 4];
            address += kHexDigits[byte & 0x0F];
        }
    }
    return address;
}

// A location property of the page shown; the call's result is not looked at, so a failure
// gives the empty text.
std::string ReadLocation(IWebBrowser2* browser,
                         HRESULT (STDMETHODCALLTYPE IWebBrowser2::*read)(BSTR*),
                         std::string (*convert)(const Bstr&)) {
    Bstr text;
    (browser->*read)(text.Receive());
    return convert(text);
}

// QueryService that counts only a pointer that came back with success. A failing provider
// that still wrote something is not trusted with a Release.
template <typename Interface>
bool QueryServiceFor(IServiceProvider* provider, REFGUID service, REFIID iid,
                     ComPtr<Interface>& out) {
    const HRESULT result = provider->QueryService(service, iid, out.ReceiveVoid());
    if (FAILED(result)) {
        out.Detach();
        return false;
    }
    return static_cast<bool>(out);
}

HRESULT LoadInterfaceTypeInfo(ITypeInfo** out) {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(framework::CurrentModule(), path, MAX_PATH);
    if (length == 0) return HRESULT_FROM_WIN32(GetLastError());
    // A path that fills the buffer may have been cut short.
    if (length >= MAX_PATH) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    ComPtr<ITypeLib> library;
    const HRESULT result = LoadTypeLibEx(path, REGKIND_NONE, library.Receive());
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
    ComPtr<ITypeInfo> info;
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
        ComPtr<IServiceProvider> provider;
        if (FAILED(site_.QueryInterface(provider)) || !provider) return E_FAIL;
        ComPtr<IServiceProvider> topLevel;
        if (!QueryServiceFor(provider.Get(), SID_STopLevelBrowser, IID_IServiceProvider,
                             topLevel)) {
            return E_FAIL;
        }
        ComPtr<IWebBrowser2> browser;
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
    ComPtr<ITypeLib> library;
    const HRESULT result =
        LoadRegTypeLib(LIBID_CorvaneLib, 1, 0, kTypeLibraryLocale, library.Receive());
    if (FAILED(result)) return result;
    return library->GetTypeInfoOfGuid(CLSID_CTavrelloIE, out);
}
