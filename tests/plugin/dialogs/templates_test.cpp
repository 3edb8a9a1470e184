// The dialog templates read back from the live dialogs in both languages: captions, fonts,
// each control's id, class, style, text and rectangle in dialog units, and the tab order.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "plugin/dialogs/add_favorite_dialog.h"
#include "plugin/dialogs/new_category_dialog.h"
#include "plugin/dialogs/options_dialog.h"
#include "tests/support/simulated_user.h"
#include "tests/support/registry_sandbox.h"

using dialog_testing::DanishThread;
using dialog_testing::SimulatedUser;
using dialog_testing::UserSession;

namespace {

enum class Kind { kEdit, kPassword, kDefaultButton, kButton, kTree, kLabel, kIcon };

struct Control {
    int id;
    Kind kind;
    std::wstring text;
    RECT units;  // x, y, width, height as written in the template
};

struct Layout {
    const char* name;
    std::wstring caption;
    const char* font;
    int width, height;  // dialog units
    std::vector<Control> controls;
};

constexpr int kNone = -1;

RECT Units(int x, int y, int width, int height) {
    return {x, y, width, height};
}

const wchar_t kPageTitle[] = L"A page title";
const wchar_t kPageAddress[] = L"http://127.0.0.1/page.htm";

Layout EnglishAddFavorite() {
    return {"203 English",
            L"Add to Tavrello.com",
            "MS Shell Dlg",
            267,
            233,
            {{201, Kind::kEdit, kPageTitle, Units(6, 78, 190, 14)},
             {213, Kind::kEdit, kPageAddress, Units(6, 48, 192, 14)},
             {1, Kind::kDefaultButton, L"OK", Units(210, 6, 50, 14)},
             {2, Kind::kButton, L"Cancel", Units(210, 24, 50, 14)},
             {212, Kind::kButton, L"Help", Units(210, 42, 50, 14)},
             {206, Kind::kButton, L"Options", Units(147, 24, 50, 14)},
             {202, Kind::kButton, L"Create in <<", Units(210, 78, 50, 14)},
             {208, Kind::kButton, L"New Category", Units(210, 108, 50, 14)},
             {209, Kind::kButton, L"Refresh", Units(210, 126, 50, 14)},
             {207, Kind::kTree, L"", Units(6, 108, 192, 120)},
             {kNone, Kind::kLabel, L"Description", Units(6, 66, 36, 8)},
             {kNone, Kind::kIcon, L"", Units(6, 6, 20, 20)},
             {203, Kind::kLabel, L"Add this page to your favorites list at Tavrello.com",
              Units(36, 6, 162, 18)},
             {kNone, Kind::kLabel, L"Create in:", Units(6, 96, 33, 8)},
             {kNone, Kind::kLabel, L"Url", Units(6, 36, 10, 8)}}};
}

Layout DanishAddFavorite() {
    return {
        "203 Danish",
        L"Tilf\u00f8j til Tavrello.com",
        "MS Shell Dlg",
        267,
        221,
        {{1, Kind::kDefaultButton, L"OK", Units(210, 6, 50, 14)},
         {2, Kind::kButton, L"Annuller", Units(210, 24, 50, 14)},
         {201, Kind::kEdit, kPageTitle, Units(6, 66, 190, 14)},
         {kNone, Kind::kLabel, L"Beskrivelse", Units(6, 54, 36, 8)},
         {kNone, Kind::kIcon, L"", Units(6, 6, 20, 20)},
         {202, Kind::kButton, L"Tilf\u00f8j i <<", Units(210, 66, 50, 14)},
         {203, Kind::kLabel, L"Tilf\u00f8j denne side til din favorites side p\u00e5 Tavrello.com",
          Units(36, 6, 162, 18)},
         {206, Kind::kButton, L"Ops\u00e6tning", Units(150, 36, 50, 14)},
         {207, Kind::kTree, L"", Units(6, 96, 192, 120)},
         {kNone, Kind::kLabel, L"Tilf\u00f8j i:", Units(6, 84, 22, 8)},
         {208, Kind::kButton, L"Ny Kategori", Units(210, 96, 50, 14)},
         {209, Kind::kButton, L"Opdater", Units(210, 120, 50, 14)},
         {211, Kind::kButton, L"Din Tavrello hjemme side", Units(6, 36, 128, 14)},
         {212, Kind::kButton, L"Hj\u00e6lp", Units(210, 42, 50, 14)}}};
}

Layout NewCatagory(bool danish) {
    return {danish ? "205 Danish" : "205 English",
            danish ? L"Tilf\u00f8j en ny kategori" : L"Add New Catagory",
            "MS Shell Dlg",
            186,
            47,
            {{1, Kind::kDefaultButton, L"OK", Units(129, 7, 50, 14)},
             {2, Kind::kButton, danish ? L"Annuller" : L"Cancel", Units(129, 24, 50, 14)},
             {210, Kind::kEdit, L"", Units(7, 16, 107, 14)},
             {kNone, Kind::kLabel, danish ? L"Kategori navn" : L"Catagory name",
              Units(6, 6, danish ? 46 : 50, 8)}}};
}

Layout Options(bool danish) {
    return {danish ? "106 Danish" : "106 English",
            danish ? L"Tavrello Ops\u00e6tning" : L"Tavrello Options",
            "MS Sans Serif",
            238,
            89,
            {{1, Kind::kDefaultButton, L"OK", Units(180, 6, 50, 16)},
             {2, Kind::kButton, danish ? L"Annuller" : L"Cancel", Units(180, 25, 50, 16)},
             {204, Kind::kEdit, L"", Units(12, 24, 156, 14)},
             {205, Kind::kPassword, L"", Units(12, 60, 156, 14)},
             {kNone, Kind::kLabel, L"E-Mail", Units(12, 12, 20, 8)},
             {kNone, Kind::kLabel, danish ? L"Adgangskode" : L"Password",
              Units(12, 48, danish ? 45 : 32, 8)}}};
}

std::string ClassOf(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    std::string lower = name;
    for (char& c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return lower;
}

const char* ExpectedClass(Kind kind) {
    switch (kind) {
        case Kind::kEdit:
        case Kind::kPassword:
            return "edit";
        case Kind::kDefaultButton:
        case Kind::kButton:
            return "button";
        case Kind::kTree:
            return "systreeview32";
        default:
            return "static";
    }
}

// Records every difference between the live dialog and the layout.
std::vector<std::string> Compare(HWND dialog, const Layout& layout) {
    std::vector<std::string> differences;
    auto differ = [&](const std::string& what) { differences.push_back(what); };

    if (SimulatedUser::WideText(dialog) != layout.caption) differ("caption");
    const LONG style = GetWindowLongA(dialog, GWL_STYLE);
    if (!(style & WS_CAPTION) || (style & WS_SYSMENU)) differ("caption without system menu");
    if (!(GetWindowLongA(dialog, GWL_EXSTYLE) & WS_EX_DLGMODALFRAME)) differ("modal frame");

    LOGFONTA font = {};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0)), sizeof font, &font);
    if (std::string(font.lfFaceName) != layout.font) differ(std::string("font ") + font.lfFaceName);

    RECT size = {0, 0, layout.width, layout.height};
    MapDialogRect(dialog, &size);
    RECT client = {};
    GetClientRect(dialog, &client);
    if (client.right != size.right) differ("client width");

    size_t index = 0;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (index >= layout.controls.size()) {
            differ("extra control");
            break;
        }
        const Control& expected = layout.controls[index++];
        const LONG childStyle = GetWindowLongA(child, GWL_STYLE);
        char styles[48];
        snprintf(styles, sizeof styles, " (style %08lx ex %08lx)",
                 static_cast<unsigned long>(childStyle),
                 static_cast<unsigned long>(GetWindowLongA(child, GWL_EXSTYLE)));
        const std::string at = "control " + std::to_string(index) + styles + ": ";
        // The system draws a template's plain border as a sunken client edge.
        const bool bordered =
            (childStyle & WS_BORDER) || (GetWindowLongA(child, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
        if (static_cast<WORD>(GetDlgCtrlID(child)) != static_cast<WORD>(expected.id)) {
            differ(at + "id " + std::to_string(GetDlgCtrlID(child)));
        }
        if (ClassOf(child) != ExpectedClass(expected.kind)) differ(at + "class " + ClassOf(child));
        if (expected.kind != Kind::kIcon && SimulatedUser::WideText(child) != expected.text) {
            differ(at + "text");
        }
        switch (expected.kind) {
            case Kind::kPassword:
                if (!(childStyle & ES_PASSWORD)) differ(at + "password style");
                [[fallthrough]];
            case Kind::kEdit:
                if (!bordered || !(childStyle & ES_AUTOHSCROLL) || !(childStyle & WS_TABSTOP)) {
                    differ(at + "edit style");
                }
                if (expected.kind == Kind::kEdit && (childStyle & ES_PASSWORD)) {
                    differ(at + "masked");
                }
                break;
            case Kind::kDefaultButton:
                if ((childStyle & BS_TYPEMASK) != BS_DEFPUSHBUTTON) differ(at + "default button");
                break;
            case Kind::kButton:
                if ((childStyle & BS_TYPEMASK) != BS_PUSHBUTTON) differ(at + "push button");
                break;
            case Kind::kTree:
                if (!bordered || !(childStyle & TVS_SHOWSELALWAYS) ||
                    (childStyle & (TVS_HASLINES | TVS_HASBUTTONS | TVS_LINESATROOT))) {
                    differ(at + "tree style");
                }
                break;
            case Kind::kIcon:
                if ((childStyle & SS_TYPEMASK) != SS_ICON) differ(at + "icon style");
                break;
            case Kind::kLabel:
                if ((childStyle & SS_TYPEMASK) != SS_LEFT) differ(at + "label style");
                break;
        }
        // The dialog manager converts the place and the size each on its own.
        RECT mapped = expected.units;
        MapDialogRect(dialog, &mapped);
        const RECT want = {mapped.left, mapped.top, mapped.left + mapped.right,
                           mapped.top + mapped.bottom};
        const RECT got = SimulatedUser::RectInDialog(dialog, child);
        // An icon control takes the size of its icon; only its place comes from the template.
        const bool sizeFixed = expected.kind != Kind::kIcon;
        if (got.left != want.left || got.top != want.top ||
            (sizeFixed && (got.right != want.right || got.bottom != want.bottom))) {
            differ(at + "rectangle " + std::to_string(got.left) + "," + std::to_string(got.top) +
                   "," + std::to_string(got.right) + "," + std::to_string(got.bottom) +
                   " instead of " + std::to_string(want.left) + "," + std::to_string(want.top) +
                   "," + std::to_string(want.right) + "," + std::to_string(want.bottom));
        }
    }
    if (index != layout.controls.size()) differ("missing controls");

    // Tab order: every tab stop in template order, starting with the first.
    std::vector<int> wantTabs;
    for (const Control& control : layout.controls) {
        if (control.kind != Kind::kLabel && control.kind != Kind::kIcon) {
            wantTabs.push_back(control.id);
        }
    }
    std::vector<int> gotTabs;
    HWND first = GetNextDlgTabItem(dialog, nullptr, FALSE);
    for (HWND stop = first; stop && gotTabs.size() <= wantTabs.size();) {
        gotTabs.push_back(GetDlgCtrlID(stop));
        stop = GetNextDlgTabItem(dialog, stop, FALSE);
        if (stop == first) break;
    }
    if (gotTabs != wantTabs) differ("tab order");
    return differences;
}

// Opens a dialog, compares it with the layout and cancels it.
template <typename Dialog>
std::vector<std::string> CheckLayout(Dialog& dialog, const Layout& layout) {
    std::vector<std::string> differences = {"dialog never appeared"};
    UserSession session([&](SimulatedUser& user) {
        HWND shown = user.WaitForDialog(layout.caption);
        if (!shown) return;
        differences = Compare(shown, layout);
        user.ClickAndWaitClosed(shown, IDCANCEL);
    });
    dialog.DoModal(nullptr);
    EXPECT_EQ(session.LeftOpen(), 0) << layout.name;
    return differences;
}

using Differences = std::vector<std::string>;

class Templates : public ::testing::Test {
protected:
    // The add-favorite dialog expanded: collapsed, it takes its hidden controls out of the tab
    // order (a test of its own, with the keyboard).
    void SetUp() override {
        plugin::RegisterTreeViewClass();
        plugin::CAddFavoriteDlg::treeExpanded = true;
    }
    void TearDown() override { plugin::CAddFavoriteDlg::treeExpanded = false; }

    testing_support::RegistrySandbox sandbox_;
};

TEST_F(Templates, AddFavoriteEnglish) {
    plugin::CAddFavoriteDlg dialog;
    dialog.description = "A page title";
    dialog.pageUrl = "http://127.0.0.1/page.htm";
    EXPECT_EQ(CheckLayout(dialog, EnglishAddFavorite()), Differences{});
}

TEST_F(Templates, AddFavoriteDanishHasNoAddressFieldAndAButtonForTheOwnPage) {
    DanishThread danish;
    plugin::CAddFavoriteDlg dialog;
    dialog.description = "A page title";
    dialog.pageUrl = "http://127.0.0.1/page.htm";
    EXPECT_EQ(CheckLayout(dialog, DanishAddFavorite()), Differences{});
}

TEST_F(Templates, NewCatagoryInBothLanguages) {
    {
        plugin::CNewCatagoryDlg dialog;
        EXPECT_EQ(CheckLayout(dialog, NewCatagory(false)), Differences{});
    }
    {
        DanishThread danish;
        plugin::CNewCatagoryDlg dialog;
        EXPECT_EQ(CheckLayout(dialog, NewCatagory(true)), Differences{});
    }
}

TEST_F(Templates, OptionsInBothLanguages) {
    {
        plugin::COptionsDlg dialog;
        EXPECT_EQ(CheckLayout(dialog, Options(false)), Differences{});
    }
    {
        DanishThread danish;
        plugin::COptionsDlg dialog;
        EXPECT_EQ(CheckLayout(dialog, Options(true)), Differences{});
    }
}

}  // namespace
