// One browser command at a time per process. The service client is shared by every browser
// window, whatever thread it runs on, and holds no lock; its dialogs also run nested message
// loops, so a second command could arrive on the same thread while the first is inside them.
// A command that finds the gate taken does not wait: it brings the running command's window
// to the front, where the user is evidently looking for it.
#pragma once

#include <windows.h>

namespace plugin {

class CommandGate {
public:
    CommandGate() = default;
    CommandGate(const CommandGate&) = delete;
    CommandGate& operator=(const CommandGate&) = delete;

    // The thread running a command now, or 0.
    DWORD RunningThread() const noexcept;

    // Held for the length of one command. When another command already runs, Entered() is
    // false and nothing is held.
    class Pass {
    public:
        explicit Pass(CommandGate& gate) noexcept;
        ~Pass();
        Pass(const Pass&) = delete;
        Pass& operator=(const Pass&) = delete;

        bool Entered() const noexcept { return entered_; }

    private:
        CommandGate& gate_;
        bool entered_;
    };

private:
    volatile LONG runningThread_ = 0;
};

// The window that the command running on thread has in front: the thread's active window,
// or else its topmost shown and enabled top-level window. Null when it shows none.
HWND FrontWindowOfThread(DWORD thread) noexcept;

// Brings the front window of thread to the foreground; false when there is none.
bool BringThreadToFront(DWORD thread) noexcept;

}  // namespace plugin
