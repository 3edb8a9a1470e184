// The real Zephlist.exe in tray mode: the notification-area icon's callbacks, the context
// menu, every menu command, and the icon's return after the shell restarts.
#include "tests/support/http_peer.h"  // winsock2.h before windows.h
#include "tests/support/service_wire.h"

#include "tests/tray/zephlist_fixture.h"

#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <vector>

#include "framework/window/dpi.h"
#include "resources/tray/resource.h"
#include "tray/popup_window.h"
#include "tray/tray_icon.h"

using testing_support::ChildProcess;
using testing_support::kLoginPath;
using testing_support::WaitForWindow;
using testing_support::WaitUntil;

namespace zephlist_test {
namespace {

constexpr char kTestClass[] = "TavrelloTest.Html";
constexpr char kMachineClasses[] = "Software\\Classes";

// A ".htm" class in the prefix whose open command is the recording program, so that what the
// tray program opens "in the default browser" is written to a file.
class RecordingBrowser {
public:
    RecordingBrowser() {
        recordFile_ = testing_support::TestExecutableFolder() + "tray_browser_record.txt";
        std::remove(recordFile_.c_str());
        SetEnvironmentVariableA("TAVRELLO_RECORD_ARGS_FILE", recordFile_.c_str());
        const std::string command =
            "\"" + testing_support::TestExecutableFolder() + "record_args.exe\" \"%1\"";
        SetClassesText(".htm", kTestClass);
        SetClassesText(std::string(kTestClass) + "\\shell\\open\\command", command);
    }
    ~RecordingBrowser() {
        HKEY classes = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kMachineClasses, 0, KEY_ALL_ACCESS, &classes) ==
            ERROR_SUCCESS) {
            RegDeleteTreeA(classes, ".htm");
            RegDeleteKeyA(classes, ".htm");
            RegDeleteTreeA(classes, kTestClass);
            RegDeleteKeyA(classes, kTestClass);
            RegCloseKey(classes);
        }
        std::remove(recordFile_.c_str());
    }

    // The URL arguments of every start so far, in order.
    std::vector<std::string> OpenedUrls() const {
        std::ifstream file(recordFile_);
        std::vector<std::string> urls;
        std::string line;
        int argument = 0;
        while (std::getline(file, line)) {
            if (line.rfind("arg=", 0) == 0) {
                if (argument++ == 1) urls.push_back(line.substr(4));
            } else if (line == "end") {
                argument = 0;
            }
        }
        return urls;
    }

    bool WaitForUrls(size_t count) const {
        return WaitUntil([&] { return OpenedUrls().size() >= count; }, kStartTimeoutMs);
    }

private:
    static void SetClassesText(const std::string& path, const std::string& text) {
        HKEY key = nullptr;
        const std::string full = std::string(kMachineClasses) + "\\" + path;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, full.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>(text.size() + 1));
        RegCloseKey(key);
    }

    std::string recordFile_;
};

NOTIFYICONDATAA IconOf(HWND popup) {
    NOTIFYICONDATAA record{};
    record.cbSize = NOTIFYICONDATAA_V1_SIZE;
    record.hWnd = popup;
    record.uID = 1;
    return record;
}

// True when the shell holds the program's icon (a modify succeeds only on an existing icon).
bool IconExists(HWND popup) {
    NOTIFYICONDATAA record = IconOf(popup);
    record.uFlags = NIF_TIP;
    std::snprintf(record.szTip, sizeof record.szTip, "Tavrello");
    return Shell_NotifyIconA(NIM_MODIFY, &record) != FALSE;
}

HWND VisibleMenuWindow() {
    HWND menu = FindWindowA("#32768", nullptr);
    return menu && IsWindowVisible(menu) ? menu : nullptr;
}

class ZephlistTray : public ZephlistProgramTest {
protected:
    void SetUp() override {
        ZephlistProgramTest::SetUp();
        SetSetting("Tavrello", "http://127.0.0.1:9/");
        SetSetting("email", "ann+news@example.com");
        // The program hands its environment (the record file's name) to the browser it starts.
        browser_ = std::make_unique<RecordingBrowser>();
        popup_ = StartTrayCopy(running_);
        ASSERT_NE(popup_, nullptr);
        ASSERT_TRUE(WaitUntil([&] { return IconExists(popup_); }, 5000));
    }

    void Notify(UINT mouseMessage) { PostMessageA(popup_, WM_TRAYNOTIFY, 1, mouseMessage); }
    void Command(WORD id) { PostMessageA(popup_, WM_COMMAND, id, 0); }
    // The pop-up shows after action (repeated if late focus events hid it again at once).
    bool ShowsAfter(const std::function<void()>& action) {
        return RepeatUntil(action, [&] { return IsWindowVisible(popup_) != FALSE; });
    }

    void TearDown() override {
        ZephlistProgramTest::TearDown();
        browser_.reset();
    }

    std::unique_ptr<RecordingBrowser> browser_;
    HWND popup_ = nullptr;
};

TEST_F(ZephlistTray, IconIsAddedWithTheTooltipAndLeftButtonShowsThePopupOnTop) {
    EXPECT_FALSE(IsWindowVisible(popup_));
    ASSERT_TRUE(ShowsAfter([&] { Notify(WM_LBUTTONDOWN); }));
    EXPECT_TRUE(WaitUntil(
        [&] { return (GetWindowLongA(popup_, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }, 5000));
}

TEST_F(ZephlistTray, MovesReleasesAndDoubleClicksDoNothing) {
    for (UINT message : {WM_MOUSEMOVE, WM_LBUTTONUP, WM_RBUTTONUP, WM_LBUTTONDBLCLK,
                         WM_RBUTTONDBLCLK, WM_MBUTTONDOWN}) {
        Notify(message);
    }
    // The commands after them are handled in order, so everything before has been seen.
    SendMessageTimeoutA(popup_, WM_NULL, 0, 0, SMTO_BLOCK, 5000, nullptr);
    EXPECT_FALSE(IsWindowVisible(popup_));
    EXPECT_EQ(VisibleMenuWindow(), nullptr);
}

TEST_F(ZephlistTray, RightButtonOpensTheMenuAtTheCursorWithoutShowingThePopup) {
    SetCursorPos(500, 400);
    Notify(WM_RBUTTONDOWN);
    HWND menu = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (menu = VisibleMenuWindow()) != nullptr; }, 5000));
    RECT rect{};
    GetWindowRect(menu, &rect);
    EXPECT_EQ(rect.bottom, 400) << "bottom edge at the cursor";
    EXPECT_LE(std::abs((rect.left + rect.right) / 2 - 500), 1) << "centred on the cursor";
    EXPECT_FALSE(IsWindowVisible(popup_));
    PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(WaitUntil([] { return VisibleMenuWindow() == nullptr; }, 5000));
    EXPECT_FALSE(IsWindowVisible(popup_));
}

TEST_F(ZephlistTray, MyPageOpensThePersonalPageWithTheAddressEncoded) {
    RecordingBrowser& browser = *browser_;
    Command(ID_MYPAGE);
    ASSERT_TRUE(browser.WaitForUrls(1));
    EXPECT_EQ(browser.OpenedUrls()[0],
              "http://127.0.0.1:9/plugin/zephlist.php?email=ann%2Bnews%40example.com");
    EXPECT_FALSE(IsWindowVisible(popup_)) << "the pop-up is not shown";
}

TEST_F(ZephlistTray, SiteOpensTheBaseUrlUnchanged) {
    RecordingBrowser& browser = *browser_;
    Command(ID_SITE);
    ASSERT_TRUE(browser.WaitForUrls(1));
    EXPECT_EQ(browser.OpenedUrls()[0], "http://127.0.0.1:9/");
    EXPECT_FALSE(IsWindowVisible(popup_));
}

TEST_F(ZephlistTray, HomeAndRefreshShowThePopup) {
    ASSERT_TRUE(ShowsAfter([&] { Command(ID_REFRESH); }));
    ShowWindow(popup_, SW_HIDE);
    EXPECT_TRUE(ShowsAfter([&] { Command(ID_HOME); }));
}

TEST_F(ZephlistTray, RefreshLoadsThePageAgain) {
    testing_support::HttpPeer peer;
    ServeLoginPage(peer);
    ASSERT_TRUE(ShowsAfter([&] { Notify(WM_LBUTTONDOWN); }));
    ASSERT_TRUE(peer.WaitForRequests(1, kStartTimeoutMs));
    for (size_t loads = 2; loads <= 3; ++loads) {
        Command(ID_REFRESH);
        ASSERT_TRUE(peer.WaitForRequests(loads, kStartTimeoutMs)) << "reload " << loads - 1;
        const auto requests = peer.RequestsTo(kLoginPath);
        EXPECT_EQ(requests.size(), loads);
        EXPECT_EQ(requests.back().method, "GET");
    }
}

TEST_F(ZephlistTray, AboutOpensTheAboutBox) {
    Command(ID_ABOUT);
    HWND about = WaitForWindow("About Zephlist", 5000);
    ASSERT_NE(about, nullptr);
    PostMessageA(about, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(about); }, 5000));
    EXPECT_TRUE(running_.Running());
}

TEST_F(ZephlistTray, OptionsAreReadAgainAfterTheDialogWhicheverButtonClosedIt) {
    RecordingBrowser& browser = *browser_;
    Command(ID_MYPAGE);  // creates the browser and its settings snapshot
    ASSERT_TRUE(browser.WaitForUrls(1));
    SetSetting("email", "bob@example.com");  // another program changes the account
    Command(ID_OPTIONS);
    HWND options = WaitForWindow("Tavrello - Zephlist Options", 5000);
    ASSERT_NE(options, nullptr);
    PostMessageA(options, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(options); }, 5000));
    EXPECT_FALSE(IsWindowVisible(popup_)) << "the pop-up is not shown";
    Command(ID_MYPAGE);
    ASSERT_TRUE(browser.WaitForUrls(2));
    EXPECT_EQ(browser.OpenedUrls()[1],
              "http://127.0.0.1:9/plugin/zephlist.php?email=bob%40example.com");
}

TEST_F(ZephlistTray, ExitRemovesTheIconAndEndsWithCode0) {
    Command(ID_EXIT);
    EXPECT_EQ(running_.Wait(kStartTimeoutMs), 0u);
    EXPECT_FALSE(IconExists(popup_));
}

TEST_F(ZephlistTray, ShellRestartBringsBackExactlyOneIcon) {
    const UINT taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    // As after a shell restart: the icon is gone.
    NOTIFYICONDATAA record = IconOf(popup_);
    ASSERT_TRUE(Shell_NotifyIconA(NIM_DELETE, &record));
    ASSERT_FALSE(IconExists(popup_));
    SendMessageTimeoutA(HWND_BROADCAST, taskbarCreated, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return IconExists(popup_); }, 5000));

    // The same message while the icon is still there leaves one icon, not two.
    SendMessageTimeoutA(HWND_BROADCAST, taskbarCreated, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return IconExists(popup_); }, 5000));
    EXPECT_TRUE(Shell_NotifyIconA(NIM_DELETE, &record));
    EXPECT_FALSE(Shell_NotifyIconA(NIM_DELETE, &record));
}

// The icon object alone, on a window of this process: whatever its add reported, it removes
// the icon when it goes, so an icon the shell kept in spite of a failed add does not linger.
TEST(TrayIconObject, RemovesTheIconAtTheEndAlsoWhenAddingItFailed) {
    HWND owner = CreateWindowExA(0, "STATIC", "icon owner", WS_POPUP, 0, 0, 10, 10, nullptr,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(owner, nullptr);
    NOTIFYICONDATAA record = IconOf(owner);
    record.uFlags = NIF_TIP;
    ASSERT_TRUE(Shell_NotifyIconA(NIM_ADD, &record)) << "needs the display's notification area";
    {
        tray::TrayIcon icon(owner, WM_TRAYNOTIFY, framework::IconHandle());
        EXPECT_FALSE(icon.Add()) << "the shell refuses an icon it already holds";
        EXPECT_TRUE(IconExists(owner));
    }
    EXPECT_FALSE(IconExists(owner));
    Shell_NotifyIconA(NIM_DELETE, &record);
    DestroyWindow(owner);
}

using ZephlistQuickMode = ZephlistProgramTest;

TEST_F(ZephlistQuickMode, AddsNoIcon) {
    Start(running_, "/q");
    HWND popup = WaitForWindow(kWindowTitle, kStartTimeoutMs);
    ASSERT_NE(popup, nullptr);
    // The start-up is over once a posted command is handled: the About box is up.
    PostMessageA(popup, WM_COMMAND, ID_ABOUT, 0);
    HWND about = WaitForWindow("About Zephlist", kStartTimeoutMs);
    ASSERT_NE(about, nullptr);
    EXPECT_FALSE(IconExists(popup));
    PostMessageA(about, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

// --- display scaling: this program runs at 96 DPI as tray_icon_menu_test and at 144 DPI (150 %)
// as tray_high_dpi_test, which sets the prefix's LogPixels for its run ---

// The DPI of this run: the one tray_high_dpi_test names, else 96.
UINT RunDpi() {
    const char* named = std::getenv("TAVRELLO_TEST_DPI");
    return named ? static_cast<UINT>(std::atoi(named)) : 96;
}

int IconWidth(HICON icon) {
    ICONINFO info = {};
    if (!icon || !GetIconInfo(icon, &info)) return 0;
    BITMAP mask = {};
    GetObjectA(info.hbmMask, sizeof mask, &mask);
    DeleteObject(info.hbmMask);
    if (info.hbmColor) DeleteObject(info.hbmColor);
    return mask.bmWidth;
}

// What the pop-up object does at the system's DPI, in this process (it carries the program's
// resources and manifest): the stored size opens scaled, the icon comes at the small-icon size,
// a size dragged and the rectangle WM_DPICHANGED suggests are taken and stored in 96-DPI units.
// (Wine hands a size set from another process to a DPI-aware window divided by the DPI's
// scale, so the drag is made here, on the window's own thread, as a user's drag is.)
TEST(PopupObject, OpensDragsAndChangesSizeAtTheDisplaysDpiInItsUnits) {
    const struct {
        UINT dpi;
        SIZE opened;
        int iconSize;
        const char* storedAfterDrag;
        const char* storedAfterChange;
    } cases[] = {
        {96, {600, 500}, 16, "840 540", "900 750"},
        {144, {900, 750}, 24, "560 360", "600 500"},
    };
    const UINT dpi = RunDpi();
    ASSERT_EQ(framework::SystemDpi(), dpi) << "the display is at the run's DPI";
    const auto row = std::find_if(std::begin(cases), std::end(cases),
                                  [&](const auto& c) { return c.dpi == dpi; });
    ASSERT_NE(row, std::end(cases)) << "no case for " << dpi << " DPI";
    ClearProgramSettings();
    SetSetting("zephlistsize", "600 500");
    tray::CPopupWnd popup;
    ASSERT_TRUE(popup.CreatePopup());
    EXPECT_EQ(framework::WindowDpi(popup), dpi);
    RECT rect = {};
    GetWindowRect(popup, &rect);
    EXPECT_EQ(rect.right - rect.left, row->opened.cx);
    EXPECT_EQ(rect.bottom - rect.top, row->opened.cy);
    EXPECT_EQ(IconWidth(tray::LoadTrayIcon(popup).Get()), row->iconSize);
    SetWindowPos(popup, nullptr, 0, 0, 840, 540, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_EQ(ReadSetting("zephlistsize"), row->storedAfterDrag);
    RECT suggested = {40, 20, 940, 770};
    SendMessageA(popup, tray::kDpiChangedMessage, MAKEWPARAM(dpi, dpi),
                 reinterpret_cast<LPARAM>(&suggested));
    GetWindowRect(popup, &rect);
    EXPECT_TRUE(EqualRect(&rect, &suggested));
    EXPECT_EQ(ReadSetting("zephlistsize"), row->storedAfterChange);
    popup.DestroyWindow();
    ClearProgramSettings();
}

// Per-monitor aware, version 1 or 2 (Windows 10 functions, looked up).
bool IsPerMonitorAware(HWND window) {
    const HMODULE user32 = GetModuleHandleA("user32.dll");
    const auto awarenessOf = reinterpret_cast<HANDLE(WINAPI*)(HWND)>(
        reinterpret_cast<void*>(GetProcAddress(user32, "GetWindowDpiAwarenessContext")));
    const auto same = reinterpret_cast<BOOL(WINAPI*)(HANDLE, HANDLE)>(
        reinterpret_cast<void*>(GetProcAddress(user32, "AreDpiAwarenessContextsEqual")));
    if (!awarenessOf || !same) return false;
    const HANDLE awareness = awarenessOf(window);
    return same(awareness, reinterpret_cast<HANDLE>(-4)) ||
           same(awareness, reinterpret_cast<HANDLE>(-3));
}

class ZephlistHighDpi : public ZephlistProgramTest {
protected:
    void SetUp() override {
        if (RunDpi() != 144) GTEST_SKIP() << "runs at 144 DPI (tray_high_dpi_test)";
        ZephlistProgramTest::SetUp();
    }
};

TEST_F(ZephlistHighDpi, OpensAtOneAndAHalfTimesTheStoredSizeAndDistanceFromTheCorner) {
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    ASSERT_TRUE(screenWidth >= 900 && screenHeight >= 750) << "a screen that holds 900 x 750";
    SetSetting("zephlistsize", "600 500");
    Start(running_, "/q");
    HWND popup = WaitForWindow(kWindowTitle, kStartTimeoutMs);
    ASSERT_NE(popup, nullptr);
    // The program's own awareness: a stretched program can look the same size from outside.
    EXPECT_TRUE(IsPerMonitorAware(popup));
    RECT rect = {};
    GetWindowRect(popup, &rect);
    EXPECT_EQ(rect.right - rect.left, 900);
    EXPECT_EQ(rect.bottom - rect.top, 750);
    EXPECT_EQ(rect.right, screenWidth - 15) << "10 pixels at 96 DPI from the right";
    EXPECT_EQ(rect.bottom, screenHeight - 45) << "30 pixels at 96 DPI from the bottom";
    EXPECT_TRUE(WaitUntil([] { return ReadSetting("zephlistsize") == "600 500"; }, 5000))
        << "stored as it was: " << ReadSetting("zephlistsize");
}

}  // namespace
}  // namespace zephlist_test
