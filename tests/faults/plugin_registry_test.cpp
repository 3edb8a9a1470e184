// The plug-in when its settings cannot be read or written, or hold values of the wrong type:
// the defaults are used; an account the key refuses is said once and used for the rest of the
// process; the options dialog still closes.
// The test peer needs winsock2.h ahead of windows.h.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/settings.h"
#include "plugin/client/tavrello.h"
#include "plugin/dialogs/add_favorite_dialog.h"
#include "plugin/dialogs/options_dialog.h"
#include "plugin/dialogs/plugin_ui.h"
#include "tests/faults/restricted_registry.h"
#include "tests/support/http_peer.h"
#include "tests/support/service_wire.h"
#include "tests/support/settings_paths.h"
#include "tests/support/simulated_user.h"
#include "tests/support/registry_sandbox.h"

using dialog_testing::RunUntilClosed;
using dialog_testing::SimulatedUser;
using dialog_testing::UserSession;
using faults_testing::ConfirmAndReadMessage;
using faults_testing::RestrictedCurrentUser;
using testing_support::DecodeForm;
using testing_support::HttpPeer;
using testing_support::kCategoriesPath;
using testing_support::kSettingsKey;
using testing_support::ReadText;
using testing_support::RegistrySandbox;
using testing_support::ScriptedReply;
using testing_support::SetRawValue;

namespace {

constexpr char kNotSaved[] =
    "Your e-mail address and password could not be saved, so they are used only until the "
    "browser closes. Zephlist's Options saves them for every browser window.";

class NoMessages : public plugin::PluginClientUi {
public:
    // The plug-in's module registers the tree's class when loaded; no module is here.
    NoMessages() { plugin::RegisterTreeViewClass(); }
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
    // The account, and the base URL given (by default a port where nothing listens).
    void StoreAccount(const std::string& baseUrl = "http://127.0.0.1:9/") {
        common::WriteRegistryString(HKEY_CURRENT_USER, testing_support::kSettingsPath, "email",
                                    "ann@example.com");
        common::WriteRegistryString(HKEY_CURRENT_USER, testing_support::kSettingsPath, "password",
                                    "secret");
        common::WriteRegistryString(HKEY_CURRENT_USER, testing_support::kSettingsPath, "Tavrello",
                                    baseUrl.c_str());
    }
    std::string StoredThroughScratch(const char* name) {
        return ReadText(sandbox_.Scratch(), kSettingsKey, name);
    }

    // The options dialog with the user typing a new account and pressing OK; message receives
    // what the dialog then said.
    INT_PTR OptionsOkWithNewAccount(std::string& shownEmail, std::string& message) {
        return RunUntilClosed(
            L"Tavrello Options",
            [&](SimulatedUser& user, HWND dialog) {
                shownEmail = SimulatedUser::Text(dialog, IDC_EMAIL);
                TypeNewAccount(dialog);
                HWND owner = dialog;
                message = ConfirmAndReadMessage(user, dialog, L"Error", &owner);
                if (owner != nullptr) message = "(a message owned by a window)";
            },
            [] { return plugin::COptionsDlg().DoModal(nullptr); });
    }

    static void TypeNewAccount(HWND dialog) {
        SimulatedUser::Type(dialog, IDC_EMAIL, "bob@example.com");
        SimulatedUser::Type(dialog, IDC_PASSWORD, "new");
    }

    void TearDown() override {
        // An account the key refused stays with the process until a store succeeds.
        common::StoreAccount({"", ""});
    }

    RegistrySandbox sandbox_;
};

// Protected mode: the browser runs the plug-in where the settings key refuses every write. A
// refusal must not send the user round the options dialog for ever.
TEST_F(PluginRegistryFaults, RefusedAccountIsSaidOnceAndUsedForTheRestOfTheProcess) {
    HttpPeer peer;
    StoreAccount(peer.BaseUrl());
    ScriptedReply refused;
    refused.body = "401 Unknown account\n";
    peer.Queue(kCategoriesPath, refused);
    ScriptedReply categories;
    categories.body = "200 OK\n12 Work\n";
    peer.Route(kCategoriesPath, categories);
    RestrictedCurrentUser readOnly(sandbox_, faults_testing::kReadOnly);
    ASSERT_TRUE(readOnly.Active());
    auto ui = std::make_unique<NoMessages>();
    NoMessages* messages = ui.get();
    plugin::CTavrello client(std::move(ui));

    std::string said;
    const dialog_testing::DialogRun run = dialog_testing::RunWithUser(
        L"Tavrello Options",
        [&](SimulatedUser& user, HWND dialog) {
            TypeNewAccount(dialog);
            said = ConfirmAndReadMessage(user, dialog, L"Error");
        },
        [&] { return static_cast<INT_PTR>(client.FetchCategories()); });
    EXPECT_EQ(run.result, 1) << "the command goes on with the typed account";
    EXPECT_EQ(run.leftOpen, 0);
    EXPECT_EQ(said, kNotSaved);
    EXPECT_EQ(messages->shown, std::vector<std::string>{"Unknown account"});
    const auto requests = peer.RequestsTo(kCategoriesPath);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(DecodeForm(requests[1].body).at("email"), "bob@example.com");
    EXPECT_EQ(DecodeForm(requests[1].body).at("password"), "new");
    EXPECT_EQ(StoredThroughScratch("email"), "ann@example.com");

    // Opened again in this process, the dialog shows what was typed, not what is stored.
    std::string shownEmail, shownPassword;
    RunUntilClosed(
        L"Tavrello Options",
        [&](SimulatedUser& user, HWND dialog) {
            shownEmail = SimulatedUser::Text(dialog, IDC_EMAIL);
            shownPassword = SimulatedUser::Text(dialog, IDC_PASSWORD);
            user.ClickAndWaitClosed(dialog, IDCANCEL);
        },
        [] { return plugin::COptionsDlg().DoModal(nullptr); });
    EXPECT_EQ(shownEmail, "bob@example.com");
    EXPECT_EQ(shownPassword, "new");
}

// A settings key that can be read but not written gives its values; one that cannot be read
// gives the defaults. Either way the options dialog says so and closes, and nothing is written.
TEST_F(PluginRegistryFaults, RestrictedSettingsAreReadAsFarAsTheyCanBeAndTheDialogCloses) {
    const struct {
        const char* accessList;
        const char* email;
        const char* password;
        const char* baseUrl;
    } cases[] = {
        {faults_testing::kReadOnly, "ann@example.com", "secret", "http://127.0.0.1:9/"},
        {faults_testing::kNoAccess, "", "", ""},
    };
    StoreAccount();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.accessList);
        {
            RestrictedCurrentUser restricted(sandbox_, c.accessList);
            ASSERT_TRUE(restricted.Active());
            EXPECT_EQ(common::WriteRegistryString(HKEY_CURRENT_USER, testing_support::kSettingsPath,
                                                  "email", "x"),
                      0)
                << "the redirected key must refuse writes";
            auto ui = std::make_unique<NoMessages>();
            NoMessages* messages = ui.get();
            plugin::CTavrello client(std::move(ui));
            EXPECT_EQ(client.email, c.email);
            EXPECT_EQ(client.password, c.password);
            EXPECT_EQ(client.baseUrl, c.baseUrl);

            std::string shown = "?", message;
            EXPECT_EQ(OptionsOkWithNewAccount(shown, message), IDOK);
            EXPECT_EQ(shown, c.email);
            EXPECT_EQ(message, kNotSaved);
            if (*c.baseUrl == '\0') {
                // Without an address nothing can be fetched: the options dialog, then no
                // request at all.
                UserSession cancel([](SimulatedUser& user) {
                    HWND dialog = user.WaitForDialog(L"Tavrello Options");
                    if (dialog) user.ClickAndWaitClosed(dialog, IDCANCEL);
                });
                EXPECT_EQ(client.FetchCategories(), 0);
                EXPECT_EQ(cancel.LeftOpen(), 0);
            }
            EXPECT_TRUE(messages->shown.empty());
        }
        EXPECT_EQ(StoredThroughScratch("email"), "ann@example.com");
        EXPECT_EQ(StoredThroughScratch("password"), "secret");
        common::StoreAccount({"", ""});  // the account the key refused goes with the row
        StoreAccount();
    }
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
        plugin::CTavrello client(std::make_unique<NoMessages>());
        EXPECT_EQ(client.email, "*");
        EXPECT_EQ(client.password, "\x01\x02\xFF");
        EXPECT_EQ(client.baseUrl, "a") << "the first string of a list";
    }
    // Too long for the 255-byte buffer, and a text without its terminating NUL.
    SetRawValue(HKEY_CURRENT_USER, kSettingsKey, "email", REG_SZ, std::string(300, 'e') + '\0');
    SetRawValue(HKEY_CURRENT_USER, kSettingsKey, "password", REG_SZ, "unterminated");
    plugin::CTavrello client(std::make_unique<NoMessages>());
    EXPECT_EQ(client.email, "");
    EXPECT_TRUE(client.password == "" || client.password == "unterminated") << client.password;
}

// The kept account is only a stand-in for the key: once another program (Zephlist's Options, as
// the message advises) stores an account, that one is read again.
TEST_F(PluginRegistryFaults, AccountStoredElsewhereAfterARefusalIsTheOneTheNextRequestCarries) {
    HttpPeer peer;
    StoreAccount(peer.BaseUrl());
    ScriptedReply categories;
    categories.body = "200 OK\n12 Work\n";
    peer.Route(kCategoriesPath, categories);
    {
        RestrictedCurrentUser readOnly(sandbox_, faults_testing::kReadOnly);
        ASSERT_TRUE(readOnly.Active());
        EXPECT_FALSE(common::StoreAccount({"bob@typo", "typo"}));
        EXPECT_EQ(common::ReadAccount().email, "bob@typo") << "kept while the key is unchanged";
    }
    ASSERT_GT(common::WriteRegistryString(HKEY_CURRENT_USER, testing_support::kSettingsPath,
                                          "email", "bob@fixed"),
              0);
    ASSERT_GT(common::WriteRegistryString(HKEY_CURRENT_USER, testing_support::kSettingsPath,
                                          "password", "fixed"),
              0);
    ASSERT_EQ(StoredThroughScratch("email"), "bob@fixed");
    auto ui = std::make_unique<NoMessages>();
    NoMessages* messages = ui.get();
    plugin::CTavrello client(std::move(ui));
    ASSERT_EQ(client.FetchCategories(), 1);
    const auto requests = peer.RequestsTo(kCategoriesPath);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(DecodeForm(requests[0].body).at("email"), "bob@fixed");
    EXPECT_EQ(DecodeForm(requests[0].body).at("password"), "fixed");
    EXPECT_TRUE(messages->shown.empty()) << "nothing more is said";
    // The key's old values coming back do not bring the kept account back either.
    StoreAccount();
    EXPECT_EQ(common::ReadAccount().email, "ann@example.com");
}

}  // namespace
