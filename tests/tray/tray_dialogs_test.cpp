// The tray program's options and About dialogs, run from the program's own templates and
// driven by a simulated user, with HKEY_CURRENT_USER redirected to a scratch key.
#include "tray/about_dialog.h"

#include "tests/support/message_wait.h"
#include "tests/support/registry_sandbox.h"
#include "tests/support/settings_paths.h"
#include "tests/support/simulated_user.h"
#include "resources/version.h"
#include "tests/tray/tray_options_run.h"

#include <gtest/gtest.h>

#include <string>

#include "common/settings.h"

using dialog_testing::DialogActions;
using dialog_testing::SimulatedUser;
using testing_support::kRunKey;
using testing_support::kSettingsKey;
using testing_support::ReadText;
using testing_support::RegistrySandbox;
using testing_support::ValueExists;

namespace {

constexpr wchar_t kAboutCaption[] = L"About Zephlist";

std::string QuotedTestProgramPath() {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof path);
    return std::string("\"") + path + "\"";
}

class TrayOptionsDialog : public ::testing::Test {
protected:
    static INT_PTR Run(const DialogActions& actions) {
        return tray_testing::RunTrayOptions(actions);
    }

    static bool Checked(HWND dialog) {
        return SendDlgItemMessageA(dialog, IDC_AUTOSTART, BM_GETCHECK, 0, 0) == BST_CHECKED;
    }

    RegistrySandbox sandbox_;
};

TEST_F(TrayOptionsDialog, NoSettingsKeyShowsEmptyFieldsAndOkWritesTwoEmptyTexts) {
    std::string email = "?", password = "?";
    bool ticked = true;
    EXPECT_EQ(Run([&](SimulatedUser& user, HWND dialog) {
                  email = user.Text(dialog, IDC_EMAIL);
                  password = user.Text(dialog, IDC_PASSWORD);
                  ticked = Checked(dialog);
                  user.ClickAndWaitClosed(dialog, IDOK);
              }),
              IDOK);
    EXPECT_EQ(email, "");
    EXPECT_EQ(password, "");
    EXPECT_FALSE(ticked);
    EXPECT_EQ(ReadText(HKEY_CURRENT_USER, kSettingsKey, "email"), "");
    EXPECT_EQ(ReadText(HKEY_CURRENT_USER, kSettingsKey, "password"), "");
    EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, kRunKey, "Tavrello"));
}

TEST_F(TrayOptionsDialog, ShowsTheStoredAccountAndOkStoresWhatWasTyped) {
    common::WriteRegistryString(HKEY_CURRENT_USER, testing_support::kSettingsPath, "email",
                                "ann@example.com");
    common::WriteRegistryString(HKEY_CURRENT_USER, testing_support::kSettingsPath, "password",
                                "old");
    std::string shownEmail, shownPassword;
    Run([&](SimulatedUser& user, HWND dialog) {
        shownEmail = user.Text(dialog, IDC_EMAIL);
        shownPassword = user.Text(dialog, IDC_PASSWORD);
        user.Type(dialog, IDC_EMAIL, "bob+tag@example.com");
        user.Type(dialog, IDC_PASSWORD, "p&ss=w%rd");
        user.ClickAndWaitClosed(dialog, IDOK);
    });
    EXPECT_EQ(shownEmail, "ann@example.com");
    EXPECT_EQ(shownPassword, "old");
    EXPECT_EQ(ReadText(HKEY_CURRENT_USER, kSettingsKey, "email"), "bob+tag@example.com");
    EXPECT_EQ(ReadText(HKEY_CURRENT_USER, kSettingsKey, "password"), "p&ss=w%rd");
}

TEST_F(TrayOptionsDialog, CancelAndEscapeWriteNothing) {
    EXPECT_EQ(Run([](SimulatedUser& user, HWND dialog) {
                  user.Type(dialog, IDC_EMAIL, "x@example.com");
                  SendDlgItemMessageA(dialog, IDC_AUTOSTART, BM_SETCHECK, BST_CHECKED, 0);
                  user.ClickAndWaitClosed(dialog, IDCANCEL);
              }),
              IDCANCEL);
    EXPECT_EQ(Run([](SimulatedUser& user, HWND dialog) {
                  user.Type(dialog, IDC_EMAIL, "y@example.com");
                  user.PressEscape(dialog);
                  user.WaitUntilClosed(dialog);
              }),
              IDCANCEL);
    EXPECT_FALSE(testing_support::KeyExists(HKEY_CURRENT_USER, "Software"));
}

TEST_F(TrayOptionsDialog, LongTextsAreCutTo254AndAnOverlongStoredValueShowsEmpty) {
    common::WriteRegistryString(HKEY_CURRENT_USER, testing_support::kSettingsPath, "email",
                                std::string(255, 'e').c_str());
    std::string shown = "?";
    Run([&](SimulatedUser& user, HWND dialog) {
        shown = user.Text(dialog, IDC_EMAIL);
        user.Type(dialog, IDC_EMAIL, std::string(300, 'a'));
        user.Type(dialog, IDC_PASSWORD, std::string(300, 'b'));
        user.ClickAndWaitClosed(dialog, IDOK);
    });
    EXPECT_EQ(shown, "");
    EXPECT_EQ(ReadText(HKEY_CURRENT_USER, kSettingsKey, "email"), std::string(254, 'a'));
    EXPECT_EQ(ReadText(HKEY_CURRENT_USER, kSettingsKey, "password"), std::string(254, 'b'));
}

// A quoted path of that many characters, as the dialog writes for a program that deep.
std::string QuotedPathOfLength(size_t length) {
    const std::string head = "\"C:\\";
    const std::string tail = "\\Zephlist.exe\"";
    return head + std::string(length - head.size() - tail.size(), 'd') + tail;
}

// Any non-empty entry ticks the box. OK writes the quoted path in place of one the dialog could
// read (up to MAX_PATH - 1 characters, 261 in all); an entry too long for the dialog to read is
// still the user's entry, and OK leaves it as it is, unless the user cleared the box.
TEST_F(TrayOptionsDialog, AnyNonEmptyAutostartEntryTicksTheBoxAndOkWritesTheQuotedPath) {
    enum Outcome { kRewritten, kKept, kDeleted };
    const struct {
        std::string entry;
        Outcome outcome;  // kDeleted: the user clears the box before OK
    } cases[] = {{"C:\\elsewhere.exe", kRewritten},
                 {QuotedPathOfLength(253), kRewritten},
                 {QuotedPathOfLength(255), kRewritten},
                 {QuotedPathOfLength(259), kRewritten},
                 {QuotedPathOfLength(MAX_PATH + 1), kRewritten},
                 {QuotedPathOfLength(MAX_PATH + 2), kKept},
                 {QuotedPathOfLength(1000), kKept},
                 {QuotedPathOfLength(1000), kDeleted}};
    for (const auto& example : cases) {
        SCOPED_TRACE(testing::Message() << example.entry.size() << " " << example.outcome);
        common::WriteRegistryString(HKEY_CURRENT_USER, testing_support::kRunPath, "Tavrello",
                                    example.entry.c_str());
        bool ticked = false;
        Run([&](SimulatedUser& user, HWND dialog) {
            ticked = Checked(dialog);
            if (example.outcome == kDeleted) user.Click(dialog, IDC_AUTOSTART);
            user.ClickAndWaitClosed(dialog, IDOK);
        });
        EXPECT_TRUE(ticked);
        if (example.outcome == kKept) {
            EXPECT_TRUE(ReadText(HKEY_CURRENT_USER, kRunKey, "Tavrello") == example.entry)
                << "the entry must stay whole";
        } else if (example.outcome == kDeleted) {
            EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, kRunKey, "Tavrello"));
        } else {
            // Quoted, so that a path with blanks can never start C:\Program.exe.
            EXPECT_EQ(ReadText(HKEY_CURRENT_USER, kRunKey, "Tavrello"), QuotedTestProgramPath());
        }
    }
}

TEST_F(TrayOptionsDialog, EmptyAutostartEntryLeavesTheBoxClear) {
    common::WriteRegistryString(HKEY_CURRENT_USER, testing_support::kRunPath, "Tavrello", "");
    bool ticked = true;
    Run([&](SimulatedUser& user, HWND dialog) {
        ticked = Checked(dialog);
        user.ClickAndWaitClosed(dialog, IDCANCEL);
    });
    EXPECT_FALSE(ticked);
}

TEST_F(TrayOptionsDialog, TickingTheBoxWritesTheEntryAndClearingItDeletesOnlyThatValue) {
    common::WriteRegistryString(HKEY_CURRENT_USER, testing_support::kRunPath, "Other", "keep.exe");
    Run([](SimulatedUser& user, HWND dialog) {
        user.Click(dialog, IDC_AUTOSTART);
        user.ClickAndWaitClosed(dialog, IDOK);
    });
    EXPECT_EQ(ReadText(HKEY_CURRENT_USER, kRunKey, "Tavrello"), QuotedTestProgramPath());

    bool ticked = false;
    Run([&](SimulatedUser& user, HWND dialog) {
        ticked = Checked(dialog);
        user.Click(dialog, IDC_AUTOSTART);
        user.ClickAndWaitClosed(dialog, IDOK);
    });
    EXPECT_TRUE(ticked);
    EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, kRunKey, "Tavrello"));
    EXPECT_EQ(ReadText(HKEY_CURRENT_USER, kRunKey, "Other"), "keep.exe");
}

struct ExpectedControl {
    int id;
    const char* windowClass;
    const char* text;
    RECT units;  // left, top, width, height in dialog units
};

// Every control's class, text and rectangle against the template's dialog units.
void ExpectControls(HWND dialog, const ExpectedControl* controls, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const ExpectedControl& expected = controls[i];
        SCOPED_TRACE(expected.id);
        HWND control = GetDlgItem(dialog, expected.id);
        ASSERT_NE(control, nullptr);
        char windowClass[64] = {};
        GetClassNameA(control, windowClass, sizeof windowClass);
        EXPECT_STRCASEEQ(windowClass, expected.windowClass);
        EXPECT_EQ(SimulatedUser::Text(dialog, expected.id), expected.text);
        // The dialog manager converts position and size separately, so map them that way.
        RECT pixels = expected.units;
        MapDialogRect(dialog, &pixels);
        const RECT actual = SimulatedUser::RectInDialog(dialog, control);
        EXPECT_EQ(actual.left, pixels.left);
        EXPECT_EQ(actual.top, pixels.top);
        EXPECT_EQ(actual.right - actual.left, pixels.right);
        EXPECT_EQ(actual.bottom - actual.top, pixels.bottom);
    }
}

TEST_F(TrayOptionsDialog, TemplateHoldsTheControlsWhereTheyBelong) {
    const ExpectedControl controls[] = {
        {IDOK, "Button", "OK", {180, 6, 50, 16}},
        {IDCANCEL, "Button", "Cancel", {180, 25, 50, 16}},
        {IDC_EMAIL, "Edit", "", {12, 25, 156, 14}},
        {IDC_PASSWORD, "Edit", "", {12, 60, 156, 14}},
        {IDC_AUTOSTART,
         "Button",
         "Automatically Start Zephlist when you log in",
         {12, 84, 174, 10}},
    };
    LONG style = 0, passwordStyle = 0, checkStyle = 0;
    Run([&](SimulatedUser& user, HWND dialog) {
        ExpectControls(dialog, controls, sizeof controls / sizeof *controls);
        style = GetWindowLongA(dialog, GWL_STYLE);
        passwordStyle = GetWindowLongA(GetDlgItem(dialog, IDC_PASSWORD), GWL_STYLE);
        checkStyle = GetWindowLongA(GetDlgItem(dialog, IDC_AUTOSTART), GWL_STYLE);
        user.ClickAndWaitClosed(dialog, IDCANCEL);
    });
    EXPECT_TRUE(style & WS_CAPTION);
    EXPECT_FALSE(style & WS_SYSMENU) << "no system menu, no close box";
    EXPECT_TRUE(passwordStyle & ES_PASSWORD);
    EXPECT_EQ(checkStyle & BS_TYPEMASK, BS_AUTOCHECKBOX);
}

class AboutDialog : public ::testing::Test {
protected:
    INT_PTR Run(const DialogActions& actions) {
        return RunUntilClosed(kAboutCaption, actions,
                              [] { return tray::CAboutDlg().DoModal(nullptr); });
    }
};

TEST_F(AboutDialog, ClosesOnOk) {
    EXPECT_EQ(Run([](SimulatedUser& user, HWND dialog) {
                  EXPECT_TRUE(user.ClickAndWaitClosed(dialog, IDOK));
              }),
              IDOK);
}

TEST_F(AboutDialog, ClosesOnEnterButNotOnEscape) {
    bool escapeHandled = false;
    bool closedByEscape = true;
    EXPECT_EQ(Run([&](SimulatedUser& user, HWND dialog) {
                  HWND ok = GetDlgItem(dialog, IDOK);
                  user.PressEscape(dialog);
                  // The dialog's thread takes posted messages in order: once the button shows
                  // the highlight posted after the key, the key has been handled.
                  PostMessageA(ok, BM_SETSTATE, TRUE, 0);
                  escapeHandled = testing_support::WaitUntil([&] {
                      return !IsWindow(dialog) ||
                             (SendMessageA(ok, BM_GETSTATE, 0, 0) & BST_PUSHED);
                  });
                  closedByEscape = !IsWindow(dialog);
                  SendMessageA(ok, BM_SETSTATE, FALSE, 0);
                  PostMessageA(ok, WM_KEYDOWN, VK_RETURN, 0x001C0001);
                  EXPECT_TRUE(user.WaitUntilClosed(dialog));
              }),
              IDOK);
    EXPECT_TRUE(escapeHandled);
    EXPECT_FALSE(closedByEscape);
}

TEST_F(AboutDialog, ShowsTheProgramNameAndVersion) {
    std::string texts;
    Run([&](SimulatedUser& user, HWND dialog) {
        for (HWND child = GetWindow(dialog, GW_CHILD); child;
             child = GetWindow(child, GW_HWNDNEXT)) {
            char text[128] = {};
            GetWindowTextA(child, text, sizeof text);
            texts += std::string(text) + "|";
        }
        user.ClickAndWaitClosed(dialog, IDOK);
    });
    EXPECT_NE(texts.find("Tavrello - Zephlist " ZEPHLIST_RELEASE_TEXT "|"), std::string::npos)
        << texts;
    EXPECT_NE(texts.find(TAVRELLO_COPYRIGHT "|"), std::string::npos) << texts;
    EXPECT_NE(texts.find("For more information about this program go to "), std::string::npos);
}

}  // namespace
