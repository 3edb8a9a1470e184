// One running copy per log-on: a named mutex marks it, and later starts signal it by posting a
// menu command to its window.
#pragma once

#include <windows.h>

#include "framework/handles.h"

namespace tray {

// The named mutex of the running copy. Only its prior existence is tested; it is never waited on.
class SingleInstanceMutex {
public:
    explicit SingleInstanceMutex(const char* name);

    // True when another process had created the mutex before this one.
    bool ExistedBefore() const { return existedBefore_; }
    void Close() { mutex_.Reset(); }

private:
    framework::KernelHandle mutex_;
    bool existedBefore_ = false;
};

// The class of the pop-up window, by which later starts and setup find the running copy.
constexpr const char kPopupWindowClass[] = "ZephlistPopup";

// Posts WM_COMMAND(command) to the first top-level window of our pop-up's class titled
// "Zephlist" (another window of that title, a folder window say, is passed over); nothing is sent
// when there is none, and nothing waits for the running copy to react.
void PostToRunningInstance(WORD command);

}  // namespace tray
