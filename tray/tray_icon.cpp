#include "tray/tray_icon.h"

#include <cstring>

namespace tray {

namespace {
constexpr UINT kIconId = 1;
constexpr const char kTip[] = "Tavrello";
}  // namespace

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

void TrayIcon::AddAgain() {
    Delete();
    Add();
}

UINT TrayIcon::TaskbarCreatedMessage() {
    return RegisterWindowMessageA("TaskbarCreated");
}

}  // namespace tray
