// The favorites pop-up: a captionless, resizable tool window near the lower-right corner that
// hosts the browser control. It also receives the icon's callbacks, the menu commands and the
// commands a second start posts.
#pragma once

#include <windows.h>

#include <memory>

#include "framework/handles.h"
#include "framework/window/window.h"
#include "resources/tray/resource.h"
#include "tray/browser_host.h"
#include "tray/tray_icon.h"

namespace tray {

// WM_DPICHANGED, which headers for Windows 7 leave out.
constexpr UINT kDpiChangedMessage = 0x02E0;

class CPopupWnd : public framework::CWindowImpl<CPopupWnd> {
public:
    // Loads the context menu and reads the switches from the process command line.
    CPopupWnd();
    ~CPopupWnd() override;

    static framework::WindowClassOptions WindowClassOptions();

    // Creates the window hidden (shown at once in quick mode), anchored at the lower-right
    // corner of the primary monitor with the stored size, both scaled to that monitor's DPI.
    bool CreatePopup();
    // Shows the window topmost, active and in the foreground.
    void ShowPopup();
    // Creates the browser control on first use.
    void EnsureBrowser();
    // The context menu at the cursor.
    void ShowTrayMenu();

    // The notification-area icon; not in quick mode.
    void AddTrayIcon();
    void DeleteTrayIcon();

    bool quickMode = false;
    bool unloadRequest = false;

    BEGIN_MSG_MAP(CPopupWnd)
    MESSAGE_HANDLER(WM_SIZE, OnSize)
    MESSAGE_HANDLER(WM_ACTIVATEAPP, OnActivateApp)
    MESSAGE_HANDLER(WM_SHOWWINDOW, OnShowWindow)
    MESSAGE_HANDLER(WM_ERASEBKGND, OnEraseBackground)
    MESSAGE_HANDLER(WM_CLOSE, OnClose)
    MESSAGE_HANDLER(WM_TRAYNOTIFY, OnTrayNotify)
    MESSAGE_HANDLER(taskbarCreatedMessage_, OnTaskbarCreated)
    MESSAGE_HANDLER(kDpiChangedMessage, OnDpiChanged)
    COMMAND_ID_HANDLER(ID_ABOUT, OnCommandAbout)
    COMMAND_ID_HANDLER(ID_HOME, OnCommandHome)
    COMMAND_ID_HANDLER(ID_REFRESH, OnCommandRefresh)
    COMMAND_ID_HANDLER(ID_MYPAGE, OnCommandMyPage)
    COMMAND_ID_HANDLER(ID_SITE, OnCommandSite)
    COMMAND_ID_HANDLER(ID_OPTIONS, OnCommandOptions)
    COMMAND_ID_HANDLER(ID_EXIT, OnCommandExit)
    END_MSG_MAP()

private:
    LRESULT OnSize(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled);
    LRESULT OnActivateApp(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled);
    LRESULT OnShowWindow(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled);
    LRESULT OnEraseBackground(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled);
    LRESULT OnClose(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled);
    LRESULT OnTrayNotify(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled);
    LRESULT OnTaskbarCreated(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled);
    LRESULT OnDpiChanged(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled);

    LRESULT OnCommandAbout(WORD code, WORD id, HWND control, BOOL& handled);
    LRESULT OnCommandHome(WORD code, WORD id, HWND control, BOOL& handled);
    LRESULT OnCommandRefresh(WORD code, WORD id, HWND control, BOOL& handled);
    LRESULT OnCommandMyPage(WORD code, WORD id, HWND control, BOOL& handled);
    LRESULT OnCommandSite(WORD code, WORD id, HWND control, BOOL& handled);
    LRESULT OnCommandOptions(WORD code, WORD id, HWND control, BOOL& handled);
    LRESULT OnCommandExit(WORD code, WORD id, HWND control, BOOL& handled);

    // Hides the window; in quick mode that also ends the program.
    void HideOnDeactivation();

    framework::MenuHandle menu_;
    CBrowserHost browser_;
    std::unique_ptr<TrayIcon> trayIcon_;
    const UINT taskbarCreatedMessage_;
};

}  // namespace tray
