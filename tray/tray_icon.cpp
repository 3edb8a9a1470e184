#include "tray/tray_icon.h"

#include <cstring>

namespace {
constexpr UINT kIconId = 1;
constexpr const char kTip[] = "Tavrello";
}  // namespace

TrayIcon::TrayIcon(HWND owner, UINT callbackMessage, IconHandle icon) : icon_(std::move(icon)) {
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
    added_ = Shell_NotifyIconA(NIM_ADD, &record_) != FALSE;
    return added_;
}

void TrayIcon::Delete() {
    if (!added_) return;
    Shell_NotifyIconA(NIM_DELETE, &record_);
    added_ = false;
}

void TrayIcon::AddAgain() {
    Shell_NotifyIconA(NIM_DELETE, &record_);
    added_ = false;
    Add();
}

UINT TrayIcon::TaskbarCreatedMessage() {
    return RegisterWindowMessageA("TaskbarCreated");
}
