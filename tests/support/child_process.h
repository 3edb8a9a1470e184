// A program under test started as a real process; killed if it is still running when the
// object goes.
#pragma once

#include <windows.h>

#include <string>

#include "tests/support/message_wait.h"

namespace testing_support {

class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // commandLine holds the program path (quoted when it has blanks) and the arguments.
    bool Start(const std::string& commandLine);
    // The exit code, or STILL_ACTIVE when the process has not ended within timeoutMs.
    DWORD Wait(DWORD timeoutMs);
    bool Running() const;
    DWORD Id() const { return processId_; }
    void Kill();

private:
    HANDLE process_ = nullptr;
    DWORD processId_ = 0;
};

// The folder of the running test executable, with a trailing backslash.
std::string TestExecutableFolder();

// Polls for a top-level window with this exact title (of any process); null on time-out.
HWND WaitForWindow(const char* title, DWORD timeoutMs);

}  // namespace testing_support
