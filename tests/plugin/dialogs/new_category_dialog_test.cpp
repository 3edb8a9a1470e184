// The new-category dialog driven by a simulated user: what it hands back to its caller.
#include "plugin/dialogs/new_category_dialog.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/simulated_user.h"

using dialog_testing::SimulatedUser;
using dialog_testing::UserSession;

namespace {

enum class Ending { kOk, kCancel, kEscape };

struct NameCase {
    const char* name;
    std::string typed;
    Ending ending;
    INT_PTR code;
    std::string categoryName;
};

TEST(NewCatagoryDialog, HandsBackTheNameExactlyAsTypedOnlyOnOk) {
    const NameCase cases[] = {
        {"ok with nothing typed", "", Ending::kOk, IDOK, ""},
        {"ok keeps blanks", "  Travel plans  ", Ending::kOk, IDOK, "  Travel plans  "},
        {"ok takes any length", std::string(1000, 'n'), Ending::kOk, IDOK, std::string(1000, 'n')},
        {"cancel after typing", "Travel", Ending::kCancel, IDCANCEL, ""},
        {"escape after typing", "Travel", Ending::kEscape, IDCANCEL, ""},
    };
    for (const NameCase& c : cases) {
        std::string shownAtStart = "unread";
        bool found = false;
        UserSession session([&](SimulatedUser& user) {
            HWND dialog = user.WaitForDialog(L"Add New Catagory");
            found = dialog != nullptr;
            if (!dialog) return;
            shownAtStart = user.Text(dialog, IDC_CATEGORY_NAME);
            user.Type(dialog, IDC_CATEGORY_NAME, c.typed);
            if (c.ending == Ending::kEscape) {
                user.PressEscape(dialog);
                user.WaitUntilClosed(dialog);
            } else {
                user.ClickAndWaitClosed(dialog, c.ending == Ending::kOk ? IDOK : IDCANCEL);
            }
        });
        plugin::CNewCatagoryDlg dialog;
        const INT_PTR code = dialog.DoModal(nullptr);
        EXPECT_EQ(session.LeftOpen(), 0) << c.name;
        EXPECT_TRUE(found) << c.name;
        EXPECT_EQ(shownAtStart, "") << c.name;
        EXPECT_EQ(code, c.code) << c.name;
        EXPECT_EQ(dialog.categoryName, c.categoryName) << c.name;
    }
}

TEST(NewCatagoryDialog, OkButtonHasTheFocusWhenItOpens) {
    HWND focus = nullptr, ok = nullptr;
    UserSession session([&](SimulatedUser& user) {
        HWND dialog = user.WaitForDialog(L"Add New Catagory");
        if (!dialog) return;
        focus = SimulatedUser::Focus(dialog);
        ok = GetDlgItem(dialog, IDOK);
        user.ClickAndWaitClosed(dialog, IDCANCEL);
    });
    plugin::CNewCatagoryDlg dialog;
    dialog.DoModal(nullptr);
    EXPECT_EQ(session.LeftOpen(), 0);
    EXPECT_NE(ok, nullptr);
    EXPECT_EQ(focus, ok);
}

}  // namespace
