// framework::CWindowImpl with real windows on the test thread: class registration, the object
// behind the handle, message-map dispatch, default processing and the exception barrier.
#include "framework/window/window.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr UINT kThrowMessage = WM_APP + 1;
constexpr UINT kDeclinedMessage = WM_APP + 2;
constexpr WORD kCommandSave = 40001;
constexpr WORD kCommandFirstOfRange = 40010;
constexpr WORD kCommandLastOfRange = 40012;

class RecordingWindow : public framework::CWindowImpl<RecordingWindow> {
public:
    DECLARE_WND_CLASS_EX(CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS, COLOR_BTNFACE)

    BEGIN_MSG_MAP(RecordingWindow)
    MESSAGE_HANDLER(WM_CREATE, OnCreate)
    MESSAGE_HANDLER(WM_SETTEXT, OnSetText)
    MESSAGE_HANDLER(kThrowMessage, OnThrow)
    MESSAGE_HANDLER(kDeclinedMessage, OnDeclined)
    COMMAND_ID_HANDLER(kCommandSave, OnSave)
    COMMAND_RANGE_HANDLER(kCommandFirstOfRange, kCommandLastOfRange, OnRange)
    MESSAGE_HANDLER(WM_DESTROY, OnDestroy)
    END_MSG_MAP()

    void OnFinalMessage(HWND hwnd) override { finalHandle = hwnd; }

    LRESULT OnCreate(UINT, WPARAM, LPARAM, BOOL&) {
        handleAtCreate = m_hWnd;
        return 0;
    }
    LRESULT OnSetText(UINT, WPARAM, LPARAM lParam, BOOL& handled) {
        texts.push_back(reinterpret_cast<const char*>(lParam));
        handled = FALSE;  // the default processing still stores the text
        return 0;
    }
    LRESULT OnThrow(UINT, WPARAM, LPARAM, BOOL&) { throw std::runtime_error("handler failed"); }
    LRESULT OnDeclined(UINT, WPARAM, LPARAM, BOOL& handled) {
        ++declined;
        handled = FALSE;
        return 99;
    }
    LRESULT OnSave(WORD code, WORD id, HWND, BOOL&) {
        saves.push_back({code, id});
        return 7;
    }
    LRESULT OnRange(WORD, WORD id, HWND, BOOL&) {
        rangeIds.push_back(id);
        return 0;
    }
    LRESULT OnDestroy(UINT, WPARAM, LPARAM, BOOL&) {
        destroyed = true;
        return 0;
    }

    HWND handleAtCreate = nullptr;
    HWND finalHandle = nullptr;
    std::vector<std::string> texts;
    std::vector<std::pair<WORD, WORD>> saves;
    std::vector<WORD> rangeIds;
    int declined = 0;
    bool destroyed = false;
};

class OtherWindow : public framework::CWindowImpl<OtherWindow> {
public:
    BEGIN_MSG_MAP(OtherWindow)
    END_MSG_MAP()
};

// Refuses creation from WM_CREATE by throwing.
class FailingWindow : public framework::CWindowImpl<FailingWindow> {
public:
    BEGIN_MSG_MAP(FailingWindow)
    MESSAGE_HANDLER(WM_CREATE, OnCreate)
    END_MSG_MAP()
    LRESULT OnCreate(UINT, WPARAM, LPARAM, BOOL&) { throw std::runtime_error("no window"); }
};

const RECT kRect = {10, 20, 210, 170};

TEST(Window, TwoInstancesShareOneClassAndEachFindsItsOwnObject) {
    RecordingWindow first;
    RecordingWindow second;
    ASSERT_TRUE(first.Create(nullptr, kRect, "first"));
    ASSERT_TRUE(second.Create(nullptr, kRect, "second"));

    EXPECT_EQ(first.handleAtCreate, first.m_hWnd) << "this is known before WM_CREATE";
    EXPECT_EQ(second.handleAtCreate, second.m_hWnd);
    EXPECT_NE(first.m_hWnd, second.m_hWnd);
    EXPECT_EQ(first.Handle(), first.m_hWnd);

    const auto atomOf = [](HWND hwnd) { return GetClassWord(hwnd, GCW_ATOM); };
    EXPECT_EQ(atomOf(first), atomOf(second));
    EXPECT_EQ(atomOf(first), RecordingWindow::WindowClass());

    char name[128] = {};
    GetClassNameA(first, name, sizeof name);
    EXPECT_EQ(std::string(name).rfind("Tavrello:", 0), 0u) << name;

    OtherWindow other;
    ASSERT_TRUE(other.Create(nullptr, kRect));
    EXPECT_NE(atomOf(other), atomOf(first)) << "each window type has a class of its own";

    // A message to one window reaches only its own object.
    SetWindowTextA(second, "renamed");
    EXPECT_EQ(second.texts, std::vector<std::string>{"renamed"});
    EXPECT_TRUE(first.texts.empty());
}

TEST(Window, ClassCarriesTheStyleCursorAndBrushTheWindowChose) {
    RecordingWindow window;
    ASSERT_TRUE(window.Create(nullptr, kRect));
    EXPECT_EQ(GetClassLongPtrA(window, GCL_STYLE),
              static_cast<ULONG_PTR>(CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS));
    EXPECT_EQ(GetClassLongPtrA(window, GCLP_HBRBACKGROUND),
              static_cast<ULONG_PTR>(COLOR_BTNFACE + 1));
    EXPECT_EQ(reinterpret_cast<HCURSOR>(GetClassLongPtrA(window, GCLP_HCURSOR)),
              LoadCursorA(nullptr, IDC_ARROW));

    OtherWindow plain;
    ASSERT_TRUE(plain.Create(nullptr, kRect));
    EXPECT_EQ(GetClassLongPtrA(plain, GCL_STYLE), 0u);
    EXPECT_EQ(GetClassLongPtrA(plain, GCLP_HBRBACKGROUND),
              static_cast<ULONG_PTR>(COLOR_WINDOW + 1));
}

TEST(Window, CommandsMatchOnTheLowWordWhateverTheNotificationCode) {
    RecordingWindow window;
    ASSERT_TRUE(window.Create(nullptr, kRect));

    struct Case {
        WPARAM wParam;
        bool reachesSave;
    };
    const Case cases[] = {
        {MAKEWPARAM(kCommandSave, 0), true},          // menu
        {MAKEWPARAM(kCommandSave, 1), true},          // accelerator
        {MAKEWPARAM(kCommandSave, EN_CHANGE), true},  // control notification
        {MAKEWPARAM(kCommandSave + 1, 0), false},     // another id
        {MAKEWPARAM(0, kCommandSave), false},         // the id in the high word only
    };
    for (const Case& c : cases) {
        window.saves.clear();
        const LRESULT result = window.SendMessage(WM_COMMAND, c.wParam, 0);
        EXPECT_EQ(window.saves.size(), c.reachesSave ? 1u : 0u) << std::hex << c.wParam;
        if (c.reachesSave) {
            EXPECT_EQ(result, 7);
            EXPECT_EQ(window.saves[0].first, HIWORD(c.wParam));
            EXPECT_EQ(window.saves[0].second, kCommandSave);
        }
    }

    for (WORD id = kCommandFirstOfRange - 1; id <= kCommandLastOfRange + 1; ++id) {
        window.SendMessage(WM_COMMAND, MAKEWPARAM(id, 0), 0);
    }
    EXPECT_EQ(window.rangeIds, (std::vector<WORD>{kCommandFirstOfRange, kCommandFirstOfRange + 1,
                                                  kCommandLastOfRange}));
}

TEST(Window, UnhandledMessagesGetDefaultProcessing) {
    RecordingWindow window;
    ASSERT_TRUE(window.Create(nullptr, kRect, "caption"));
    // No handler for WM_GETTEXT: the default procedure answers with the stored text.
    EXPECT_EQ(window.GetWindowText(), "caption");
    // WM_SETTEXT is seen and declined, so the default procedure still stores the text.
    EXPECT_TRUE(window.SetWindowText("new caption"));
    EXPECT_EQ(window.GetWindowText(), "new caption");
    // A declined message's own result is replaced by the default procedure's (0 here).
    EXPECT_EQ(window.SendMessage(kDeclinedMessage), 0);
    EXPECT_EQ(window.declined, 1);
    // WM_NCHITTEST has no handler: the default answer for a point inside the client area.
    const RECT client = window.GetWindowRect();
    EXPECT_NE(window.SendMessage(
                  WM_NCHITTEST, 0,
                  MAKELPARAM((client.left + client.right) / 2, (client.top + client.bottom) / 2)),
              HTNOWHERE);
}

TEST(Window, ThrowingHandlerDoesNotUnwindThroughTheWindowProcedure) {
    RecordingWindow window;
    ASSERT_TRUE(window.Create(nullptr, kRect));
    bool escaped = false;
    LRESULT result = -5;
    try {
        result = window.SendMessage(kThrowMessage, 1, 2);
    } catch (...) {
        escaped = true;
    }
    EXPECT_FALSE(escaped);
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(window.IsWindow()) << "the window goes on working";
    window.SendMessage(WM_COMMAND, MAKEWPARAM(kCommandSave, 0), 0);
    EXPECT_EQ(window.saves.size(), 1u);
}

TEST(Window, ThrowingCreateHandlerFailsTheCreation) {
    FailingWindow window;
    EXPECT_EQ(window.Create(nullptr, kRect), nullptr);
    EXPECT_EQ(window.m_hWnd, nullptr);
}

TEST(Window, DestroyingClearsTheHandleAndEndsWithTheFinalMessage) {
    RecordingWindow window;
    HWND hwnd = window.Create(nullptr, kRect);
    ASSERT_TRUE(hwnd);
    EXPECT_TRUE(window.DestroyWindow());
    EXPECT_TRUE(window.destroyed);
    EXPECT_EQ(window.m_hWnd, nullptr);
    EXPECT_EQ(window.finalHandle, hwnd);
    EXPECT_FALSE(IsWindow(hwnd));
}

TEST(Window, ObjectGoingOutOfScopeDestroysItsWindowWithoutReachingTheMap) {
    HWND hwnd = nullptr;
    {
        RecordingWindow window;
        hwnd = window.Create(nullptr, kRect);
        ASSERT_TRUE(hwnd);
    }
    EXPECT_FALSE(IsWindow(hwnd));
}

TEST(Window, ChildWindowGetsItsIdAndParent) {
    RecordingWindow parent;
    ASSERT_TRUE(parent.Create(nullptr, kRect));
    OtherWindow child;
    ASSERT_TRUE(child.Create(parent, RECT{0, 0, 50, 40}, nullptr, WS_CHILD | WS_VISIBLE, 0,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(321))));
    EXPECT_EQ(GetParent(child), parent.m_hWnd);
    EXPECT_EQ(GetDlgCtrlID(child), 321);
    EXPECT_EQ(parent.GetDlgItem(321), child.m_hWnd);
    const RECT client = child.GetClientRect();
    EXPECT_EQ(client.right, 50);
    EXPECT_EQ(client.bottom, 40);
}

TEST(Window, ResourceModuleDefaultsToTheCodeModuleAndCanBeChanged) {
    EXPECT_EQ(framework::CodeInstance(), GetModuleHandleA(nullptr));
    EXPECT_EQ(framework::ResourceInstance(), framework::CodeInstance());
    const HINSTANCE other = GetModuleHandleA("kernel32.dll");
    framework::SetResourceInstance(other);
    EXPECT_EQ(framework::ResourceInstance(), other);
    framework::SetResourceInstance(nullptr);
    EXPECT_EQ(framework::ResourceInstance(), framework::CodeInstance());
}

}  // namespace
