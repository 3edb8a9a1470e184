// The tray program's options dialog when the Run key is missing or the registry refuses
// writes: the dialog closes either way, and writes that cannot be made are said in one message.
#include <gtest/gtest.h>

#include <string>

#include "common/settings.h"
#include "tests/faults/restricted_registry.h"
#include "tests/support/settings_paths.h"
#include "tests/support/simulated_user.h"
#include "tests/support/registry_sandbox.h"
#include "tests/tray/tray_options_run.h"

using dialog_testing::SimulatedUser;
using faults_testing::ConfirmAndReadMessage;
using faults_testing::RestrictedCurrentUser;
using testing_support::KeyExists;
using testing_support::kRunKey;
using testing_support::kSettingsKey;
using testing_support::ReadText;
using testing_support::ValueExists;

namespace {

class TrayRegistryFaults : public ::testing::Test {
protected:
    void TearDown() override {
        // An account the key refused stays with the process until a store succeeds.
        common::StoreAccount({"", ""});
    }

    testing_support::RegistrySandbox sandbox_;
};

// The options dialog with the autostart box ticked and OK pressed.
INT_PTR TickAutostartAndConfirm() {
    return tray_testing::RunTrayOptions([](SimulatedUser& user, HWND dialog) {
        SimulatedUser::Type(dialog, IDC_EMAIL, "bob@example.com");
        SendDlgItemMessageA(dialog, IDC_AUTOSTART, BM_SETCHECK, BST_CHECKED, 0);
        user.ClickAndWaitClosed(dialog, IDOK);
    });
}

TEST_F(TrayRegistryFaults, MissingRunKeyIsCreatedForTheAutostartEntry) {
    ASSERT_FALSE(KeyExists(HKEY_CURRENT_USER, kRunKey));
    EXPECT_EQ(TickAutostartAndConfirm(), IDOK);
    EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, kRunKey, "Tavrello"));
    EXPECT_EQ(ReadText(HKEY_CURRENT_USER, kSettingsKey, "email"), "bob@example.com");
}

// What the registry refuses is said in one message; what it takes is stored.
TEST_F(TrayRegistryFaults, RefusedWritesAreSaidInOneMessageAndTheRestIsStored) {
    const struct {
        const char* readOnlyKey;
        const char* said;
        const char* email;
        bool runKeyAbsent;  // nothing below a read-only Software key is made
    } cases[] = {
        {"Software",
         "Your e-mail address and password could not be saved. Zephlist uses them until it "
         "exits.\nThe start at log-in could not be changed.",
         "ann@example.com", true},
        {kRunKey, "The start at log-in could not be changed.", "bob@example.com", false},
    };
    common::WriteRegistryString(HKEY_CURRENT_USER, testing_support::kSettingsPath, "email",
                                "ann@example.com");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.readOnlyKey);
        std::string said;
        {
            RestrictedCurrentUser readOnly(sandbox_, faults_testing::kReadOnly, c.readOnlyKey);
            ASSERT_TRUE(readOnly.Active());
            EXPECT_EQ(tray_testing::RunTrayOptions([&](SimulatedUser& user, HWND dialog) {
                          SimulatedUser::Type(dialog, IDC_EMAIL, "bob@example.com");
                          SendDlgItemMessageA(dialog, IDC_AUTOSTART, BM_SETCHECK, BST_CHECKED, 0);
                          said = ConfirmAndReadMessage(user, dialog, L"Zephlist");
                      }),
                      IDOK);
        }
        EXPECT_EQ(said, c.said);
        EXPECT_EQ(ReadText(HKEY_CURRENT_USER, kSettingsKey, "email"), c.email);
        EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, kRunKey, "Tavrello"));
        if (c.runKeyAbsent) {
            EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kRunKey));
        }
    }
}

TEST_F(TrayRegistryFaults, UnreadableRegistryShowsEmptyFieldsAndTheDialogCloses) {
    common::WriteRegistryString(HKEY_CURRENT_USER, testing_support::kSettingsPath, "email",
                                "ann@example.com");
    common::WriteRegistryString(HKEY_CURRENT_USER, testing_support::kRunPath, "Tavrello",
                                "C:\\Zephlist.exe");
    std::string shown = "?";
    bool ticked = true;
    {
        RestrictedCurrentUser noRead(sandbox_, faults_testing::kNoAccess);
        ASSERT_TRUE(noRead.Active());
        EXPECT_EQ(tray_testing::RunTrayOptions([&](SimulatedUser& user, HWND dialog) {
                      shown = SimulatedUser::Text(dialog, IDC_EMAIL);
                      ticked = SendDlgItemMessageA(dialog, IDC_AUTOSTART, BM_GETCHECK, 0, 0) ==
                               BST_CHECKED;
                      user.ClickAndWaitClosed(dialog, IDCANCEL);
                  }),
                  IDCANCEL);
    }
    EXPECT_EQ(shown, "");
    EXPECT_FALSE(ticked);
}

}  // namespace
