// One command at a time: a second command, from another browser thread or re-entered on the
// same thread while the first one's dialog is open, neither waits nor runs. It brings the
// open dialog to the front and returns S_OK.
#include <gtest/gtest.h>

#include "tests/plugin/module/browser_fixture.h"

#include <atomic>
#include <thread>

#include "resources/plugin/resource.h"
#include "tests/support/simulated_user.h"
#include "tests/support/child_process.h"

namespace {

using dialog_testing::SimulatedUser;
using dialog_testing::UserSession;
using module_testing::BrowserPage;
using module_testing::CreateCommand;
using module_testing::Exec;
using module_testing::SetSite;

constexpr DWORD kPatienceMs = 10000;
constexpr DWORD kFocusSettleMs = 1000;

test_browser::PageInfo Page(const std::wstring& url, const std::wstring& title) {
    test_browser::PageInfo page;
    page.url = url;
    page.title = title;
    return page;
}

BOOL CALLBACK CountDialog(HWND window, LPARAM counter) {
    char className[16] = {};
    GetClassNameA(window, className, sizeof className);
    if (IsWindowVisible(window) && std::string(className) == "#32770") {
        ++*reinterpret_cast<int*>(counter);
    }
    return TRUE;
}

int DialogsOfThread(DWORD thread) {
    int count = 0;
    EnumThreadWindows(thread, &CountDialog, reinterpret_cast<LPARAM>(&count));
    return count;
}

// A window of the user's that has the foreground before the second command arrives, so that
// the test sees the command take it away.
class Decoy {
public:
    Decoy()
        : window_(CreateWindowExA(WS_EX_TOPMOST, "STATIC", "Decoy", WS_POPUP | WS_VISIBLE, 600, 500,
                                  120, 80, nullptr, nullptr, nullptr, nullptr)) {
        SetForegroundWindow(window_);
    }
    ~Decoy() { DestroyWindow(window_); }
    bool InFront() const {
        if (!testing_support::WaitUntil([this] { return GetForegroundWindow() == window_; },
                                        kPatienceMs)) {
            return false;
        }
        // The display's own focus events for the decoy arrive later through this thread's queue;
        // taken afterwards, they would hand the foreground back to the decoy behind the
        // command's back. Let them all arrive now.
        testing_support::WaitUntil([] { return false; }, kFocusSettleMs);
        return GetForegroundWindow() == window_;
    }

private:
    HWND window_;
};

bool ComesToFront(HWND window) {
    return testing_support::WaitUntil([window] { return GetForegroundWindow() == window; },
                                      kPatienceMs);
}

// What the user saw while the first command's dialog was open.
struct Observed {
    bool dialogShown = false;
    bool decoyInFront = false;
    bool secondCommandReturned = false;
    bool dialogStillOpenThen = false;
    bool dialogCameToFront = false;
    int dialogsOpen = 0;
};

// The first command's dialog as the user sees it open; null when it never came.
HWND WaitForFirstDialog(SimulatedUser& person, Observed& seen) {
    HWND dialog = person.WaitForDialog(module_testing::kAddCaption);
    seen.dialogShown = dialog != nullptr;
    return dialog;
}

// What became of the first command's dialog once the second command has returned.
void RecordDialogAfterSecondCommand(Observed& seen, HWND dialog, DWORD firstThread) {
    seen.dialogStillOpenThen = IsWindow(dialog) != FALSE;
    seen.dialogCameToFront = ComesToFront(dialog);
    seen.dialogsOpen = DialogsOfThread(firstThread);
}

// The second command neither waited nor opened a dialog of its own; the open one came forward.
void ExpectDialogBroughtForward(const Observed& seen) {
    ASSERT_TRUE(seen.dialogShown);
    EXPECT_TRUE(seen.decoyInFront) << "another window must hold the foreground first";
    EXPECT_TRUE(seen.secondCommandReturned) << "the second command must not wait";
    EXPECT_TRUE(seen.dialogStillOpenThen);
    EXPECT_TRUE(seen.dialogCameToFront);
    EXPECT_EQ(seen.dialogsOpen, 1);
}

// The browser window on another thread: its own apartment, object and page.
struct OtherBrowserThread {
    std::atomic<bool> done{false};
    HRESULT result = E_UNEXPECTED;
    std::vector<std::string> reads;
    bool withUser = false;  // a user answers (cancels) its dialog, if one comes
    int leftOpen = 0;
    std::string shownDescription;

    void Run() {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        {
            framework::ComPtr<IOleCommandTarget> command = CreateCommand();
            BrowserPage page(Page(L"http://127.0.0.1:9/second", L"Second window"));
            if (command && SetSite(command.Get(), page.site.Get()) == S_OK) {
                if (withUser) {
                    UserSession user([this](SimulatedUser& person) {
                        HWND dialog = person.WaitForDialog(module_testing::kAddCaption);
                        if (!dialog) return;
                        shownDescription = SimulatedUser::Text(dialog, IDC_DESCRIPTION);
                        person.ClickAndWaitClosed(dialog, IDCANCEL);
                    });
                    result = Exec(command.Get());
                    leftOpen = user.LeftOpen();
                } else {
                    result = Exec(command.Get());
                }
                SetSite(command.Get(), nullptr);
            }
            reads = page.log.reads;
        }
        CoUninitialize();
        done = true;
    }
};

TEST(CommandGate, CommandFromAnotherThreadBringsTheOpenDialogForwardInstead) {
    const DWORD firstThread = GetCurrentThreadId();
    framework::ComPtr<IOleCommandTarget> command = CreateCommand();
    BrowserPage page(Page(L"http://127.0.0.1:9/first", L"First window"));
    ASSERT_EQ(SetSite(command.Get(), page.site.Get()), S_OK);
    const size_t addsBefore = module_testing::AddRequestCount();

    OtherBrowserThread other;
    std::thread otherThread;
    Observed seen;
    UserSession user([&](SimulatedUser& person) {
        HWND dialog = WaitForFirstDialog(person, seen);
        if (!dialog) return;
        {
            Decoy decoy;
            seen.decoyInFront = decoy.InFront();
            otherThread = std::thread([&other] { other.Run(); });
            seen.secondCommandReturned =
                testing_support::WaitUntil([&other] { return other.done.load(); }, kPatienceMs);
            RecordDialogAfterSecondCommand(seen, dialog, firstThread);
        }
        person.ClickAndWaitClosed(dialog, IDOK);
    });
    EXPECT_EQ(Exec(command.Get()), S_OK);
    EXPECT_EQ(user.LeftOpen(), 0);
    if (otherThread.joinable()) otherThread.join();

    ExpectDialogBroughtForward(seen);
    EXPECT_EQ(other.result, S_OK);
    EXPECT_TRUE(other.reads.empty()) << "the second command did not run";
    EXPECT_EQ(module_testing::AddRequestCount(), addsBefore + 1) << "only the first page was sent";

    // With the first command over, the other thread's command runs as usual.
    OtherBrowserThread again;
    again.withUser = true;
    std::thread([&again] { again.Run(); }).join();
    EXPECT_EQ(again.result, S_OK);
    EXPECT_EQ(again.leftOpen, 0);
    EXPECT_EQ(again.shownDescription, "Second window");
    EXPECT_EQ(again.reads.size(), 2u);
}

// The browser window with its button, clicked while the dialog is open: the dialog's message
// loop delivers the click, and the command is re-entered on the same thread.
class BrowserButton {
public:
    static constexpr UINT kClick = WM_APP + 1;

    explicit BrowserButton(IOleCommandTarget* command) : command_(command) {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = &BrowserButton::Procedure;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "CorvaneTestBrowserButton";
        RegisterClassA(&windowClass);
        window_ =
            CreateWindowExA(0, windowClass.lpszClassName, "Browser", WS_POPUP | WS_VISIBLE, 500,
                            400, 200, 150, nullptr, nullptr, windowClass.hInstance, nullptr);
        SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~BrowserButton() { DestroyWindow(window_); }

    HWND Window() const { return window_; }

    std::atomic<bool> clicked{false};
    std::atomic<bool> returned{false};
    HRESULT result = E_UNEXPECTED;
    DWORD thread = 0;

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == kClick) {
            auto* self = reinterpret_cast<BrowserButton*>(GetWindowLongPtrA(window, GWLP_USERDATA));
            self->clicked = true;
            self->thread = GetCurrentThreadId();
            self->result = Exec(self->command_);
            self->returned = true;
            return 0;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    }

    IOleCommandTarget* command_;
    HWND window_ = nullptr;
};

TEST(CommandGate, CommandReenteredWhileTheDialogIsOpenBringsItForwardInstead) {
    const DWORD firstThread = GetCurrentThreadId();
    framework::ComPtr<IOleCommandTarget> command = CreateCommand();
    BrowserPage page(Page(L"http://127.0.0.1:9/reentry", L"Clicked twice"));
    ASSERT_EQ(SetSite(command.Get(), page.site.Get()), S_OK);
    BrowserButton button(command.Get());
    const size_t addsBefore = module_testing::AddRequestCount();

    Observed seen;
    UserSession user([&](SimulatedUser& person) {
        HWND dialog = WaitForFirstDialog(person, seen);
        if (!dialog) return;
        // The user goes back to the browser window and clicks its button again.
        SetForegroundWindow(button.Window());
        seen.decoyInFront = ComesToFront(button.Window());
        PostMessageA(button.Window(), BrowserButton::kClick, 0, 0);
        seen.secondCommandReturned =
            testing_support::WaitUntil([&button] { return button.returned.load(); }, kPatienceMs);
        RecordDialogAfterSecondCommand(seen, dialog, firstThread);
        person.ClickAndWaitClosed(dialog, IDOK);
    });
    EXPECT_EQ(Exec(command.Get()), S_OK);
    EXPECT_EQ(user.LeftOpen(), 0);

    ExpectDialogBroughtForward(seen);
    EXPECT_TRUE(button.clicked);
    EXPECT_EQ(button.thread, firstThread) << "re-entered on the dialog's own thread";
    EXPECT_EQ(button.result, S_OK);
    EXPECT_EQ(page.log.reads.size(), 2u) << "the page was read by the first command only";
    EXPECT_EQ(module_testing::AddRequestCount(), addsBefore + 1);
}

}  // namespace
