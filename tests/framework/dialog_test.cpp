// Modal dialogs from the test's own templates, driven by a second thread the way a user would:
// it finds the dialog, types, clicks and reads back.
#include "framework/window/dialog.h"

#include <exdisp.h>
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <thread>

#include "framework/window/ax_host.h"
#include "tests/framework/framework_test_resources.h"

namespace {

constexpr UINT kEndWithLParam = WM_APP + 1;
constexpr UINT kThrow = WM_APP + 2;
constexpr UINT kTestNotifyCode = 0x4711;

class NameDialog : public framework::CAxDialogImpl<NameDialog> {
public:
    enum { IDD = IDD_TEST_NAME };

    BEGIN_MSG_MAP(NameDialog)
    MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
    MESSAGE_HANDLER(kEndWithLParam, OnEndWithLParam)
    MESSAGE_HANDLER(kThrow, OnThrow)
    COMMAND_HANDLER(IDOK, BN_CLICKED, OnOk)
    COMMAND_HANDLER(IDCANCEL, BN_CLICKED, OnCancel)
    COMMAND_HANDLER(IDC_TEST_COUNT, BN_CLICKED, OnCount)
    NOTIFY_HANDLER(IDC_TEST_COUNT, kTestNotifyCode, OnNotify)
    END_MSG_MAP()

    LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL&) {
        SetDlgItemText(IDC_TEST_NAME, name.c_str());
        return TRUE;
    }
    LRESULT OnEndWithLParam(UINT, WPARAM, LPARAM lParam, BOOL&) {
        EndDialog(lParam);
        return 0;
    }
    LRESULT OnThrow(UINT, WPARAM, LPARAM, BOOL&) { throw std::runtime_error("handler failed"); }
    LRESULT OnOk(WORD, WORD, HWND, BOOL&) {
        name = GetDlgItemText(IDC_TEST_NAME);
        EndDialog(IDOK);
        return 0;
    }
    LRESULT OnCancel(WORD, WORD, HWND, BOOL&) {
        EndDialog(IDCANCEL);
        return 0;
    }
    LRESULT OnCount(WORD, WORD, HWND, BOOL&) {
        ++clicks;
        return 0;
    }
    LRESULT OnNotify(int controlId, NMHDR* header, BOOL&) {
        notifiedId = controlId;
        notifiedCode = header->code;
        return 42;
    }

    std::string name;
    int clicks = 0;
    int notifiedId = 0;
    UINT notifiedCode = 0;
};

// The plain base runs the same template.
class PlainDialog : public framework::CDialogImpl<PlainDialog> {
public:
    enum { IDD = IDD_TEST_NAME };
    BEGIN_MSG_MAP(PlainDialog)
    COMMAND_HANDLER(IDOK, BN_CLICKED, OnOk)
    END_MSG_MAP()
    LRESULT OnOk(WORD, WORD, HWND, BOOL&) {
        EndDialog(IDOK);
        return 0;
    }
};

// Waits on its own thread for a visible dialog of the given thread, then acts on it.
class DialogDriver {
public:
    explicit DialogDriver(std::function<void(HWND)> action)
        : ownerThread_(GetCurrentThreadId()), thread_([this, action] {
              HWND dialog = WaitForDialog();
              found_ = dialog != nullptr;
              if (dialog) action(dialog);
          }) {}
    ~DialogDriver() { Join(); }

    void Join() {
        if (thread_.joinable()) thread_.join();
    }
    bool Found() {
        Join();
        return found_;
    }

private:
    HWND WaitForDialog() const {
        // Bounded so that a dialog that never appears ends the test instead of hanging it.
        for (int attempt = 0; attempt < 1000; ++attempt) {
            HWND found = nullptr;
            EnumThreadWindows(ownerThread_, &TakeVisibleDialog, reinterpret_cast<LPARAM>(&found));
            if (found) return found;
            Sleep(10);
        }
        return nullptr;
    }

    static BOOL CALLBACK TakeVisibleDialog(HWND hwnd, LPARAM out) {
        char name[16] = {};
        GetClassNameA(hwnd, name, sizeof name);
        if (std::string(name) == "#32770" && IsWindowVisible(hwnd)) {
            *reinterpret_cast<HWND*>(out) = hwnd;
            return FALSE;
        }
        return TRUE;
    }

    DWORD ownerThread_;
    bool found_ = false;
    std::thread thread_;
};

std::string TextOf(HWND dialog, int id) {
    char text[256] = {};
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

void Click(HWND dialog, int id) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

TEST(Dialog, OkReturnsItsCodeAndTheTextTypedIntoTheEdit) {
    NameDialog dialog;
    dialog.name = "preset";
    std::string shownAtStart;
    std::string caption;
    DialogDriver driver([&](HWND hwnd) {
        shownAtStart = TextOf(hwnd, IDC_TEST_NAME);
        char text[64] = {};
        GetWindowTextA(hwnd, text, sizeof text);
        caption = text;
        SetDlgItemTextA(hwnd, IDC_TEST_NAME, "Ann Smith");
        Click(hwnd, IDOK);
    });
    EXPECT_EQ(dialog.DoModal(nullptr), IDOK);
    EXPECT_TRUE(driver.Found());
    EXPECT_EQ(shownAtStart, "preset");
    EXPECT_EQ(caption, "Framework test");
    EXPECT_EQ(dialog.name, "Ann Smith");
    EXPECT_EQ(dialog.m_hWnd, nullptr) << "the object lets go of the destroyed dialog";
}

TEST(Dialog, CancelReturnsItsCodeAndKeepsTheField) {
    NameDialog dialog;
    dialog.name = "before";
    DialogDriver driver([](HWND hwnd) {
        SetDlgItemTextA(hwnd, IDC_TEST_NAME, "typed but cancelled");
        Click(hwnd, IDCANCEL);
    });
    EXPECT_EQ(dialog.DoModal(nullptr), IDCANCEL);
    EXPECT_TRUE(driver.Found());
    EXPECT_EQ(dialog.name, "before");
}

TEST(Dialog, EndDialogCodeComesBackFromDoModal) {
    NameDialog dialog;
    DialogDriver driver([](HWND hwnd) { PostMessageA(hwnd, kEndWithLParam, 0, 1234); });
    EXPECT_EQ(dialog.DoModal(nullptr), 1234);
    EXPECT_TRUE(driver.Found());
}

TEST(Dialog, OnlyButtonClicksReachAClickHandler) {
    NameDialog dialog;
    DialogDriver driver([](HWND hwnd) {
        const HWND button = GetDlgItem(hwnd, IDC_TEST_COUNT);
        const LPARAM control = reinterpret_cast<LPARAM>(button);
        // Other notification codes of the same id pass by the handler.
        SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDC_TEST_COUNT, BN_DOUBLECLICKED), control);
        SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDC_TEST_COUNT, BN_SETFOCUS), control);
        SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDC_TEST_COUNT, 1), 0);
        // OK with a non-zero code does not end the dialog.
        SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDOK, EN_CHANGE), 0);
        // A real click of the button, and a posted click.
        SendMessageA(button, BM_CLICK, 0, 0);
        SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDC_TEST_COUNT, BN_CLICKED), control);
        Click(hwnd, IDOK);
    });
    EXPECT_EQ(dialog.DoModal(nullptr), IDOK);
    EXPECT_TRUE(driver.Found());
    EXPECT_EQ(dialog.clicks, 2);
}

TEST(Dialog, NotifyReachesItsHandlerAndReturnsTheResult) {
    NameDialog dialog;
    LRESULT matched = -1;
    LRESULT otherCode = -1;
    DialogDriver driver([&](HWND hwnd) {
        NMHDR header = {GetDlgItem(hwnd, IDC_TEST_COUNT), IDC_TEST_COUNT, kTestNotifyCode};
        matched = SendMessageA(hwnd, WM_NOTIFY, IDC_TEST_COUNT, reinterpret_cast<LPARAM>(&header));
        NMHDR other = {GetDlgItem(hwnd, IDC_TEST_COUNT), IDC_TEST_COUNT, kTestNotifyCode + 1};
        otherCode = SendMessageA(hwnd, WM_NOTIFY, IDC_TEST_COUNT, reinterpret_cast<LPARAM>(&other));
        Click(hwnd, IDCANCEL);
    });
    EXPECT_EQ(dialog.DoModal(nullptr), IDCANCEL);
    EXPECT_TRUE(driver.Found());
    EXPECT_EQ(matched, 42) << "a handled WM_NOTIFY answers through DWLP_MSGRESULT";
    EXPECT_EQ(otherCode, 0);
    EXPECT_EQ(dialog.notifiedId, IDC_TEST_COUNT);
    EXPECT_EQ(dialog.notifiedCode, kTestNotifyCode);
}

TEST(Dialog, ThrowingHandlerDoesNotUnwindThroughTheDialogManager) {
    NameDialog dialog;
    bool escaped = false;
    DialogDriver driver([&](HWND hwnd) {
        try {
            SendMessageA(hwnd, kThrow, 0, 0);
        } catch (...) {
            escaped = true;
        }
        Click(hwnd, IDOK);
    });
    bool escapedOnOwnThread = false;
    INT_PTR code = 0;
    try {
        code = dialog.DoModal(nullptr);
    } catch (...) {
        escapedOnOwnThread = true;
    }
    EXPECT_TRUE(driver.Found());
    EXPECT_FALSE(escaped);
    EXPECT_FALSE(escapedOnOwnThread);
    EXPECT_EQ(code, IDOK) << "the dialog goes on working after the failed handler";
}

TEST(Dialog, PlainDialogBaseRunsTheSameTemplate) {
    PlainDialog dialog;
    DialogDriver driver([](HWND hwnd) { Click(hwnd, IDOK); });
    EXPECT_EQ(dialog.DoModal(nullptr), IDOK);
    EXPECT_TRUE(driver.Found());
}

TEST(Dialog, TemplatesComeFromTheSettableResourceModule) {
    // kernel32 holds no such template: the run fails at once, without a dialog.
    framework::SetResourceInstance(GetModuleHandleA("kernel32.dll"));
    NameDialog dialog;
    const INT_PTR code = dialog.DoModal(nullptr);
    framework::SetResourceInstance(nullptr);
    EXPECT_EQ(code, -1);

    DialogDriver driver([](HWND hwnd) { Click(hwnd, IDOK); });
    EXPECT_EQ(dialog.DoModal(nullptr), IDOK) << "back on the test's own module";
    EXPECT_TRUE(driver.Found());
}

// A template that holds a hosted WebBrowser control.
class HostDialog : public framework::CAxDialogImpl<HostDialog> {
public:
    enum { IDD = IDD_TEST_HOST };
    BEGIN_MSG_MAP(HostDialog)
    MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
    END_MSG_MAP()

    LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL&) {
        framework::ComPtr<IUnknown> control = framework::HostedControl(GetDlgItem(IDC_TEST_HOST));
        hasControl = static_cast<bool>(control);
        framework::ComPtr<IWebBrowser2> browser;
        answersWebBrowser = SUCCEEDED(control.QueryInterface(browser));
        EndDialog(IDOK);
        return TRUE;
    }

    bool hasControl = false;
    bool answersWebBrowser = false;
};

TEST(Dialog, ControlHostingDialogCreatesTheControlsOfItsTemplate) {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    {
        HostDialog dialog;
        EXPECT_EQ(dialog.DoModal(nullptr), IDOK);
        EXPECT_TRUE(dialog.hasControl);
        EXPECT_TRUE(dialog.answersWebBrowser);
    }
    CoUninitialize();
}

}  // namespace
