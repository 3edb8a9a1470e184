// Waiting for a sign while the calling thread keeps serving its own windows: a control, dialog or
// COM object on this thread that has work queued does it while the test waits for its outcome.
#pragma once

#include <windows.h>

namespace testing_support {

// Generous bound for a sign that should come in milliseconds: a sign that never comes fails
// the test, one that comes late only slows it.
constexpr DWORD kSignTimeoutMs = 30000;

// Dispatches every message waiting for this thread.
inline void PumpWaitingMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

// Polls until predicate() holds; false on time-out. Serves this thread's messages meanwhile and
// wakes as soon as a new one arrives.
template <typename Predicate>
bool WaitUntil(Predicate predicate, DWORD timeoutMs = kSignTimeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (predicate()) return true;
        if (GetTickCount() - start > timeoutMs) return false;
        PumpWaitingMessages();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

}  // namespace testing_support
