// The real Zephlist.exe under Wine: quick start, the pop-up's place and size, the single
// running copy, the unload switch and self-registration.
#include "tests/support/http_peer.h"
#include "tests/support/service_wire.h"
#include "tests/tray/zephlist_fixture.h"

#include "resources/tray/resource.h"

#include <functional>
#include <ios>
#include <string>

using testing_support::ChildProcess;
using testing_support::kLoginPath;
using testing_support::WaitForWindow;
using testing_support::WaitUntil;

namespace zephlist_test {
namespace {

bool HasExStyle(HWND window, DWORD style) {
    return (GetWindowLongA(window, GWL_EXSTYLE) & style) == style;
}

// A window of the test process that takes the activation away from the pop-up, as a click into
// another application does.
class ForegroundThief {
public:
    ForegroundThief() {
        window_ = CreateWindowExA(0, "STATIC", "thief", WS_POPUP | WS_VISIBLE, 10, 10, 50, 50,
                                  nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    }
    ~ForegroundThief() { DestroyWindow(window_); }

    // Takes the activation, as a click into another application does, and waits until done()
    // holds. Under Wine the display's focus events for the pop-up's own show can arrive after
    // that activation and hand the foreground back to the pop-up (seen once in a fresh clone's
    // run: the quick-mode copy kept running). Only when the pop-up holds the foreground again
    // is the click made again, as a user would.
    bool ActivateUntil(HWND popup, const std::function<bool()>& done) {
        for (int click = 0; click < 5; ++click) {
            SetForegroundWindow(window_);
            SetActiveWindow(window_);
            bool handedBack = false;
            WaitUntil([&] { return done() || (handedBack = GetForegroundWindow() == popup); },
                      kStartTimeoutMs);
            if (!handedBack) return done();
        }
        return false;
    }

private:
    HWND window_;
};

using ZephlistStartup = ZephlistProgramTest;

TEST_F(ZephlistStartup, QuickStartShowsTheTopmostToolWindowAtTheDefaultPlace) {
    Start(running_, "/q");
    HWND popup = WaitForWindow(kWindowTitle, kStartTimeoutMs);
    ASSERT_NE(popup, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(popup) != FALSE; }, 5000));
    EXPECT_TRUE(WaitUntil([&] { return HasExStyle(popup, WS_EX_TOPMOST); }, 5000));
    EXPECT_TRUE(HasExStyle(popup, WS_EX_TOOLWINDOW));
    const LONG style = GetWindowLongA(popup, GWL_STYLE);
    EXPECT_TRUE(style & WS_THICKFRAME);
    EXPECT_FALSE(style & WS_CAPTION) << "a sizing border, no caption";
    RECT rect{};
    GetWindowRect(popup, &rect);
    EXPECT_EQ(rect.left, 414);
    EXPECT_EQ(rect.top, 238);
    EXPECT_EQ(rect.right, 1014);
    EXPECT_EQ(rect.bottom, 738);
}

struct StoredSizeCase {
    const char* stored;
    RECT expected;
};

TEST_F(ZephlistStartup, StoredSizesGiveTheirRectanglesAtTheLowerRightCorner) {
    const StoredSizeCase cases[] = {
        {"800 600", {214, 138, 1014, 738}},
        {"700", {314, 238, 1014, 738}},
        {"0x190 0x12C", {614, 438, 1014, 738}},
        // Unusable sizes are clamped to between 100 and the screen's size.
        {"50 -20", {914, 638, 1014, 738}},
        {"5000 9000", {-10, -30, 1014, 738}},
    };
    for (const auto& sizeCase : cases) {
        SCOPED_TRACE(sizeCase.stored);
        SetSetting("zephlistsize", sizeCase.stored);
        ChildProcess program;
        Start(program, "/q");
        HWND popup = WaitForWindow(kWindowTitle, kStartTimeoutMs);
        ASSERT_NE(popup, nullptr);
        RECT rect{};
        GetWindowRect(popup, &rect);
        EXPECT_EQ(rect.left, sizeCase.expected.left);
        EXPECT_EQ(rect.top, sizeCase.expected.top);
        EXPECT_EQ(rect.right, sizeCase.expected.right);
        EXPECT_EQ(rect.bottom, sizeCase.expected.bottom);
        program.Kill();
        WaitUntil([] { return FindWindowA(nullptr, kWindowTitle) == nullptr; }, 5000);
    }
}

TEST_F(ZephlistStartup, ResizingStoresTheOuterSize) {
    Start(running_, "/q");
    HWND popup = WaitForWindow(kWindowTitle, kStartTimeoutMs);
    ASSERT_NE(popup, nullptr);
    EXPECT_TRUE(WaitUntil([] { return ReadSetting("zephlistsize") == "600 500"; }, 5000))
        << "stored at creation too: " << ReadSetting("zephlistsize");
    SetWindowPos(popup, nullptr, 0, 0, 640, 480, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_TRUE(WaitUntil([] { return ReadSetting("zephlistsize") == "640 480"; }, 5000))
        << ReadSetting("zephlistsize");
}

TEST_F(ZephlistStartup, LosingActivationInQuickModeEndsTheProgramWithCode0) {
    Start(running_, "/q");
    HWND popup = WaitForWindow(kWindowTitle, kStartTimeoutMs);
    ASSERT_NE(popup, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(popup) != FALSE; }, 5000));
    ForegroundThief thief;
    EXPECT_TRUE(thief.ActivateUntil(popup, [&] { return !running_.Running(); }));
    EXPECT_EQ(running_.Wait(kStartTimeoutMs), 0u);
}

TEST_F(ZephlistStartup, TrayModeStartsHiddenAndLosingActivationOnlyHides) {
    HWND popup = StartTrayCopy(running_);
    ASSERT_NE(popup, nullptr);
    EXPECT_FALSE(IsWindowVisible(popup));
    ASSERT_TRUE(RepeatUntil([&] { PostMessageA(popup, WM_COMMAND, ID_HOME, 0); },
                            [&] { return IsWindowVisible(popup) != FALSE; }));
    ForegroundThief thief;
    EXPECT_TRUE(thief.ActivateUntil(popup, [&] { return IsWindowVisible(popup) == FALSE; }));
    EXPECT_TRUE(running_.Running());
}

TEST_F(ZephlistStartup, CloseRequestHidesAndTheProgramStaysUsable) {
    HWND popup = StartTrayCopy(running_);
    ASSERT_NE(popup, nullptr);
    ASSERT_TRUE(RepeatUntil([&] { PostMessageA(popup, WM_COMMAND, ID_HOME, 0); },
                            [&] { return IsWindowVisible(popup) != FALSE; }));
    PostMessageA(popup, WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(popup) == FALSE; }, 5000));
    EXPECT_TRUE(IsWindow(popup));
    EXPECT_TRUE(RepeatUntil([&] { PostMessageA(popup, WM_COMMAND, ID_HOME, 0); },
                            [&] { return IsWindowVisible(popup) != FALSE; }));
}

// A window of another program that happens to carry the pop-up's title; it counts the
// commands it receives.
class ForeignNamesake {
public:
    ForeignNamesake() {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = Procedure;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "ForeignNamesake";
        RegisterClassA(&windowClass);
        window_ = CreateWindowExA(0, "ForeignNamesake", kWindowTitle, WS_POPUP, 0, 0, 10, 10,
                                  nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    }
    ~ForeignNamesake() { DestroyWindow(window_); }
    HWND Handle() const { return window_; }
    static int commands;

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_COMMAND) ++commands;
        return DefWindowProcA(window, message, wParam, lParam);
    }
    HWND window_;
};
int ForeignNamesake::commands = 0;

TEST_F(ZephlistStartup, SecondStartShowsTheRunningCopyAndEndsWithCode0) {
    HWND popup = StartTrayCopy(running_);
    ASSERT_NE(popup, nullptr);
    ASSERT_FALSE(IsWindowVisible(popup));
    // Created after the copy, so it comes first in the z-order that a later start walks.
    ForeignNamesake namesake;
    ASSERT_NE(namesake.Handle(), nullptr);
    ForeignNamesake::commands = 0;
    DWORD secondExit = STILL_ACTIVE;
    EXPECT_TRUE(RepeatUntil([&] { secondExit = RunToEnd(""); },
                            [&] { return IsWindowVisible(popup) != FALSE; }));
    EXPECT_EQ(secondExit, 0u);
    EXPECT_TRUE(WaitUntil([&] { return HasExStyle(popup, WS_EX_TOPMOST); }, 5000));
    EXPECT_TRUE(running_.Running());
    // The later starts have ended, so anything they posted is in this thread's queue.
    MSG message;
    while (PeekMessageA(&message, namesake.Handle(), 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    EXPECT_EQ(ForeignNamesake::commands, 0) << "only the program's own window is signalled";
}

TEST_F(ZephlistStartup, SecondStartSendsTheRunningCopyBackToTheLoginPage) {
    testing_support::HttpPeer peer;
    ServeLoginPage(peer);
    HWND popup = StartTrayCopy(running_);
    ASSERT_NE(popup, nullptr);
    // The first show creates the browser, which goes to the login page by itself.
    ASSERT_TRUE(RepeatUntil([&] { PostMessageA(popup, WM_TRAYNOTIFY, 1, WM_LBUTTONDOWN); },
                            [&] { return IsWindowVisible(popup) != FALSE; }));
    ASSERT_TRUE(peer.WaitForRequests(1, kStartTimeoutMs));
    // Nothing else is on its way: the show's navigation is the only one.
    const size_t before = peer.RequestsTo(kLoginPath).size();
    EXPECT_EQ(RunToEnd(""), 0u);
    EXPECT_TRUE(peer.WaitForRequests(before + 1, kStartTimeoutMs));
    const auto requests = peer.RequestsTo(kLoginPath);
    EXPECT_EQ(requests.size(), before + 1);
    EXPECT_EQ(requests.back().method, "GET");
}

// A WH_CBT hook in a DLL of its own refuses the pop-up's creation in whatever process asks.
class RefusedPopup {
public:
    RefusedPopup() {
        module_ = LoadLibraryA(
            (testing_support::TestExecutableFolder() + "refuse_popup_hook.dll").c_str());
        const auto procedure = reinterpret_cast<HOOKPROC>(
            reinterpret_cast<void*>(GetProcAddress(module_, "RefusePopupCreation")));
        if (procedure) hook_ = SetWindowsHookExA(WH_CBT, procedure, module_, 0);
    }
    ~RefusedPopup() {
        if (hook_) UnhookWindowsHookEx(hook_);
        if (module_) FreeLibrary(module_);
    }
    bool Active() const { return hook_ != nullptr; }

private:
    HMODULE module_ = nullptr;
    HHOOK hook_ = nullptr;
};

TEST_F(ZephlistStartup, PopupThatCannotBeCreatedEndsTheProgramAndReleasesTheMutex) {
    {
        RefusedPopup refused;
        ASSERT_TRUE(refused.Active());
        EXPECT_EQ(RunToEnd(""), 1u) << "the program must end, failed, without its window";
    }
    // Nothing holds the mutex any more: the next start is the first copy again.
    EXPECT_NE(StartTrayCopy(running_), nullptr);
}

TEST_F(ZephlistStartup, UnloadSwitchMakesTheRunningCopyExitWithCode0) {
    HWND popup = StartTrayCopy(running_);
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(RunToEnd("/u"), 0u);
    EXPECT_EQ(running_.Wait(kStartTimeoutMs), 0u);
}

TEST_F(ZephlistStartup, SwitchesInCapitalsWork) {
    HWND popup = StartTrayCopy(running_);
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(RunToEnd("/Q -U"), 0u);
    EXPECT_EQ(running_.Wait(kStartTimeoutMs), 0u);
}

TEST_F(ZephlistStartup, UnloadSwitchAloneEndsAtOnceAndLeavesNothing) {
    ChildProcess program;
    Start(program, "/u");
    EXPECT_EQ(program.Wait(kStartTimeoutMs), 0u);
    EXPECT_EQ(FindWindowA(nullptr, kWindowTitle), nullptr);
    // The mutex went with the process: a new start is the first copy again.
    HWND popup = StartTrayCopy(running_);
    EXPECT_NE(popup, nullptr);
}

TEST_F(ZephlistStartup, PopupGoesToTheLoginPageBelowTheBaseUrl) {
    testing_support::HttpPeer peer;
    ServeLoginPage(peer);
    Start(running_, "/q");
    ASSERT_TRUE(peer.WaitForRequests(1, kStartTimeoutMs));
    const auto requests = peer.Requests();
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].target, kLoginPath);
    EXPECT_EQ(requests[0].body, "") << "no post data, no credentials";
}

class Registration : public ZephlistProgramTest {
protected:
    void TearDown() override {
        RunToEnd("/UnregServer");
        ZephlistProgramTest::TearDown();
    }

    static std::string ClassesText(const std::string& path, const char* name) {
        char buffer[256] = {};
        DWORD size = sizeof buffer - 1;
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
            return "<no key>";
        }
        const LONG status =
            RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
        RegCloseKey(key);
        return status == ERROR_SUCCESS ? std::string(buffer) : "<missing>";
    }

    static bool ClassesKeyExists(const std::string& path) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
            return false;
        }
        RegCloseKey(key);
        return true;
    }
};

TEST_F(Registration, RegServerWritesTheAppIdEntriesAndTheTypeLibrary) {
    EXPECT_EQ(RunToEnd("/RegServer"), 0u);
    const std::string appId = kZephlistAppId;
    EXPECT_EQ(ClassesText("AppID\\" + appId, nullptr), "Zephlist");
    EXPECT_EQ(ClassesText("AppID\\Zephlist.EXE", "AppID"), appId);
    EXPECT_EQ(ClassesText("TypeLib\\" + appId + "\\1.0", nullptr), "Zephlist 1.0 Type Library");
    EXPECT_EQ(FindWindowA(nullptr, kWindowTitle), nullptr) << "no message loop, nothing left";
}

TEST_F(Registration, UnregServerRemovesThemAndKeepsTheAppIdKey) {
    ASSERT_EQ(RunToEnd("-regserver"), 0u);
    EXPECT_EQ(RunToEnd("/UnregServer"), 0u);
    const std::string appId = kZephlistAppId;
    EXPECT_FALSE(ClassesKeyExists("AppID\\" + appId));
    EXPECT_FALSE(ClassesKeyExists("AppID\\Zephlist.EXE"));
    EXPECT_FALSE(ClassesKeyExists("TypeLib\\" + appId));
    EXPECT_TRUE(ClassesKeyExists("AppID"));
}

TEST_F(Registration, UnregServerWithoutTheTypeLibraryStillRemovesTheAppIdEntries) {
    ASSERT_EQ(RunToEnd("/RegServer"), 0u);
    const std::string appId = kZephlistAppId;
    ASSERT_EQ(RegDeleteTreeA(HKEY_CLASSES_ROOT, ("TypeLib\\" + appId).c_str()), ERROR_SUCCESS);
    RegDeleteKeyA(HKEY_CLASSES_ROOT, ("TypeLib\\" + appId).c_str());
    const DWORD exitCode = RunToEnd("/UnregServer");
    EXPECT_TRUE(FAILED(static_cast<HRESULT>(exitCode))) << std::hex << exitCode;
    EXPECT_FALSE(ClassesKeyExists("AppID\\" + appId));
    EXPECT_FALSE(ClassesKeyExists("AppID\\Zephlist.EXE"));
}

TEST_F(Registration, RegistrationWhileACopyRunsIsDoneAndLeavesTheCopyAlone) {
    HWND popup = StartTrayCopy(running_);
    ASSERT_NE(popup, nullptr);
    const std::string appId = kZephlistAppId;
    for (const char* word : {"/RegServer", "/unregserver"}) {
        SCOPED_TRACE(word);
        EXPECT_EQ(RunToEnd(word), 0u);
        const bool registering = std::string(word) == "/RegServer";
        EXPECT_EQ(ClassesKeyExists("AppID\\" + appId), registering);
        EXPECT_EQ(ClassesKeyExists("AppID\\Zephlist.EXE"), registering);
        // Commands are handled in the order they arrive: once the About box is up, whatever
        // the registration run might have posted has been handled before it.
        PostMessageA(popup, WM_COMMAND, ID_ABOUT, 0);
        HWND about = WaitForWindow("About Zephlist", kStartTimeoutMs);
        ASSERT_NE(about, nullptr);
        EXPECT_FALSE(IsWindowVisible(popup)) << "the running copy was not signalled";
        PostMessageA(about, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        ASSERT_TRUE(WaitUntil([&] { return !IsWindow(about); }, 5000));
    }
    EXPECT_TRUE(running_.Running()) << "the registration word is not the u switch";
}

}  // namespace
}  // namespace zephlist_test
