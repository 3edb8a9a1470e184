// Zephlist's compiled resources, loaded through the system's resource functions from this test
// executable, into which the program's resource object is linked as it is into Zephlist.exe.
#include "resources/tray/resource.h"
#include "resources/version.h"

#include "framework/com/com_ptr.h"
#include "tests/support/dialog_template.h"
#include "tests/support/version_block.h"
#include "tests/tools/icons/icon_probe.h"

#include <gtest/gtest.h>

#include <oleauto.h>
#include <windows.h>

#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

HMODULE ThisModule() {
    return GetModuleHandleA(nullptr);
}

std::string ModulePath() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(ThisModule(), path, MAX_PATH);
    return path;
}

// --- menu --------------------------------------------------------------------------------------

struct MenuEntry {
    bool separator;
    UINT id;
    std::string caption;
};

MenuEntry ReadMenuEntry(HMENU menu, int position) {
    char caption[128] = {};
    MENUITEMINFOA info = {};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING;
    info.dwTypeData = caption;
    info.cch = sizeof(caption);
    EXPECT_TRUE(GetMenuItemInfoA(menu, position, TRUE, &info)) << "item " << position;
    return MenuEntry{(info.fType & MFT_SEPARATOR) != 0, info.wID, caption};
}

struct MenuOwner {
    HMENU menu;
    ~MenuOwner() {
        if (menu) DestroyMenu(menu);
    }
};

TEST(TrayMenu, HoldsOneSubmenuWithTheTenEntriesInOrder) {
    MenuOwner owner{LoadMenuA(ThisModule(), MAKEINTRESOURCEA(IDR_TRAYMENU))};
    ASSERT_NE(owner.menu, nullptr);
    ASSERT_EQ(GetMenuItemCount(owner.menu), 1);
    char title[32] = {};
    GetMenuStringA(owner.menu, 0, title, sizeof(title), MF_BYPOSITION);
    EXPECT_STREQ(title, "Popup");

    HMENU popup = GetSubMenu(owner.menu, 0);
    ASSERT_NE(popup, nullptr);
    const MenuEntry expected[] = {
        {false, ID_ABOUT, "About"},
        {true, 0, ""},
        {false, ID_HOME, "Home"},
        {false, ID_REFRESH, "Refresh"},
        {true, 0, ""},
        {false, ID_MYPAGE, "My Tavrello Web Page"},
        {false, ID_SITE, "www.tavrello.com"},
        {false, ID_OPTIONS, "Options"},
        {true, 0, ""},
        {false, ID_EXIT, "Exit"},
    };
    ASSERT_EQ(GetMenuItemCount(popup), static_cast<int>(std::size(expected)));
    for (int position = 0; position < static_cast<int>(std::size(expected)); ++position) {
        const MenuEntry actual = ReadMenuEntry(popup, position);
        EXPECT_EQ(actual.separator, expected[position].separator) << "position " << position + 1;
        if (expected[position].separator) continue;
        EXPECT_EQ(actual.id, expected[position].id) << "position " << position + 1;
        EXPECT_EQ(actual.caption, expected[position].caption) << "position " << position + 1;
        EXPECT_EQ(GetSubMenu(popup, position), nullptr) << "position " << position + 1;
    }
}

TEST(TrayMenu, CommandIdsHaveTheirFixedValues) {
    // A running copy receives these numbers from a second start of a possibly older build.
    EXPECT_EQ(ID_ABOUT, 32768);
    EXPECT_EQ(ID_EXIT, 32769);
    EXPECT_EQ(ID_REFRESH, 32770);
    EXPECT_EQ(ID_OPTIONS, 32771);
    EXPECT_EQ(ID_HOME, 32772);
    EXPECT_EQ(ID_MYPAGE, 32773);
    EXPECT_EQ(ID_SITE, 32776);
    EXPECT_EQ(WM_TRAYNOTIFY, 33268u);
}

// --- icons -------------------------------------------------------------------------------------

TEST(TrayIcons, GroupsHoldTheirSizesAsThirtyTwoBitImages) {
    const struct {
        int id;
        std::set<int> sizes;
    } groups[] = {{IDI_TRAY, {16, 20, 24, 32, 40, 48}}, {IDI_ABOUT, {16, 20, 24, 32, 40, 48, 256}}};
    for (const auto& group : groups) {
        const icon_probe::GroupInfo info = icon_probe::ReadGroup(ThisModule(), group.id);
        ASSERT_TRUE(info.found) << "icon " << group.id;
        EXPECT_EQ(info.sizes, group.sizes) << "icon " << group.id;
        EXPECT_EQ(info.count, group.sizes.size()) << "icon " << group.id;
        EXPECT_TRUE(info.allSquare) << "icon " << group.id;
        EXPECT_TRUE(info.allThirtyTwoBit) << "icon " << group.id;
    }
}

TEST(TrayIcons, LoadAtEachSizeAsTheBlueListCardWithItsGoldStar) {
    const struct {
        int id;
        int size;
    } cases[] = {{IDI_TRAY, 16}, {IDI_TRAY, 20},  {IDI_TRAY, 24},  {IDI_TRAY, 32},
                 {IDI_TRAY, 48}, {IDI_ABOUT, 32}, {IDI_ABOUT, 256}};
    for (const auto& c : cases) {
        const icon_probe::IconImage image = icon_probe::LoadIconImage(ThisModule(), c.id, c.size);
        ASSERT_EQ(image.pixels.size(), static_cast<size_t>(c.size * c.size))
            << "icon " << c.id << " at " << c.size;
        EXPECT_EQ(image.Alpha(c.size - 1, 0), 0u) << "top-right corner of " << c.id;
        EXPECT_EQ(image.Alpha(0, c.size - 1), 0u) << "bottom-left corner of " << c.id;
        EXPECT_EQ(image.Alpha(c.size / 2, c.size / 2), 255u) << "middle of " << c.id;
        const icon_probe::ColourShares shares = icon_probe::MeasureColours(image);
        EXPECT_GE(shares.blue, 0.6) << "icon " << c.id << " at " << c.size;
        EXPECT_GE(shares.yellow, 0.04) << "icon " << c.id << " at " << c.size;
        EXPECT_LE(shares.green, 0.02) << "icon " << c.id << " at " << c.size;
    }
}

// --- version block -----------------------------------------------------------------------------

class VersionBlock : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(version_.Found()); }

    const testing_support::VersionBlock version_{ModulePath()};
};

TEST_F(VersionBlock, NumbersAreOneZeroZeroOneForAnApplication) {
    const VS_FIXEDFILEINFO* fixed = version_.Fixed();
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(version_.FixedFileVersion(), ZEPHLIST_VERSION_TEXT);
    EXPECT_EQ(version_.FixedProductVersion(), ZEPHLIST_VERSION_TEXT);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
    EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS_NT_WINDOWS32));
}

TEST_F(VersionBlock, StringsNameTheProgramAndItsMaker) {
    const std::string block = version_.FirstTranslation();
    ASSERT_FALSE(block.empty());
    EXPECT_EQ(block.substr(0, 4), "0409");

    const std::map<std::string, std::string> expected = {
        {"CompanyName", "Orvek"},
        {"FileDescription", "Tavrello Zephlist"},
        {"FileVersion", ZEPHLIST_VERSION_TEXT},
        {"InternalName", "Zephlist"},
        {"OriginalFilename", "Zephlist.exe"},
        {"ProductName", "Tavrello"},
        {"ProductVersion", ZEPHLIST_VERSION_TEXT},
    };
    EXPECT_EQ(version_.UsualTexts(block), expected);
    EXPECT_EQ(version_.Text(block, "LegalCopyright"), TAVRELLO_COPYRIGHT);
}

// --- dialog templates --------------------------------------------------------------------------

using testing_support::DialogTemplate;
using testing_support::TemplateItem;

constexpr const char* kButton = testing_support::kButtonAtom;
constexpr const char* kEdit = testing_support::kEditAtom;
constexpr const char* kStatic = testing_support::kStaticAtom;

bool SameClass(const std::string& actual, const std::string& expected) {
    if (actual == expected) return true;
    // windres writes the class of a CONTROL statement as its name rather than its atom.
    const struct {
        const char* atom;
        const char* name;
    } names[] = {{kButton, "button"}, {kEdit, "edit"}, {kStatic, "static"}};
    for (const auto& entry : names) {
        if (expected == entry.atom && lstrcmpiA(actual.c_str(), entry.name) == 0) return true;
    }
    return false;
}

constexpr DWORD kTrayDialogStyle = WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFONT | DS_FIXEDSYS;
constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;

void ExpectItems(const DialogTemplate& dialog, const std::vector<TemplateItem>& expected) {
    ASSERT_EQ(dialog.items.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE("item " + std::to_string(i + 1));
        const TemplateItem& actual = dialog.items[i];
        EXPECT_EQ(static_cast<short>(actual.id), static_cast<short>(expected[i].id));
        EXPECT_TRUE(SameClass(actual.windowClass, expected[i].windowClass)) << actual.windowClass;
        EXPECT_EQ(actual.text, expected[i].text);
        EXPECT_EQ(actual.style, expected[i].style) << std::hex << actual.style;
        EXPECT_EQ(actual.exStyle, 0u);
        EXPECT_EQ(actual.units.left, expected[i].units.left);
        EXPECT_EQ(actual.units.top, expected[i].units.top);
        EXPECT_EQ(actual.units.right, expected[i].units.right) << "width";
        EXPECT_EQ(actual.units.bottom, expected[i].units.bottom) << "height";
    }
}

void ExpectFrame(const DialogTemplate& dialog, LONG width, LONG height, const char* caption) {
    EXPECT_EQ(dialog.style, kTrayDialogStyle) << std::hex << dialog.style;
    EXPECT_EQ(dialog.exStyle, 0u);
    EXPECT_EQ(dialog.units.left, 0);
    EXPECT_EQ(dialog.units.top, 0);
    EXPECT_EQ(dialog.units.right, width);
    EXPECT_EQ(dialog.units.bottom, height);
    EXPECT_EQ(dialog.menu, "");
    EXPECT_EQ(dialog.windowClass, "");
    EXPECT_EQ(dialog.caption, caption);
    EXPECT_EQ(dialog.pointSize, 8);
    EXPECT_EQ(dialog.typeface, "MS Shell Dlg");
}

TEST(DialogTemplates, OptionsTemplateHoldsItsControlsInTabOrder) {
    DialogTemplate dialog;
    ASSERT_TRUE(testing_support::ReadDialogTemplate(ThisModule(), IDD_OPTIONS, dialog));
    ExpectFrame(dialog, 238, 113, "Tavrello - Zephlist Options");
    const DWORD edit = kChild | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL;
    ExpectItems(
        dialog,
        {
            {kChild | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, {180, 6, 50, 16}, IDOK, kButton, "OK"},
            {kChild | WS_TABSTOP | BS_PUSHBUTTON,
             0,
             {180, 25, 50, 16},
             IDCANCEL,
             kButton,
             "Cancel"},
            {edit, 0, {12, 25, 156, 14}, IDC_EMAIL, kEdit, ""},
            {edit | ES_PASSWORD, 0, {12, 60, 156, 14}, IDC_PASSWORD, kEdit, ""},
            {kChild | WS_GROUP | SS_LEFT, 0, {12, 12, 20, 8}, IDC_STATIC, kStatic, "E-Mail"},
            {kChild | WS_GROUP | SS_LEFT, 0, {12, 49, 32, 8}, IDC_STATIC, kStatic, "Password"},
            {kChild | WS_TABSTOP | BS_AUTOCHECKBOX,
             0,
             {12, 84, 174, 10},
             IDC_AUTOSTART,
             kButton,
             "Automatically Start Zephlist when you log in"},
        });
}

TEST(DialogTemplates, AboutTemplateHoldsTheIconAndTextsAtTheirPlaces) {
    DialogTemplate dialog;
    ASSERT_TRUE(testing_support::ReadDialogTemplate(ThisModule(), IDD_ABOUT, dialog));
    ExpectFrame(dialog, 172, 95, "About Zephlist");
    ASSERT_EQ(dialog.items.size(), 5u);
    // The legal notice and the site address at the end of the last line are the program's own.
    const std::string notice = dialog.items[3].text;
    const std::string moreInformation = dialog.items[4].text;
    const std::string lead = "For more information about this program go to ";
    EXPECT_FALSE(notice.empty());
    ASSERT_GT(moreInformation.size(), lead.size());
    EXPECT_EQ(moreInformation.substr(0, lead.size()), lead);
    const DWORD text = kChild | WS_GROUP | SS_LEFT;
    ExpectItems(
        dialog,
        {
            {kChild | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, {61, 74, 50, 14}, IDOK, kButton, "OK"},
            {kChild | SS_ICON,
             0,
             {6, 6, 20, 20},
             IDC_STATIC,
             kStatic,
             "#" + std::to_string(IDI_ABOUT)},
            {text,
             0,
             {42, 6, 110, 8},
             IDC_STATIC,
             kStatic,
             "Tavrello - Zephlist " ZEPHLIST_RELEASE_TEXT},
            {text, 0, {42, 18, 90, 8}, IDC_STATIC, kStatic, notice},
            {text, 0, {12, 36, 150, 19}, IDC_STATIC, kStatic, moreInformation},
        });
}

// --- registration script -----------------------------------------------------------------------

std::vector<std::string> Tokens(const std::string& text) {
    std::istringstream stream(text);
    std::vector<std::string> tokens;
    for (std::string token; stream >> token;) tokens.push_back(token);
    return tokens;
}

TEST(RegistrationScript, WritesTheAppIdKeyAndTheExecutableNameUnderAKeptAppIdKey) {
    HRSRC found = FindResourceA(ThisModule(), MAKEINTRESOURCEA(IDR_ZEPHLIST_REGISTRY), "REGISTRY");
    ASSERT_NE(found, nullptr);
    const DWORD size = SizeofResource(ThisModule(), found);
    const char* bytes = static_cast<const char*>(LockResource(LoadResource(ThisModule(), found)));
    ASSERT_NE(bytes, nullptr);
    const std::string script(bytes, size);

    // Layout aside, the script is exactly this; %APPID% is filled in at registration.
    const std::vector<std::string> expected = Tokens(
        "HKCR { NoRemove AppID { '%APPID%' = s 'Zephlist' 'Zephlist.EXE' "
        "{ val AppID = s '%APPID%' } } }");
    EXPECT_EQ(Tokens(script), expected) << script;
}

// --- type library ------------------------------------------------------------------------------

std::wstring Wide(const std::string& text) {
    std::wstring wide(text.size() + 1, L'\0');
    const int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(),
                                           static_cast<int>(wide.size()));
    wide.resize(length > 0 ? length - 1 : 0);
    return wide;
}

struct BstrOwner {
    BSTR text = nullptr;
    ~BstrOwner() { SysFreeString(text); }
    std::wstring Value() const { return text ? std::wstring(text) : std::wstring(L"<null>"); }
};

TEST(TypeLibrary, IsTheEmptyZephlistLibraryUnderTheProgramsAppId) {
    framework::ComPtr<ITypeLib> library;
    ASSERT_EQ(LoadTypeLibEx(Wide(ModulePath()).c_str(), REGKIND_NONE, library.Receive()), S_OK);

    BstrOwner name;
    BstrOwner doc;
    ASSERT_EQ(library->GetDocumentation(-1, &name.text, &doc.text, nullptr, nullptr), S_OK);
    EXPECT_EQ(name.Value(), L"Zephlist");
    EXPECT_EQ(doc.Value(), L"Zephlist 1.0 Type Library");
    EXPECT_EQ(library->GetTypeInfoCount(), 0u);

    TLIBATTR* attributes = nullptr;
    ASSERT_EQ(library->GetLibAttr(&attributes), S_OK);
    const TLIBATTR copy = *attributes;
    library->ReleaseTLibAttr(attributes);
    EXPECT_EQ(copy.wMajorVerNum, 1);
    EXPECT_EQ(copy.wMinorVerNum, 0);

    wchar_t text[64] = {};
    ASSERT_GT(StringFromGUID2(copy.guid, text, 64), 0);
    EXPECT_EQ(std::wstring(text), Wide(kZephlistAppId))
        << "the library's uuid and the AppID text must be one GUID";
}

}  // namespace
