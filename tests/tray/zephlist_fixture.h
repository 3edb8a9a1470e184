// Runs the real Zephlist.exe as a process in the test prefix. The program reads the prefix's
// own HKEY_CURRENT_USER, so the fixture clears the program's settings before and after each test.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "tests/support/child_process.h"
#include "tests/support/registry_sandbox.h"

namespace testing_support {
class HttpPeer;
}

namespace zephlist_test {

using testing_support::kRunKey;
using testing_support::kSettingsKey;
constexpr char kWindowTitle[] = "Zephlist";
constexpr DWORD kStartTimeoutMs = 15000;

// The program beside the test folder: build/bin/Zephlist.exe.
std::string ZephlistPath();

void ClearProgramSettings();
void SetSetting(const char* name, const std::string& text);
std::string ReadSetting(const char* name);
// Makes peer serve the login page and the program's base URL point at it (read when the
// browser is created, at the first show).
void ServeLoginPage(testing_support::HttpPeer& peer);

// Repeats action until done() holds: up to five times, waiting two seconds after each. Under
// Wine the display's focus events of an earlier activation can arrive late and hide the pop-up
// again right after a command showed it (seen in a fresh prefix: a show after a hide was
// undone at once); a user would simply click again.
bool RepeatUntil(const std::function<void()>& action, const std::function<bool()>& done);

class ZephlistProgramTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the program with these arguments; fails the test when it cannot start.
    void Start(testing_support::ChildProcess& process, const std::string& arguments);
    // Starts a copy in tray mode and waits until its (hidden) window exists.
    HWND StartTrayCopy(testing_support::ChildProcess& process);
    // Runs the program to its end and returns the exit code.
    DWORD RunToEnd(const std::string& arguments, DWORD timeoutMs = kStartTimeoutMs);

    testing_support::ChildProcess running_;
};

}  // namespace zephlist_test
