#include "plugin/module/command_gate.h"

namespace plugin {

DWORD CommandGate::RunningThread() const noexcept {
    return static_cast<DWORD>(
        InterlockedCompareExchange(const_cast<volatile LONG*>(&runningThread_), 0, 0));
}

CommandGate::Pass::Pass(CommandGate& gate) noexcept
    : gate_(gate),
      entered_(InterlockedCompareExchange(&gate.runningThread_,
                                          static_cast<LONG>(GetCurrentThreadId()), 0) == 0) {}

CommandGate::Pass::~Pass() {
    if (entered_) InterlockedExchange(&gate_.runningThread_, 0);
}

namespace {

BOOL CALLBACK TakeFirstUsableWindow(HWND window, LPARAM found) {
    // A window disabled by a modal child of its own (a message box over the dialog) is not
    // the one in front; the child comes first in the thread's z-order anyway.
    if (!IsWindowVisible(window) || !IsWindowEnabled(window)) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

}  // namespace

HWND FrontWindowOfThread(DWORD thread) noexcept {
    if (thread == 0) return nullptr;
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (GetGUIThreadInfo(thread, &info) && info.hwndActive && IsWindowVisible(info.hwndActive) &&
        IsWindowEnabled(info.hwndActive)) {
        return info.hwndActive;
    }
    HWND found = nullptr;
    EnumThreadWindows(thread, &TakeFirstUsableWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

bool BringThreadToFront(DWORD thread) noexcept {
    HWND window = FrontWindowOfThread(thread);
    if (!window) return false;
    if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
    SetForegroundWindow(window);
    return true;
}

}  // namespace plugin
