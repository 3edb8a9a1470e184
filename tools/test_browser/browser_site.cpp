#include "tools/test_browser/browser_site.h"

#include <shlguid.h>

#include <new>

namespace test_browser {

namespace {

// Reference counting shared by the browser-side objects: every AddRef and Release is also
// counted in the log, so a caller sees the references that are still out.
class Counted {
protected:
    explicit Counted(BrowserLog* log) : log_(log) {}
    virtual ~Counted() = default;

    ULONG CountedAddRef() {
        if (log_) InterlockedIncrement(&log_->liveReferences);
        return static_cast<ULONG>(InterlockedIncrement(&references_));
    }
    ULONG CountedRelease() {
        if (log_) InterlockedDecrement(&log_->liveReferences);
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    BrowserLog* log_;

private:
    LONG references_ = 0;
};

BSTR CopyText(const std::wstring& text) {
    return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

#define NOT_IMPLEMENTED(signature)    \
    STDMETHODIMP signature override { \
        return E_NOTIMPL;             \
    }

class CWebBrowser final : public IWebBrowser2, Counted {
public:
    CWebBrowser(const PageInfo& page, BrowserLog* log) : Counted(log), page_(page) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
            IsEqualIID(iid, IID_IWebBrowser) || IsEqualIID(iid, IID_IWebBrowserApp) ||
            IsEqualIID(iid, IID_IWebBrowser2)) {
            *out = static_cast<IWebBrowser2*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return CountedAddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return CountedRelease(); }

    STDMETHODIMP get_LocationURL(BSTR* url) override {
        if (log_) log_->reads.push_back("LocationURL");
        if (!url) return E_POINTER;
        if (page_.urlFails) return E_FAIL;
        if (page_.urlThrows) throw std::bad_alloc();
        *url = CopyText(page_.url);
        return S_OK;
    }
    STDMETHODIMP get_LocationName(BSTR* title) override {
        if (log_) log_->reads.push_back("LocationName");
        if (!title) return E_POINTER;
        if (page_.titleFails) return E_FAIL;
        *title = CopyText(page_.title);
        return S_OK;
    }

    NOT_IMPLEMENTED(GetTypeInfoCount(UINT*))
    NOT_IMPLEMENTED(GetTypeInfo(UINT, LCID, ITypeInfo**))
    NOT_IMPLEMENTED(GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*))
    NOT_IMPLEMENTED(Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*))
    NOT_IMPLEMENTED(GoBack())
    NOT_IMPLEMENTED(GoForward())
    NOT_IMPLEMENTED(GoHome())
    NOT_IMPLEMENTED(GoSearch())
    NOT_IMPLEMENTED(Navigate(BSTR, VARIANT*, VARIANT*, VARIANT*, VARIANT*))
    NOT_IMPLEMENTED(Refresh())
    NOT_IMPLEMENTED(Refresh2(VARIANT*))
    NOT_IMPLEMENTED(Stop())
    NOT_IMPLEMENTED(get_Application(IDispatch**))
    NOT_IMPLEMENTED(get_Parent(IDispatch**))
    NOT_IMPLEMENTED(get_Container(IDispatch**))
    NOT_IMPLEMENTED(get_Document(IDispatch**))
    NOT_IMPLEMENTED(get_TopLevelContainer(VARIANT_BOOL*))
    NOT_IMPLEMENTED(get_Type(BSTR*))
    NOT_IMPLEMENTED(get_Left(LONG*))
    NOT_IMPLEMENTED(put_Left(LONG))
    NOT_IMPLEMENTED(get_Top(LONG*))
    NOT_IMPLEMENTED(put_Top(LONG))
    NOT_IMPLEMENTED(get_Width(LONG*))
    NOT_IMPLEMENTED(put_Width(LONG))
    NOT_IMPLEMENTED(get_Height(LONG*))
    NOT_IMPLEMENTED(put_Height(LONG))
    NOT_IMPLEMENTED(get_Busy(VARIANT_BOOL*))
    NOT_IMPLEMENTED(Quit())
    NOT_IMPLEMENTED(ClientToWindow(int*, int*))
    NOT_IMPLEMENTED(PutProperty(BSTR, VARIANT))
    NOT_IMPLEMENTED(GetProperty(BSTR, VARIANT*))
    NOT_IMPLEMENTED(get_Name(BSTR*))
    NOT_IMPLEMENTED(get_HWND(SHANDLE_PTR*))
    NOT_IMPLEMENTED(get_FullName(BSTR*))
    NOT_IMPLEMENTED(get_Path(BSTR*))
    NOT_IMPLEMENTED(get_Visible(VARIANT_BOOL*))
    NOT_IMPLEMENTED(put_Visible(VARIANT_BOOL))
    NOT_IMPLEMENTED(get_StatusBar(VARIANT_BOOL*))
    NOT_IMPLEMENTED(put_StatusBar(VARIANT_BOOL))
    NOT_IMPLEMENTED(get_StatusText(BSTR*))
    NOT_IMPLEMENTED(put_StatusText(BSTR))
    NOT_IMPLEMENTED(get_ToolBar(int*))
    NOT_IMPLEMENTED(put_ToolBar(int))
    NOT_IMPLEMENTED(get_MenuBar(VARIANT_BOOL*))
    NOT_IMPLEMENTED(put_MenuBar(VARIANT_BOOL))
    NOT_IMPLEMENTED(get_FullScreen(VARIANT_BOOL*))
    NOT_IMPLEMENTED(put_FullScreen(VARIANT_BOOL))
    NOT_IMPLEMENTED(Navigate2(VARIANT*, VARIANT*, VARIANT*, VARIANT*, VARIANT*))
    NOT_IMPLEMENTED(QueryStatusWB(OLECMDID, OLECMDF*))
    NOT_IMPLEMENTED(ExecWB(OLECMDID, OLECMDEXECOPT, VARIANT*, VARIANT*))
    NOT_IMPLEMENTED(ShowBrowserBar(VARIANT*, VARIANT*, VARIANT*))
    NOT_IMPLEMENTED(get_ReadyState(READYSTATE*))
    NOT_IMPLEMENTED(get_Offline(VARIANT_BOOL*))
    NOT_IMPLEMENTED(put_Offline(VARIANT_BOOL))
    NOT_IMPLEMENTED(get_Silent(VARIANT_BOOL*))
    NOT_IMPLEMENTED(put_Silent(VARIANT_BOOL))
    NOT_IMPLEMENTED(get_RegisterAsBrowser(VARIANT_BOOL*))
    NOT_IMPLEMENTED(put_RegisterAsBrowser(VARIANT_BOOL))
    NOT_IMPLEMENTED(get_RegisterAsDropTarget(VARIANT_BOOL*))
    NOT_IMPLEMENTED(put_RegisterAsDropTarget(VARIANT_BOOL))
    NOT_IMPLEMENTED(get_TheaterMode(VARIANT_BOOL*))
    NOT_IMPLEMENTED(put_TheaterMode(VARIANT_BOOL))
    NOT_IMPLEMENTED(get_AddressBar(VARIANT_BOOL*))
    NOT_IMPLEMENTED(put_AddressBar(VARIANT_BOOL))
    NOT_IMPLEMENTED(get_Resizable(VARIANT_BOOL*))
    NOT_IMPLEMENTED(put_Resizable(VARIANT_BOOL))

private:
    PageInfo page_;
};

#undef NOT_IMPLEMENTED

// A site that is nothing but an object.
class CBareSite final : public IUnknown, Counted {
public:
    explicit CBareSite(BrowserLog* log) : Counted(log) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown)) {
            *out = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return CountedAddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return CountedRelease(); }
};

// A service provider that offers one service by handing out another object: the site leads to
// the top-level browser's provider (SID_STopLevelBrowser), which leads to the browser
// application (SID_SWebBrowserApp). Without a target the service is missing.
class CServiceProvider final : public IServiceProvider, Counted {
public:
    CServiceProvider(REFGUID service, IUnknown* target, BrowserLog* log)
        : Counted(log), service_(service), target_(target) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IServiceProvider)) {
            *out = static_cast<IServiceProvider*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return CountedAddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return CountedRelease(); }

    STDMETHODIMP QueryService(REFGUID service, REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!IsEqualGUID(service, service_) || !target_) return E_NOINTERFACE;
        return target_->QueryInterface(iid, out);
    }

private:
    const GUID service_;
    framework::ComPtr<IUnknown> target_;
};

template <typename Interface, typename Object>
HRESULT HandOut(Object* object, REFIID iid, Interface** out) {
    if (!object) return E_OUTOFMEMORY;
    object->AddRef();
    const HRESULT result = object->QueryInterface(iid, reinterpret_cast<void**>(out));
    object->Release();
    return result;
}

}  // namespace

HRESULT CreateWebBrowser(const PageInfo& page, BrowserLog* log, IWebBrowser2** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    return HandOut(new (std::nothrow) CWebBrowser(page, log), IID_IWebBrowser2, out);
}

HRESULT CreateSite(SiteDepth depth, IWebBrowser2* browser, BrowserLog* log, IUnknown** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    switch (depth) {
        case SiteDepth::NoServiceProvider:
            return HandOut(new (std::nothrow) CBareSite(log), IID_IUnknown, out);
        case SiteDepth::NoTopLevelBrowser:
            return HandOut(new (std::nothrow) CServiceProvider(SID_STopLevelBrowser, nullptr, log),
                           IID_IUnknown, out);
        case SiteDepth::NoWebBrowser:
        case SiteDepth::Full: {
            framework::ComPtr<IServiceProvider> topLevel;
            IUnknown* application = depth == SiteDepth::Full ? browser : nullptr;
            HRESULT result =
                HandOut(new (std::nothrow) CServiceProvider(SID_SWebBrowserApp, application, log),
                        IID_IServiceProvider, topLevel.Receive());
            if (FAILED(result)) return result;
            return HandOut(new (std::nothrow)
                               CServiceProvider(SID_STopLevelBrowser, topLevel.Get(), log),
                           IID_IUnknown, out);
        }
    }
    return E_INVALIDARG;
}

ULONG ReferenceCount(IUnknown* object) {
    object->AddRef();
    return object->Release();
}

}  // namespace test_browser
