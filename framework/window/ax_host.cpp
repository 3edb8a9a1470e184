// The control host window and the small OLE container behind it: one ControlSite per host
// window, answering as client site, in-place site, in-place frame and document host through
// four small interface classes that share the site's reference count.
#include "framework/window/ax_host.h"

#include <mshtmhst.h>
#include <ocidl.h>
#include <ole2.h>

#include <string>
#include <vector>

#include "framework/com/reference_count.h"
#include "framework/window/dpi.h"
#include "framework/window/window.h"

namespace framework {

namespace {

class ControlSite;

// Each interface class forwards IUnknown to the site that embeds it.
#define FORWARD_IUNKNOWN_TO_OWNER                                              \
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override; \
    ULONG STDMETHODCALLTYPE AddRef() override;                                 \
    ULONG STDMETHODCALLTYPE Release() override;

class ClientSite final : public IOleClientSite {
public:
    explicit ClientSite(ControlSite& owner) : owner_(owner) {}
    FORWARD_IUNKNOWN_TO_OWNER

    HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** moniker) override {
        if (moniker) *moniker = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** container) override {
        if (container) *container = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

private:
    ControlSite& owner_;
};

class InPlaceSite final : public IOleInPlaceSite {
public:
    explicit InPlaceSite(ControlSite& owner) : owner_(owner) {}
    FORWARD_IUNKNOWN_TO_OWNER

    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame,
                                               IOleInPlaceUIWindow** document, RECT* position,
                                               RECT* clip, OLEINPLACEFRAMEINFO* info) override;
    HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnPosRectChange(const RECT* position) override;

private:
    ControlSite& owner_;
};

// The host has no menus, tool space or status bar to share with the control.
class InPlaceFrame final : public IOleInPlaceFrame {
public:
    explicit InPlaceFrame(ControlSite& owner) : owner_(owner) {}
    FORWARD_IUNKNOWN_TO_OWNER

    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetBorder(RECT*) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE RequestBorderSpace(const RECT*) override {
        return INPLACE_E_NOTOOLSPACE;
    }
    HRESULT STDMETHODCALLTYPE SetBorderSpace(const RECT*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, OLEMENUGROUPWIDTHS*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG*, WORD) override { return S_FALSE; }

private:
    ControlSite& owner_;
};

// What a hosted browser control asks of its host. The host changes one thing only: a host that
// draws at the display's DPI says so, so that pages are zoomed with the display instead of
// coming out small. Everything else is left to the control: each method gives the documented
// answer for "do what you do without a handler".
class DocHostUiHandler final : public IDocHostUIHandler {
public:
    explicit DocHostUiHandler(ControlSite& owner) : owner_(owner) {}
    FORWARD_IUNKNOWN_TO_OWNER

    HRESULT STDMETHODCALLTYPE ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override {
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE GetHostInfo(DOCHOSTUIINFO* info) override;
    HRESULT STDMETHODCALLTYPE ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*,
                                     IOleInPlaceFrame*, IOleInPlaceUIWindow*) override {
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE HideUI() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE UpdateUI() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, const GUID*, DWORD) override {
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE GetOptionKeyPath(LPOLESTR* key, DWORD) override {
        if (key) *key = nullptr;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE GetDropTarget(IDropTarget*, IDropTarget** replacement) override {
        if (replacement) *replacement = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetExternal(IDispatch** external) override {
        if (external) *external = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE TranslateUrl(DWORD, LPWSTR, LPWSTR* translated) override {
        if (translated) *translated = nullptr;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE FilterDataObject(IDataObject*, IDataObject** replacement) override {
        if (replacement) *replacement = nullptr;
        return S_FALSE;
    }

private:
    ControlSite& owner_;
};

// Lives as long as the host window or a reference the control still holds, whichever is last.
class ControlSite {
public:
    explicit ControlSite(HWND host) : host_(host) {}
    ControlSite(const ControlSite&) = delete;
    ControlSite& operator=(const ControlSite&) = delete;

    HRESULT QueryInterface(REFIID iid, void** out) {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IOleClientSite) {
            *out = static_cast<IOleClientSite*>(&clientSite_);
        } else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite) {
            *out = static_cast<IOleInPlaceSite*>(&inPlaceSite_);
        } else if (iid == IID_IOleInPlaceUIWindow || iid == IID_IOleInPlaceFrame) {
            *out = static_cast<IOleInPlaceFrame*>(&frame_);
        } else if (iid == IID_IDocHostUIHandler) {
            *out = static_cast<IDocHostUIHandler*>(&docHost_);
        } else {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG AddRef() { return references_.AddRef(); }
    ULONG Release() { return references_.Release(this); }

    HWND Host() const { return host_; }
    IOleInPlaceFrame* Frame() { return &frame_; }

    // Creates the control named by `name` (a CLSID in braces or a ProgID) and activates it in
    // place over `area`. False leaves the site without a control.
    bool CreateControl(const std::string& name, const RECT& area) {
        CLSID clsid = {};
        if (!ParseClassName(name, clsid)) return false;
        framework::ComPtr<IOleObject> object;
        if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                    object.ReceiveVoid()))) {
            return false;
        }
        // Some controls need their site before they initialise, others after.
        DWORD miscStatus = 0;
        object->GetMiscStatus(DVASPECT_CONTENT, &miscStatus);
        const bool siteFirst = (miscStatus & OLEMISC_SETCLIENTSITEFIRST) != 0;
        if (siteFirst) object->SetClientSite(&clientSite_);
        framework::ComPtr<IPersistStreamInit> persist;
        if (SUCCEEDED(object->QueryInterface(IID_IPersistStreamInit, persist.ReceiveVoid()))) {
            persist->InitNew();
        }
        if (!siteFirst) object->SetClientSite(&clientSite_);
        object_ = object;
        RECT position = area;
        object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &clientSite_, 0, host_, &position);
        object->QueryInterface(IID_IOleInPlaceObject, inPlaceObject_.ReceiveVoid());
        return true;
    }

    void Resize(int width, int height) {
        const RECT area = {0, 0, width, height};
        SetObjectRects(area);
    }

    void SetObjectRects(const RECT& area) {
        if (inPlaceObject_) inPlaceObject_->SetObjectRects(&area, &area);
    }

    framework::ComPtr<IUnknown> Control() const {
        framework::ComPtr<IUnknown> control;
        if (object_) object_->QueryInterface(IID_IUnknown, control.ReceiveVoid());
        return control;
    }

    // Deactivates, closes and drops the control, and forgets the window that is going away.
    void CloseControl() {
        if (inPlaceObject_) {
            inPlaceObject_->InPlaceDeactivate();
            inPlaceObject_.Reset();
        }
        if (object_) {
            object_->Close(OLECLOSE_NOSAVE);
            object_->SetClientSite(nullptr);
            object_.Reset();
        }
        host_ = nullptr;
    }

private:
    friend class framework::ReferenceCount;
    ~ControlSite() { CloseControl(); }

    static bool ParseClassName(const std::string& name, CLSID& clsid) {
        if (name.empty()) return false;
        std::vector<wchar_t> wide(name.size() + 1, L'\0');
        const int length = MultiByteToWideChar(CP_ACP, 0, name.c_str(), -1, wide.data(),
                                               static_cast<int>(wide.size()));
        if (length <= 0) return false;
        if (wide[0] == L'{') return SUCCEEDED(CLSIDFromString(wide.data(), &clsid));
        return SUCCEEDED(CLSIDFromProgID(wide.data(), &clsid));
    }

    // The host window's reference, given back at WM_NCDESTROY.
    framework::ReferenceCount references_{1};
    HWND host_;
    ClientSite clientSite_{*this};
    InPlaceSite inPlaceSite_{*this};
    InPlaceFrame frame_{*this};
    DocHostUiHandler docHost_{*this};
    framework::ComPtr<IOleObject> object_;
    framework::ComPtr<IOleInPlaceObject> inPlaceObject_;
};

#define DEFINE_FORWARDED_IUNKNOWN(theClass)                                      \
    HRESULT STDMETHODCALLTYPE theClass::QueryInterface(REFIID iid, void** out) { \
        return owner_.QueryInterface(iid, out);                                  \
    }                                                                            \
    ULONG STDMETHODCALLTYPE theClass::AddRef() {                                 \
        return owner_.AddRef();                                                  \
    }                                                                            \
    ULONG STDMETHODCALLTYPE theClass::Release() {                                \
        return owner_.Release();                                                 \
    }

DEFINE_FORWARDED_IUNKNOWN(ClientSite)
DEFINE_FORWARDED_IUNKNOWN(InPlaceSite)
DEFINE_FORWARDED_IUNKNOWN(InPlaceFrame)
DEFINE_FORWARDED_IUNKNOWN(DocHostUiHandler)

HRESULT InPlaceSite::GetWindow(HWND* window) {
    if (!window) return E_POINTER;
    *window = owner_.Host();
    return *window ? S_OK : E_FAIL;
}

HRESULT InPlaceSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                      RECT* position, RECT* clip, OLEINPLACEFRAMEINFO* info) {
    if (!frame || !document || !position || !clip) return E_POINTER;
    *frame = owner_.Frame();
    (*frame)->AddRef();
    *document = nullptr;
    GetClientRect(owner_.Host(), position);
    *clip = *position;
    if (info) {
        info->fMDIApp = FALSE;
        info->hwndFrame = GetAncestor(owner_.Host(), GA_ROOT);
        info->haccel = nullptr;
        info->cAccelEntries = 0;
    }
    return S_OK;
}

HRESULT InPlaceSite::OnPosRectChange(const RECT* position) {
    if (!position) return E_POINTER;
    owner_.SetObjectRects(*position);
    return S_OK;
}

HRESULT InPlaceFrame::GetWindow(HWND* window) {
    if (!window) return E_POINTER;
    *window = owner_.Host() ? GetAncestor(owner_.Host(), GA_ROOT) : nullptr;
    return *window ? S_OK : E_FAIL;
}

HRESULT DocHostUiHandler::GetHostInfo(DOCHOSTUIINFO* info) {
    if (!info || info->cbSize < sizeof(DOCHOSTUIINFO)) return E_INVALIDARG;
    // Zero flags are the control's own defaults (border, scroll bars, themes as it decides).
    info->dwFlags = owner_.Host() && IsDpiAwareWindow(owner_.Host()) ? DOCHOSTUIFLAG_DPI_AWARE : 0;
    info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
    info->pchHostCss = nullptr;
    info->pchHostNS = nullptr;
    return S_OK;
}

ControlSite* SiteOf(HWND host) {
    return reinterpret_cast<ControlSite*>(GetWindowLongPtrA(host, 0));
}

LRESULT HandleHostMessage(HWND host, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_CREATE: {
            auto* site = new ControlSite(host);
            SetWindowLongPtrA(host, 0, reinterpret_cast<LONG_PTR>(site));
            const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
            const std::string name = create->lpszName ? create->lpszName : "";
            // A control that cannot be made leaves an empty host window, not a failed creation.
            site->CreateControl(name, RECT{0, 0, create->cx, create->cy});
            return 0;
        }
        case WM_SIZE:
            if (ControlSite* site = SiteOf(host)) site->Resize(LOWORD(lParam), HIWORD(lParam));
            return 0;
        case WM_DESTROY:
            if (ControlSite* site = SiteOf(host)) site->CloseControl();
            return 0;
        case WM_NCDESTROY:
            if (ControlSite* site = SiteOf(host)) {
                SetWindowLongPtrA(host, 0, 0);
                site->Release();
            }
            return DefWindowProcA(host, msg, wParam, lParam);
        default:
            if (msg == AtlAxGetControlMessage()) {
                ControlSite* site = SiteOf(host);
                return site ? reinterpret_cast<LRESULT>(site->Control().Detach()) : 0;
            }
            return DefWindowProcA(host, msg, wParam, lParam);
    }
}

LRESULT CALLBACK HostWindowProc(HWND host, UINT msg, WPARAM wParam, LPARAM lParam) {
    try {
        return HandleHostMessage(host, msg, wParam, lParam);
    } catch (...) {
        return msg == WM_CREATE ? -1 : 0;
    }
}

bool IsExecutable() {
    return framework::CodeInstance() == GetModuleHandleA(nullptr);
}

}  // namespace

BOOL AtlAxWinInit() {
    AtlAxGetControlMessage();
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    if (GetClassInfoExA(framework::CodeInstance(), kAxHostWindowClass, &windowClass)) return TRUE;
    windowClass.style = IsExecutable() ? CS_GLOBALCLASS : 0;
    windowClass.lpfnWndProc = &HostWindowProc;
    windowClass.cbWndExtra = sizeof(LONG_PTR);
    windowClass.hInstance = framework::CodeInstance();
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kAxHostWindowClass;
    return RegisterClassExA(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

UINT AtlAxGetControlMessage() {
    static const UINT message = RegisterWindowMessageA("WM_ATLGETCONTROL");
    return message;
}

HRESULT AtlAxGetControl(HWND host, IUnknown** control) {
    if (!control) return E_POINTER;
    *control = reinterpret_cast<IUnknown*>(SendMessageA(host, AtlAxGetControlMessage(), 0, 0));
    return *control ? S_OK : E_FAIL;
}

framework::ComPtr<IUnknown> HostedControl(HWND host) {
    IUnknown* control = nullptr;
    AtlAxGetControl(host, &control);
    return framework::ComPtr<IUnknown>::Attach(control);
}

}  // namespace framework
