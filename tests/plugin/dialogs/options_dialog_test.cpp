// The options dialog against a sandboxed settings key, driven by a simulated user.
#include "plugin/dialogs/options_dialog.h"

#include <gtest/gtest.h>

#include <string>

#include "common/settings.h"
#include "tests/support/settings_paths.h"
#include "tests/support/simulated_user.h"
#include "tests/support/registry_sandbox.h"

using dialog_testing::DialogActions;
using dialog_testing::RunUntilClosed;
using dialog_testing::SimulatedUser;
using testing_support::KeyExists;
using testing_support::ReadRawValue;
using testing_support::ReadText;
using testing_support::ValueExists;

namespace {

const char kKey[] = "Software\\Orvek\\Tavrello";

class OptionsDialog : public ::testing::Test {
protected:
    // Opens the dialog, lets the user act on it, and returns how it ended.
    INT_PTR Run(const DialogActions& act) {
        return RunUntilClosed(L"Tavrello Options", act,
                              [] { return plugin::COptionsDlg().DoModal(nullptr); });
    }

    static void Store(const char* name, const std::string& text) {
        common::WriteRegistryString(HKEY_CURRENT_USER, testing_support::kSettingsPath, name,
                                    text.c_str());
    }
    static std::string Stored(const char* name) { return ReadText(HKEY_CURRENT_USER, kKey, name); }

    testing_support::RegistrySandbox sandbox_;
};

TEST_F(OptionsDialog, WithoutSettingsKeyShowsEmptyFieldsAndOkStoresTwoEmptyTexts) {
    ASSERT_FALSE(KeyExists(HKEY_CURRENT_USER, kKey));
    std::string email = "unread", password = "unread";
    const INT_PTR code = Run([&](SimulatedUser& user, HWND dialog) {
        email = user.Text(dialog, IDC_EMAIL);
        password = user.Text(dialog, IDC_PASSWORD);
        user.ClickAndWaitClosed(dialog, IDOK);
    });
    EXPECT_EQ(code, IDOK);
    EXPECT_EQ(email, "");
    EXPECT_EQ(password, "");
    for (const char* name : {"email", "password"}) {
        DWORD type = 0;
        std::string data;
        ASSERT_TRUE(ReadRawValue(HKEY_CURRENT_USER, kKey, name, type, data)) << name;
        EXPECT_EQ(type, static_cast<DWORD>(REG_SZ)) << name;
        EXPECT_EQ(Stored(name), "") << name;
    }
}

TEST_F(OptionsDialog, ShowsStoredValuesAndOkStoresWhatWasTyped) {
    Store("email", "ann@example.com");
    Store("password", "old secret");
    std::string email, password;
    const INT_PTR code = Run([&](SimulatedUser& user, HWND dialog) {
        email = user.Text(dialog, IDC_EMAIL);
        password = user.Text(dialog, IDC_PASSWORD);
        user.Type(dialog, IDC_EMAIL, "bo@example.com");
        user.Type(dialog, IDC_PASSWORD, "new & secret");
        user.ClickAndWaitClosed(dialog, IDOK);
    });
    EXPECT_EQ(code, IDOK);
    EXPECT_EQ(email, "ann@example.com");
    EXPECT_EQ(password, "old secret");
    EXPECT_EQ(Stored("email"), "bo@example.com");
    EXPECT_EQ(Stored("password"), "new & secret");
}

TEST_F(OptionsDialog, CancelAndEscapeWriteNothing) {
    struct Case {
        const char* name;
        bool stored;
        bool escape;
    };
    for (const Case& c : {Case{"cancel, no key", false, false}, Case{"cancel, stored", true, false},
                          Case{"escape, stored", true, true}}) {
        testing_support::RegistrySandbox fresh;
        if (c.stored) {
            Store("email", "ann@example.com");
            Store("password", "secret");
        }
        const INT_PTR code = Run([&](SimulatedUser& user, HWND dialog) {
            user.Type(dialog, IDC_EMAIL, "typed@example.com");
            user.Type(dialog, IDC_PASSWORD, "typed");
            if (c.escape) {
                user.PressEscape(dialog);
                user.WaitUntilClosed(dialog);
            } else {
                user.ClickAndWaitClosed(dialog, IDCANCEL);
            }
        });
        EXPECT_EQ(code, IDCANCEL) << c.name;
        if (c.stored) {
            EXPECT_EQ(Stored("email"), "ann@example.com") << c.name;
            EXPECT_EQ(Stored("password"), "secret") << c.name;
        } else {
            EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\Orvek")) << c.name;
        }
    }
}

TEST_F(OptionsDialog, OkStoresAtMost254CharactersOfEachField) {
    const std::string longEmail = std::string(300, 'e');
    const std::string longPassword = std::string(254, 'p') + "XYZ";
    Run([&](SimulatedUser& user, HWND dialog) {
        user.Type(dialog, IDC_EMAIL, longEmail);
        user.Type(dialog, IDC_PASSWORD, longPassword);
        user.ClickAndWaitClosed(dialog, IDOK);
    });
    EXPECT_EQ(Stored("email"), std::string(254, 'e'));
    EXPECT_EQ(Stored("password"), std::string(254, 'p'));
}

TEST_F(OptionsDialog, StoredValueTooLongToReadShowsAnEmptyField) {
    struct Case {
        size_t length;
        bool shown;
    };
    for (const Case& c : {Case{254, true}, Case{255, false}, Case{400, false}}) {
        const std::string value(c.length, 'a');
        Store("email", value);
        Store("password", value);
        std::string email, password;
        Run([&](SimulatedUser& user, HWND dialog) {
            email = user.Text(dialog, IDC_EMAIL);
            password = user.Text(dialog, IDC_PASSWORD);
            user.ClickAndWaitClosed(dialog, IDCANCEL);
        });
        EXPECT_EQ(email, c.shown ? value : "") << c.length;
        EXPECT_EQ(password, c.shown ? value : "") << c.length;
    }
}

TEST_F(OptionsDialog, OkButtonHasTheFocusWhenItOpens) {
    HWND focus = nullptr, ok = nullptr;
    Run([&](SimulatedUser& user, HWND dialog) {
        focus = SimulatedUser::Focus(dialog);
        ok = GetDlgItem(dialog, IDOK);
        user.ClickAndWaitClosed(dialog, IDCANCEL);
    });
    EXPECT_NE(ok, nullptr);
    EXPECT_EQ(focus, ok);
}

}  // namespace
