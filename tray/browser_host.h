// The WebBrowser control of the pop-up: its host window, its IWebBrowser2 and the snapshot of
// the settings it navigates with.
#pragma once

#include <windows.h>
#include <exdisp.h>

#include <string>

#include "framework/com/com_ptr.h"

namespace tray {

class CBrowserHost {
public:
    // Creates the host window with the control over the parent's client area, reads the
    // settings and goes to the login page. When the host window or the control in it cannot
    // be created, no host window is kept and HasBrowser() stays false, so a later call tries
    // again.
    void CreateBrowser(HWND parent, int width, int height);

    // Replaces the snapshot of the e-mail address and the base URL.
    void ReadSettings();

    // Base URL + "zephlist/login.php".
    void NavigateHome();

    // Reloads the current page, by loading its address again where the control holds no page
    // to refresh; nothing without a browser interface.
    void Refresh();

    void Resize(int width, int height);

    bool HasBrowser() const { return hostWindow_ != nullptr; }
    HWND HostWindow() const { return hostWindow_; }
    const std::string& Email() const { return email_; }
    const std::string& BaseUrl() const { return baseUrl_; }

private:
    void Navigate(BSTR url);

    // Destroyed with its parent, the pop-up.
    HWND hostWindow_ = nullptr;
    framework::ComPtr<IWebBrowser2> browser_;
    std::string email_;
    std::string baseUrl_;
};

}  // namespace tray
