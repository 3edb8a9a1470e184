#include "tray/browser_host.h"

#include "common/settings.h"
#include "framework/window/ax_host.h"
#include "framework/com/bstr.h"

namespace tray {

namespace {

constexpr const char kWebBrowserClsid[] = "{8856f961-340a-11d0-a96b-00c04fd705a2}";
constexpr const char kLoginPage[] = "zephlist/login.php";

}  // namespace

void CBrowserHost::CreateBrowser(HWND parent, int width, int height) {
    ReadSettings();
    hostWindow_ =
        CreateWindowExA(0, framework::kAxHostWindowClass, kWebBrowserClsid,
                        WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0, width,
                        height, parent, nullptr, GetModuleHandleA(nullptr), nullptr);
    browser_.Reset();
    if (hostWindow_) {
        const framework::ComPtr<IUnknown> control = framework::HostedControl(hostWindow_);
        if (control) {
            control.QueryInterface(browser_);
        } else {
            // The host outlives a control that failed to start, as an empty child window. Drop
            // it, so that the pop-up counts as having no browser and the next show tries again.
            DestroyWindow(hostWindow_);
            hostWindow_ = nullptr;
        }
    }
    NavigateHome();
}

void CBrowserHost::ReadSettings() {
    email_ = common::ReadAccount().email;
    baseUrl_ = common::ReadBaseUrl();
}

void CBrowserHost::NavigateHome() {
    if (!browser_) return;
    const framework::Bstr url = framework::BstrFromAnsi(baseUrl_ + kLoginPage);
    Navigate(url.Get());
}

void CBrowserHost::Refresh() {
    if (!browser_ || SUCCEEDED(browser_->Refresh())) return;
    // The control refreshes only a page it holds: after a failed load (the service was out of
    // reach) it has none, and the address is loaded again instead.
    framework::Bstr url;
    if (SUCCEEDED(browser_->get_LocationURL(url.Receive())) && SysStringLen(url.Get()) > 0) {
        Navigate(url.Get());
    }
}

void CBrowserHost::Navigate(BSTR url) {
    // The optional arguments are absent: no flags, frame, post data or headers.
    VARIANT absent;
    VariantInit(&absent);
    browser_->Navigate(url, &absent, &absent, &absent, &absent);
}

void CBrowserHost::Resize(int width, int height) {
    if (hostWindow_) {
        SetWindowPos(hostWindow_, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER);
    }
}

}  // namespace tray
