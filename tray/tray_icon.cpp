#include "tray/tray_icon.h"

#include <cstring>

#include "framework/module_instance.h"
#include "framework/window/dpi.h"
#include "resources/tray/resource.h"

namespace tray {

namespace {
constexpr UINT kIconId = 1;
constexpr const char kTip[] = "Tavrello";
}  // namespace

framework::IconHandle LoadTrayIcon(HWND window) {
    const int size = framework::SystemMetricForDpi(SM_CXSMICON, framework::WindowDpi(window));
    return framework::LoadModuleIcon(GetModuleHandleA(nullptr), IDI_TRAY, size);
}

TrayIcon::TrayIcon(HWND owner, UINT callbackMessage, framework::IconHandle icon)
    : icon_(std::move(icon)) {
    // The first, 88-byte form of the record: understood by every shell version.
    std::memset(&record_, 0, sizeof record_);
    record_.cbSize = NOTIFYICONDATAA_V1_SIZE;
    record_.hWnd = owner;
    record_.uID = kIconId;
    record_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    record_.uCallbackMessage = callbackMessage;
    record_.hIcon = icon_.Get();
    std::strncpy(record_.szTip, kTip, sizeof record_.szTip - 1);
}

TrayIcon::~TrayIcon() {
    Delete();
}

bool TrayIcon::Add() {
    return Shell_NotifyIconA(NIM_ADD, &record_) != FALSE;
}

void TrayIcon::Delete() {
    // Also after an add that reported failure: the shell may hold the icon all the same (an add
    // that timed out, or one that met an icon of ours still there), and it must not outlive us.
    Shell_NotifyIconA(NIM_DELETE, &record_);
}

void TrayIcon::AddAgain(framework::IconHandle icon) {
    Delete();
    const framework::IconHandle old = ReplaceIcon(std::move(icon));
    Add();
}

void TrayIcon::ChangeIcon(framework::IconHandle icon) {
    const framework::IconHandle old = ReplaceIcon(std::move(icon));
    Shell_NotifyIconA(NIM_MODIFY, &record_);
}

framework::IconHandle TrayIcon::ReplaceIcon(framework::IconHandle icon) {
    framework::IconHandle old = std::move(icon_);
    icon_ = std::move(icon);
    record_.hIcon = icon_.Get();
    return old;
}

UINT TrayIcon::TaskbarCreatedMessage() {
    return RegisterWindowMessageA("TaskbarCreated");
}

}  // namespace tray
