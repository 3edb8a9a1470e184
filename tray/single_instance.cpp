#include "tray/single_instance.h"

#include <cstring>

namespace tray {

namespace {

constexpr const char kRunningWindowTitle[] = "Zephlist";

BOOL CALLBACK PostToMatchingWindow(HWND window, LPARAM command) {
    char title[80];
    char windowClass[64];
    if (GetWindowTextA(window, title, sizeof title) > 0 &&
        std::strcmp(title, kRunningWindowTitle) == 0 &&
        GetClassNameA(window, windowClass, sizeof windowClass) > 0 &&
        std::strcmp(windowClass, kPopupWindowClass) == 0) {
        PostMessageA(window, WM_COMMAND, static_cast<WPARAM>(command), 0);
        return FALSE;
    }
    return TRUE;
}

}  // namespace

SingleInstanceMutex::SingleInstanceMutex(const char* name)
    : mutex_(CreateMutexA(nullptr, FALSE, name)) {
    // A mutex that cannot be created leaves a last error other than "already exists", and the
    // program then runs as the first copy.
    existedBefore_ = GetLastError() == ERROR_ALREADY_EXISTS;
}

void PostToRunningInstance(WORD command) {
    EnumWindows(PostToMatchingWindow, static_cast<LPARAM>(command));
}

}  // namespace tray
