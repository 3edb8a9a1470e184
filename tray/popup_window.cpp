#include "tray/popup_window.h"

#include <string>

#include "common/form_encoding.h"
#include "common/launcher.h"
#include "common/settings.h"
#include "framework/window/dpi.h"
#include "tray/about_dialog.h"
#include "tray/command_line.h"
#include "tray/options_dialog.h"
#include "tray/single_instance.h"
#include "tray/window_size.h"

namespace tray {

namespace {
constexpr const char kWindowTitle[] = "Zephlist";
constexpr const char kPersonalPage[] = "plugin/zephlist.php?email=";
}  // namespace

CPopupWnd::CPopupWnd()
    : menu_(LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_TRAYMENU))),
      taskbarCreatedMessage_(TrayIcon::TaskbarCreatedMessage()) {
    const StartFlags flags = ParseFlags(GetCommandLineA());
    quickMode = flags.quickMode;
    unloadRequest = flags.unloadRequest;
}

CPopupWnd::~CPopupWnd() = default;

framework::WindowClassOptions CPopupWnd::WindowClassOptions() {
    framework::WindowClassOptions options;
    options.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    options.cursor = IDC_ARROW;
    options.background = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    options.name = kPopupWindowClass;
    return options;
}

bool CPopupWnd::CreatePopup() {
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    // The corner is the primary monitor's, so the window opens at that monitor's DPI.
    const int dpi = static_cast<int>(
        framework::MonitorDpi(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY)));
    const std::string stored = common::ReadPopupSize();
    const PopupRect rect =
        PopupRectangle(PopupSizeFromStored(stored, screenWidth, screenHeight, dpi), screenWidth,
                       screenHeight, dpi);
    const RECT windowRect{rect.left, rect.top, rect.right, rect.bottom};
    if (!Create(nullptr, windowRect, kWindowTitle,
                WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_THICKFRAME, 0)) {
        return false;
    }
    // A tool window gets neither a taskbar button nor an Alt+Tab entry.
    SetWindowLongA(m_hWnd, GWL_EXSTYLE, WS_EX_TOOLWINDOW);
    if (quickMode) ShowPopup();
    return true;
}

void CPopupWnd::ShowPopup() {
    ShowWindow(SW_SHOWNORMAL);
    SetWindowPos(HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetActiveWindow(m_hWnd);
    SetForegroundWindow(m_hWnd);
}

void CPopupWnd::EnsureBrowser() {
    if (browser_.HasBrowser()) return;
    const RECT client = GetClientRect();
    browser_.CreateBrowser(m_hWnd, client.right - client.left, client.bottom - client.top);
}

void CPopupWnd::ShowTrayMenu() {
    POINT cursor{};
    GetCursorPos(&cursor);
    // Without the foreground the menu would not close when the user clicks elsewhere.
    SetForegroundWindow(m_hWnd);
    TrackPopupMenu(GetSubMenu(menu_.Get(), 0), TPM_BOTTOMALIGN | TPM_CENTERALIGN | TPM_RIGHTBUTTON,
                   cursor.x, cursor.y, 0, m_hWnd, nullptr);
    PostMessage(WM_NULL);
}

void CPopupWnd::AddTrayIcon() {
    trayIcon_ = std::make_unique<TrayIcon>(m_hWnd, WM_TRAYNOTIFY, LoadTrayIcon(m_hWnd));
    trayIcon_->Add();
}

void CPopupWnd::DeleteTrayIcon() {
    trayIcon_.reset();
}

void CPopupWnd::HideOnDeactivation() {
    ShowWindow(SW_HIDE);
    if (quickMode) PostQuitMessage(0);
}

LRESULT CPopupWnd::OnSize(UINT, WPARAM, LPARAM lParam, BOOL&) {
    browser_.Resize(LOWORD(lParam), HIWORD(lParam));
    const RECT outer = GetWindowRect();
    const int dpi = static_cast<int>(framework::WindowDpi(m_hWnd));
    common::StorePopupSize(
        FormatStoredSize({outer.right - outer.left, outer.bottom - outer.top}, dpi));
    return 1;
}

LRESULT CPopupWnd::OnActivateApp(UINT, WPARAM wParam, LPARAM, BOOL&) {
    if (wParam == 0) HideOnDeactivation();
    return 0;
}

LRESULT CPopupWnd::OnShowWindow(UINT, WPARAM wParam, LPARAM, BOOL&) {
    if (wParam != 0) EnsureBrowser();
    return 0;
}

LRESULT CPopupWnd::OnEraseBackground(UINT, WPARAM, LPARAM, BOOL&) {
    return 1;
}

LRESULT CPopupWnd::OnClose(UINT, WPARAM, LPARAM, BOOL&) {
    // Destroying the window would leave the program running without it: hide instead.
    HideOnDeactivation();
    return 0;
}

LRESULT CPopupWnd::OnTrayNotify(UINT, WPARAM, LPARAM lParam, BOOL&) {
    switch (lParam) {
        case WM_LBUTTONDOWN:
            ShowPopup();
            break;
        case WM_RBUTTONDOWN:
            ShowTrayMenu();
            break;
        default:
            break;
    }
    return 1;
}

LRESULT CPopupWnd::OnTaskbarCreated(UINT, WPARAM, LPARAM, BOOL&) {
    if (trayIcon_) trayIcon_->AddAgain(LoadTrayIcon(m_hWnd));
    return 0;
}

LRESULT CPopupWnd::OnDpiChanged(UINT, WPARAM, LPARAM lParam, BOOL&) {
    // The system's rectangle is the window scaled to the new DPI, so the WM_SIZE that follows
    // stores the same size in 96-DPI units as before.
    if (const auto* suggested = reinterpret_cast<const RECT*>(lParam)) {
        SetWindowPos(nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (trayIcon_) trayIcon_->ChangeIcon(LoadTrayIcon(m_hWnd));
    return 0;
}

LRESULT CPopupWnd::OnCommandAbout(WORD, WORD, HWND, BOOL&) {
    CAboutDlg about;
    about.DoModal(GetActiveWindow());
    return 1;
}

LRESULT CPopupWnd::OnCommandHome(WORD, WORD, HWND, BOOL&) {
    ShowPopup();
    browser_.NavigateHome();
    return 1;
}

LRESULT CPopupWnd::OnCommandRefresh(WORD, WORD, HWND, BOOL&) {
    ShowPopup();
    browser_.Refresh();
    return 1;
}

LRESULT CPopupWnd::OnCommandMyPage(WORD, WORD, HWND, BOOL&) {
    EnsureBrowser();
    // The address is a query value: "ann+news@example.com" must reach the service intact.
    const std::string url =
        browser_.BaseUrl() + kPersonalPage + common::FormEncode(browser_.Email());
    common::OpenInDefaultBrowser(url.c_str());
    return 1;
}

LRESULT CPopupWnd::OnCommandSite(WORD, WORD, HWND, BOOL&) {
    EnsureBrowser();
    common::OpenInDefaultBrowser(browser_.BaseUrl().c_str());
    return 1;
}

LRESULT CPopupWnd::OnCommandOptions(WORD, WORD, HWND, BOOL&) {
    CTrayOptionsDlg options;
    options.DoModal(GetActiveWindow());
    // Whichever button closed it: the stored account may have changed either way.
    EnsureBrowser();
    browser_.ReadSettings();
    browser_.Refresh();
    return 1;
}

LRESULT CPopupWnd::OnCommandExit(WORD, WORD, HWND, BOOL&) {
    PostQuitMessage(0);
    return 1;
}

}  // namespace tray
