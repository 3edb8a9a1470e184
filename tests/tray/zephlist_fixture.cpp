// The peer's socket header must come before the fixture's windows.h.
#include "tests/support/http_peer.h"
#include "tests/support/service_wire.h"

#include "tests/tray/zephlist_fixture.h"

#include <vector>

namespace zephlist_test {

std::string ZephlistPath() {
    const std::string relative = testing_support::TestExecutableFolder() + "..\\bin\\Zephlist.exe";
    char full[MAX_PATH];
    GetFullPathNameA(relative.c_str(), sizeof full, full, nullptr);
    return full;
}

void ClearProgramSettings() {
    RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKey);
    RegDeleteKeyA(HKEY_CURRENT_USER, kSettingsKey);
    HKEY run = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kRunKey, 0, KEY_ALL_ACCESS, &run) == ERROR_SUCCESS) {
        RegDeleteValueA(run, "Tavrello");
        RegCloseKey(run);
    }
}

void SetSetting(const char* name, const std::string& text) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>(text.size() + 1));
    RegCloseKey(key);
}

std::string ReadSetting(const char* name) {
    char buffer[256] = {};
    DWORD size = sizeof buffer - 1;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return "<no key>";
    }
    const LONG status =
        RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? std::string(buffer) : "<missing>";
}

bool RepeatUntil(const std::function<void()>& action, const std::function<bool()>& done) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        action();
        if (testing_support::WaitUntil(done, 2000)) return true;
    }
    return false;
}

void ZephlistProgramTest::SetUp() {
    ClearProgramSettings();
    ASSERT_EQ(FindWindowA(nullptr, kWindowTitle), nullptr)
        << "a copy of the program from an earlier test is still running";
}

void ZephlistProgramTest::TearDown() {
    running_.Kill();
    testing_support::WaitUntil([] { return FindWindowA(nullptr, kWindowTitle) == nullptr; }, 5000);
    ClearProgramSettings();
}

void ZephlistProgramTest::Start(testing_support::ChildProcess& process,
                                const std::string& arguments) {
    const std::string commandLine =
        "\"" + ZephlistPath() + "\"" + (arguments.empty() ? "" : " " + arguments);
    ASSERT_TRUE(process.Start(commandLine)) << commandLine;
}

HWND ZephlistProgramTest::StartTrayCopy(testing_support::ChildProcess& process) {
    Start(process, "");
    return testing_support::WaitForWindow(kWindowTitle, kStartTimeoutMs);
}

DWORD ZephlistProgramTest::RunToEnd(const std::string& arguments, DWORD timeoutMs) {
    testing_support::ChildProcess process;
    Start(process, arguments);
    return process.Wait(timeoutMs);
}

void ServeLoginPage(testing_support::HttpPeer& peer) {
    testing_support::ScriptedReply loginPage;
    loginPage.body = "<html>login</html>";
    peer.Route(testing_support::kLoginPath, loginPage);
    SetSetting("Tavrello", peer.BaseUrl());
}

}  // namespace zephlist_test
