// The tray program's options dialog when the Run key is missing or the registry refuses
// writes: the dialog closes either way, writes that cannot be made are dropped silently.
#include <gtest/gtest.h>

#include <string>

#include "common/settings.h"
#include "tests/faults/restricted_registry.h"
#include "tests/support/simulated_user.h"
#include "tests/support/registry_sandbox.h"
#include "tray/options_dialog.h"

using dialog_testing::DialogActions;
using dialog_testing::DialogRun;
using dialog_testing::RunWithUser;
using dialog_testing::SimulatedUser;
using faults_testing::RestrictedCurrentUser;
using testing_support::KeyExists;
using testing_support::kRunKey;
using testing_support::kSettingsKey;
using testing_support::ReadText;
using testing_support::RegistrySandbox;
using testing_support::ValueExists;

namespace {

// The options dialog with the user's actions; they must close it.
INT_PTR RunOptions(const DialogActions& actions) {
    const DialogRun run = RunWithUser(L"Tavrello - Zephlist Options", actions,
                                      [] { return CTrayOptionsDlg().DoModal(nullptr); });
    EXPECT_TRUE(run.shown);
    EXPECT_EQ(run.leftOpen, 0) << "the dialog must close";
    return run.result;
}

// The options dialog with the autostart box ticked and OK pressed.
INT_PTR TickAutostartAndConfirm() {
    return RunOptions([](SimulatedUser& user, HWND dialog) {
        SimulatedUser::Type(dialog, IDC_EMAIL, "bob@example.com");
        SendDlgItemMessageA(dialog, IDC_AUTOSTART, BM_SETCHECK, BST_CHECKED, 0);
        user.ClickAndWaitClosed(dialog, IDOK);
    });
}

TEST(TrayRegistryFaults, MissingRunKeyIsCreatedForTheAutostartEntry) {
    RegistrySandbox sandbox;
    ASSERT_FALSE(KeyExists(HKEY_CURRENT_USER, kRunKey));
    EXPECT_EQ(TickAutostartAndConfirm(), IDOK);
    EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, kRunKey, "Tavrello"));
    EXPECT_EQ(ReadText(HKEY_CURRENT_USER, kSettingsKey, "email"), "bob@example.com");
}

TEST(TrayRegistryFaults, ReadOnlyRegistryDropsEveryWriteAndTheDialogCloses) {
    RegistrySandbox sandbox;
    WriteRegistryString(HKEY_CURRENT_USER, settings::kSettingsPath, "email", "ann@example.com");
    {
        RestrictedCurrentUser readOnly(sandbox, faults_testing::kReadOnly);
        ASSERT_TRUE(readOnly.Active());
        EXPECT_EQ(TickAutostartAndConfirm(), IDOK);
    }
    EXPECT_EQ(ReadText(HKEY_CURRENT_USER, kSettingsKey, "email"), "ann@example.com");
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kRunKey));
}

TEST(TrayRegistryFaults, UnreadableRegistryShowsEmptyFieldsAndTheDialogCloses) {
    RegistrySandbox sandbox;
    WriteRegistryString(HKEY_CURRENT_USER, settings::kSettingsPath, "email", "ann@example.com");
    WriteRegistryString(HKEY_CURRENT_USER, settings::kRunPath, "Tavrello", "C:\\Zephlist.exe");
    std::string shown = "?";
    bool ticked = true;
    {
        RestrictedCurrentUser noRead(sandbox, faults_testing::kNoAccess);
        ASSERT_TRUE(noRead.Active());
        EXPECT_EQ(RunOptions([&](SimulatedUser& user, HWND dialog) {
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
