// The plug-in when its settings cannot be read or written, or hold values of the wrong type:
// the defaults are used, writes fail without a word, the options dialog still closes.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/settings.h"
#include "plugin/client/tavrello.h"
#include "plugin/dialogs/options_dialog.h"
#include "plugin/dialogs/plugin_ui.h"
#include "tests/faults/restricted_registry.h"
#include "tests/support/simulated_user.h"
#include "tests/support/registry_sandbox.h"

using dialog_testing::RunUntilClosed;
using dialog_testing::SimulatedUser;
using dialog_testing::UserSession;
using faults_testing::RestrictedCurrentUser;
using testing_support::kSettingsKey;
using testing_support::ReadText;
using testing_support::RegistrySandbox;
using testing_support::SetRawValue;

namespace {

class NoMessages : public PluginClientUi {
public:
    void ShowMessage(const std::string& text, const char*) override { shown.push_back(text); }
    bool AskRetry(const std::string& text, const char*) override {
        shown.push_back(text);
        return false;
    }
    void OpenInBrowser(const std::string& url) override { shown.push_back(url); }
    std::vector<std::string> shown;
};

class PluginRegistryFaults : public ::testing::Test {
protected:
    void StoreAccount() {
        WriteRegistryString(HKEY_CURRENT_USER, settings::kSettingsPath, "email", "ann@example.com");
        WriteRegistryString(HKEY_CURRENT_USER, settings::kSettingsPath, "password", "secret");
        WriteRegistryString(HKEY_CURRENT_USER, settings::kSettingsPath, "Tavrello",
                            "http://127.0.0.1:9/");
    }
    std::string StoredThroughScratch(const char* name) {
        return ReadText(sandbox_.Scratch(), kSettingsKey, name);
    }

    // The options dialog with the user typing a new account and pressing OK.
    INT_PTR OptionsOkWithNewAccount(std::string& shownEmail) {
        return RunUntilClosed(
            L"Tavrello Options",
            [&](SimulatedUser& user, HWND dialog) {
                shownEmail = SimulatedUser::Text(dialog, IDC_EMAIL);
                SimulatedUser::Type(dialog, IDC_EMAIL, "bob@example.com");
                SimulatedUser::Type(dialog, IDC_PASSWORD, "new");
                user.ClickAndWaitClosed(dialog, IDOK);
            },
            [] { return COptionsDlg().DoModal(nullptr); });
    }

    RegistrySandbox sandbox_;
};

TEST_F(PluginRegistryFaults, ReadOnlySettingsAreReadAndTheOptionsDialogClosesWithoutWriting) {
    StoreAccount();
    RestrictedCurrentUser readOnly(sandbox_, faults_testing::kReadOnly);
    ASSERT_TRUE(readOnly.Active());
    EXPECT_EQ(WriteRegistryString(HKEY_CURRENT_USER, settings::kSettingsPath, "email", "x"), 0)
        << "the redirected key must refuse writes";
    CTavrello client(std::make_unique<NoMessages>());
    EXPECT_EQ(client.email, "ann@example.com");
    EXPECT_EQ(client.baseUrl, "http://127.0.0.1:9/");

    std::string shown;
    EXPECT_EQ(OptionsOkWithNewAccount(shown), IDOK);
    EXPECT_EQ(shown, "ann@example.com");
    EXPECT_EQ(StoredThroughScratch("email"), "ann@example.com");
    EXPECT_EQ(StoredThroughScratch("password"), "secret");
}

TEST_F(PluginRegistryFaults, UnreadableSettingsGiveTheDefaultsAndTheOptionsDialogStillCloses) {
    StoreAccount();
    RestrictedCurrentUser noRead(sandbox_, faults_testing::kNoAccess);
    ASSERT_TRUE(noRead.Active());
    auto ui = std::make_unique<NoMessages>();
    NoMessages* messages = ui.get();
    CTavrello client(std::move(ui));
    EXPECT_EQ(client.email, "");
    EXPECT_EQ(client.password, "");
    EXPECT_EQ(client.baseUrl, "");

    std::string shown = "?";
    EXPECT_EQ(OptionsOkWithNewAccount(shown), IDOK);
    EXPECT_EQ(shown, "");
    // Without an address nothing can be fetched: the options dialog, then no request at all.
    UserSession cancel([](SimulatedUser& user) {
        HWND dialog = user.WaitForDialog(L"Tavrello Options");
        if (dialog) user.ClickAndWaitClosed(dialog, IDCANCEL);
    });
    EXPECT_EQ(client.FetchCategories(), 0);
    EXPECT_EQ(cancel.LeftOpen(), 0);
    EXPECT_TRUE(messages->shown.empty());
}

TEST_F(PluginRegistryFaults, ValuesOfAnyTypeReadAsTheTextTheirBytesFormAndOverlongOnesAsEmpty) {
    const std::string number("\x2A\x00\x00\x00", 4);
    const std::string multi("a\0b\0\0", 5);
    const struct {
        const char* value;
        DWORD type;
        std::string data;
    } values[] = {
        {"email", REG_DWORD, number},
        {"password", REG_BINARY, "\x01\x02\xFF"},
        {"Tavrello", REG_MULTI_SZ, multi},
    };
    for (const auto& v : values)
        SetRawValue(HKEY_CURRENT_USER, kSettingsKey, v.value, v.type, v.data);
    {
        CTavrello client(std::make_unique<NoMessages>());
        EXPECT_EQ(client.email, "*");
        EXPECT_EQ(client.password, "\x01\x02\xFF");
        EXPECT_EQ(client.baseUrl, "a") << "the first string of a list";
    }
    // Too long for the 255-byte buffer, and a text without its terminating NUL.
    SetRawValue(HKEY_CURRENT_USER, kSettingsKey, "email", REG_SZ, std::string(300, 'e') + '\0');
    SetRawValue(HKEY_CURRENT_USER, kSettingsKey, "password", REG_SZ, "unterminated");
    CTavrello client(std::make_unique<NoMessages>());
    EXPECT_EQ(client.email, "");
    EXPECT_TRUE(client.password == "" || client.password == "unterminated") << client.password;
}

}  // namespace
