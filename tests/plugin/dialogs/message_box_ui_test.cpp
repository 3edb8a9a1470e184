// The real message boxes of MessageBoxClientUi, answered by a thread that finds the box of this
// process, reads it and presses one of its buttons.
#include "plugin/dialogs/message_box_ui.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <thread>

namespace {

struct SeenBox {
    bool found = false;
    std::string caption;
    std::string text;
    bool hasOk = false;
    bool hasRetry = false;
    bool hasCancel = false;
    bool hasStopIcon = false;
};

BOOL CALLBACK TakeBoxOfThisProcess(HWND window, LPARAM found) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char className[16] = {};
    GetClassNameA(window, className, sizeof className);
    if (process == GetCurrentProcessId() && std::string(className) == "#32770" &&
        IsWindowVisible(window)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

HWND FindBoxOfThisProcess() {
    HWND box = nullptr;
    EnumWindows(TakeBoxOfThisProcess, reinterpret_cast<LPARAM>(&box));
    return box;
}

bool HasStopIcon(HWND box) {
    const HICON stop = LoadIcon(nullptr, IDI_ERROR);
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0)) == stop) return true;
    }
    return false;
}

// Waits for the box, records what it shows and clicks the button; gives up after 20 s.
std::thread AnswerBox(SeenBox& seen, int button) {
    return std::thread([&seen, button] {
        for (int attempt = 0; attempt < 400; ++attempt) {
            if (HWND box = FindBoxOfThisProcess()) {
                char text[256] = {};
                GetWindowTextA(box, text, sizeof text);
                seen.caption = text;
                GetDlgItemTextA(box, 0xFFFF, text, sizeof text);  // the message text's id
                seen.text = text;
                seen.hasOk = GetDlgItem(box, IDOK) && IsWindowVisible(GetDlgItem(box, IDOK));
                seen.hasRetry = GetDlgItem(box, IDRETRY) != nullptr;
                seen.hasCancel = GetDlgItem(box, IDCANCEL) != nullptr;
                seen.hasStopIcon = HasStopIcon(box);
                seen.found = true;
                PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                             reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
                return;
            }
            Sleep(50);
        }
    });
}

class PlainUi : public plugin::MessageBoxClientUi {
public:
    bool RunOptionsDialog() override { return false; }
    bool RunAddFavoriteDialog(plugin::CTavrello&, plugin::AddFavoriteChoice&) override {
        return false;
    }
    void OpenInBrowser(const std::string&) override {}
};

TEST(MessageBoxClientUi, ShowMessageIsAnOkBoxWithTheStopIcon) {
    PlainUi ui;
    SeenBox seen;
    std::thread answer = AnswerBox(seen, IDOK);
    ui.ShowMessage("Wrong password", "Tavrello Error");
    answer.join();
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.caption, "Tavrello Error");
    EXPECT_EQ(seen.text, "Wrong password");
    EXPECT_TRUE(seen.hasOk);
    EXPECT_FALSE(seen.hasRetry);
    EXPECT_TRUE(seen.hasStopIcon);
}

TEST(MessageBoxClientUi, AskRetryIsTrueOnlyForRetry) {
    const struct {
        int button;
        bool expected;
    } cases[] = {{IDRETRY, true}, {IDCANCEL, false}};
    for (const auto& c : cases) {
        PlainUi ui;
        SeenBox seen;
        std::thread answer = AnswerBox(seen, c.button);
        const bool retry = ui.AskRetry("The service answered with HTTP status 500.", "Error");
        answer.join();
        ASSERT_TRUE(seen.found);
        EXPECT_EQ(retry, c.expected);
        EXPECT_EQ(seen.caption, "Error");
        EXPECT_EQ(seen.text, "The service answered with HTTP status 500.");
        EXPECT_TRUE(seen.hasRetry);
        EXPECT_TRUE(seen.hasCancel);
        EXPECT_TRUE(seen.hasStopIcon);
    }
}

}  // namespace
