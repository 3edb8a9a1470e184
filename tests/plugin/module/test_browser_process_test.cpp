// The stand-in browser program as a process of its own: COM loads Corvane.dll into it from the
// prefix's registration, the DLL reads the user's settings, and the command runs to the peer.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <string>

#include "resources/plugin/resource.h"
#include "tests/plugin/module/corvane_fixture.h"
#include "tests/support/child_process.h"
#include "tests/support/service_wire.h"
#include "tests/support/http_peer.h"
#include "tests/support/registry_sandbox.h"

using testing_support::kAddUrlPath;

namespace {

constexpr char kSettingsPath[] = "Software\\Orvek\\Tavrello";

// The prefix user's settings for the length of a test: the child process reads the real key,
// so the values it had before are put back afterwards.
class PrefixSettings {
public:
    PrefixSettings(const std::string& email, const std::string& password, const std::string& url) {
        Keep("email", email);
        Keep("password", password);
        Keep("Tavrello", url);
    }
    ~PrefixSettings() {
        for (const Saved& saved : saved_) {
            if (saved.existed) {
                testing_support::SetRawValue(HKEY_CURRENT_USER, kSettingsPath, saved.name,
                                             saved.type, saved.data);
            } else {
                HKEY key = nullptr;
                if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsPath, 0, KEY_SET_VALUE, &key) ==
                    ERROR_SUCCESS) {
                    RegDeleteValueA(key, saved.name.c_str());
                    RegCloseKey(key);
                }
            }
        }
    }

private:
    struct Saved {
        std::string name;
        bool existed = false;
        DWORD type = REG_SZ;
        std::string data;
    };

    void Keep(const std::string& name, const std::string& value) {
        Saved saved;
        saved.name = name;
        saved.existed = testing_support::ReadRawValue(HKEY_CURRENT_USER, kSettingsPath, name,
                                                      saved.type, saved.data);
        saved_.push_back(saved);
        testing_support::SetRawValue(HKEY_CURRENT_USER, kSettingsPath, name, REG_SZ, value + '\0');
    }

    std::vector<Saved> saved_;
};

std::string TestBrowserPath() {
    const std::string dll = module_testing::CorvanePath();
    return dll.substr(0, dll.rfind('\\') + 1) + "TestBrowser.exe";
}

TEST(TestBrowserProgram, AddsThePageNamedOnItsCommandLine) {
    ASSERT_EQ(GetACP(), 1252u) << "the title below is Windows-1252 text";
    testing_support::HttpPeer peer;
    testing_support::RouteAcceptingService(peer, "3 Cartoons\n");
    PrefixSettings settings("jerry@cartoons.test", "mouse hole", peer.BaseUrl());
    module_testing::PrefixRegistration registration;
    ASSERT_EQ(registration.ExitCode(), 0u);

    const std::string title = "Tom & Jerry \x97 Caf\xe9";
    const std::string url = "http://127.0.0.1:9/show.php?id=7&part=2";
    testing_support::ChildProcess browser;
    ASSERT_TRUE(browser.Start("\"" + TestBrowserPath() + "\" \"" + url + "\" \"" + title + "\""));
    HWND dialog = testing_support::WaitForWindow("Add to Tavrello.com", 20000);
    ASSERT_NE(dialog, nullptr);
    // The window exists before its initialisation has filled it; it is shown after that.
    ASSERT_TRUE(
        testing_support::WaitUntil([&] { return IsWindowVisible(dialog) != FALSE; }, 20000));
    char description[128] = {};
    GetDlgItemTextA(dialog, IDC_DESCRIPTION, description, sizeof description);
    EXPECT_EQ(std::string(description), title);
    PostMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    EXPECT_EQ(browser.Wait(20000), 0u) << "Exec returned S_OK";

    const auto adds = peer.RequestsTo(kAddUrlPath);
    ASSERT_EQ(adds.size(), 1u);
    const auto fields = testing_support::DecodeForm(adds[0].body);
    EXPECT_EQ(fields.at("email"), "jerry@cartoons.test");
    EXPECT_EQ(fields.at("password"), "mouse hole");
    EXPECT_EQ(fields.at("name"), title);
    EXPECT_EQ(fields.at("url"), url);
    EXPECT_EQ(fields.at("parent"), "-1");
}

}  // namespace
