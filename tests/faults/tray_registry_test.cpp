// The tray program's options dialog when the Run key is missing or the registry refuses
// writes: the dialog closes either way, writes that cannot be made are dropped silently.
#include <gtest/gtest.h>

#include <string>

#include "common/settings.h"
#include "tests/faults/restricted_registry.h"
#include "tests/support/simulated_user.h"
#include "tests/support/registry_sandbox.h"
#include "tray/options_dialog.h"

using dialog_testing::SimulatedUser;
using dialog_testing::UserSession;
using faults_testing::RestrictedCurrentUser;
using testing_support::KeyExists;
using testing_support::ReadText;
using testing_support::RegistrySandbox;
using testing_support::ValueExists;

namespace {

constexpr char kSettingsKey[] = "Software\\Orvek\\Tavrello";
constexpr char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// The options dialog with the autostart box ticked and OK pressed.
INT_PTR TickAutostartAndConfirm() {
    UserSession session([](SimulatedUser& user) {
        HWND dialog = user.WaitForDialog(L"Tavrello - Zephlist Options");
        if (!dialog) return;
        SimulatedUser::Type(dialog, IDC_EMAIL, "bob@example.com");
        SendDlgItemMessageA(dialog, IDC_AUTOSTART, BM_SETCHECK, BST_CHECKED, 0);
        user.ClickAndWaitClosed(dialog, IDOK);
    });
    const INT_PTR result = CTrayOptionsDlg().DoModal(nullptr);
    EXPECT_EQ(session.LeftOpen(), 0) << "the dialog must close";
    return result;
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
        UserSession session([&](SimulatedUser& user) {
            HWND dialog = user.WaitForDialog(L"Tavrello - Zephlist Options");
            if (!dialog) return;
            shown = SimulatedUser::Text(dialog, IDC_EMAIL);
            ticked = SendDlgItemMessageA(dialog, IDC_AUTOSTART, BM_GETCHECK, 0, 0) == BST_CHECKED;
            user.ClickAndWaitClosed(dialog, IDCANCEL);
        });
        EXPECT_EQ(CTrayOptionsDlg().DoModal(nullptr), IDCANCEL);
        EXPECT_EQ(session.LeftOpen(), 0);
    }
    EXPECT_EQ(shown, "");
    EXPECT_FALSE(ticked);
}

}  // namespace
