#include "tests/support/simulated_user.h"

#include <gtest/gtest.h>

namespace dialog_testing {

namespace {

// Bounds every wait so that a dialog that never comes ends the test instead of hanging it.
constexpr DWORD kWaitMs = 10000;
constexpr DWORD kPollMs = 10;

struct Search {
    const std::wstring* caption;
    HWND found;
};

BOOL CALLBACK TakeDialog(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<Search*>(context);
    char className[16] = {};
    GetClassNameA(window, className, sizeof className);
    if (std::string(className) != "#32770" || !IsWindowVisible(window) ||
        !IsWindowEnabled(window)) {
        return TRUE;
    }
    if (search->caption && SimulatedUser::WideText(window) != *search->caption) return TRUE;
    search->found = window;
    return FALSE;
}

template <typename Predicate>
bool PollUntil(Predicate predicate) {
    const DWORD start = GetTickCount();
    while (!predicate()) {
        if (GetTickCount() - start > kWaitMs) return false;
        Sleep(kPollMs);
    }
    return true;
}

}  // namespace

HWND SimulatedUser::FindDialog(const std::wstring* caption) const {
    Search search = {caption, nullptr};
    EnumThreadWindows(dialogThread_, &TakeDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND SimulatedUser::WaitForDialog(const std::wstring& caption) {
    HWND found = nullptr;
    PollUntil([&] { return (found = FindDialog(&caption)) != nullptr; });
    return found;
}

HWND SimulatedUser::WaitForAnyDialog() {
    HWND found = nullptr;
    PollUntil([&] { return (found = FindDialog(nullptr)) != nullptr; });
    return found;
}

bool SimulatedUser::WaitUntilClosed(HWND dialog) {
    return PollUntil([&] { return !IsWindow(dialog); });
}

std::string SimulatedUser::Text(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    const int length = GetWindowTextLengthA(control);
    std::string text(static_cast<size_t>(length > 0 ? length : 0) + 1, '\0');
    const int copied = GetWindowTextA(control, text.data(), static_cast<int>(text.size()));
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}

std::wstring SimulatedUser::WideText(HWND window) {
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    return text;
}

void SimulatedUser::Type(HWND dialog, int id, const std::string& text) {
    SetDlgItemTextA(dialog, id, text.c_str());
}

void SimulatedUser::Click(HWND dialog, int id) {
    PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void SimulatedUser::Press(HWND dialog, int id) {
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void SimulatedUser::PressEscape(HWND dialog) {
    // The modal loop's keyboard handling turns Esc on any control into IDCANCEL.
    HWND target = GetDlgItem(dialog, IDOK);
    PostMessageA(target ? target : dialog, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
}

void SimulatedUser::PostKey(HWND dialog, WPARAM key) {
    HWND focus = Focus(dialog);
    PostMessageA(focus ? focus : dialog, WM_KEYDOWN, key, 0x00000001);
    PostMessageA(focus ? focus : dialog, WM_KEYUP, key, 0xC0000001);
}

HWND SimulatedUser::PressTab(HWND dialog) {
    HWND before = Focus(dialog);
    PostKey(dialog, VK_TAB);
    HWND after = nullptr;
    PollUntil([&] { return (after = Focus(dialog)) != before; });
    return after != before ? after : nullptr;
}

bool SimulatedUser::ClickAndWaitClosed(HWND dialog, int id) {
    Click(dialog, id);
    return WaitUntilClosed(dialog);
}

HWND SimulatedUser::Tree(HWND dialog) {
    return GetDlgItem(dialog, 207);
}

std::vector<TreeEntry> SimulatedUser::TreeEntries(HWND tree) {
    std::vector<TreeEntry> entries;
    auto item = reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
    while (item) {
        char text[512] = {};
        TVITEMA query = {};
        query.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_HANDLE;
        query.hItem = item;
        query.pszText = text;
        query.cchTextMax = sizeof text;
        SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&query));
        entries.push_back({item, text, query.iImage});
        item = reinterpret_cast<HTREEITEM>(
            SendMessageA(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item)));
    }
    return entries;
}

std::string SimulatedUser::SelectedText(HWND tree) {
    auto selected = reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    for (const TreeEntry& entry : TreeEntries(tree)) {
        if (entry.item == selected) return entry.text;
    }
    return "(nothing selected)";
}

bool SimulatedUser::SelectByText(HWND tree, const std::string& text) {
    for (const TreeEntry& entry : TreeEntries(tree)) {
        if (entry.text == text) {
            return SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET,
                                reinterpret_cast<LPARAM>(entry.item)) != 0;
        }
    }
    return false;
}

bool SimulatedUser::SelectAt(HWND tree, size_t position) {
    const std::vector<TreeEntry> entries = TreeEntries(tree);
    if (position >= entries.size()) return false;
    return SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET,
                        reinterpret_cast<LPARAM>(entries[position].item)) != 0;
}

RECT SimulatedUser::RectInDialog(HWND dialog, HWND control) {
    RECT rect = {};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

int SimulatedUser::Height(HWND window) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    return rect.bottom - rect.top;
}

HWND SimulatedUser::Focus(HWND dialog) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info);
    return info.hwndFocus;
}

UserSession::UserSession(std::function<void(SimulatedUser&)> actions)
    : user_(GetCurrentThreadId()), thread_([this, actions] {
          actions(user_);
          // Whatever is still open now was not meant to be: cancel it until the test thread
          // is back from its modal call.
          while (!finished_) {
              Sleep(50);
              if (finished_) break;
              HWND dialog = user_.CurrentDialog();
              if (dialog) {
                  ++leftOpen_;
                  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
                  user_.WaitUntilClosed(dialog);
              }
          }
      }) {}

UserSession::~UserSession() {
    Finish();
}

void UserSession::Finish() {
    finished_ = true;
    if (thread_.joinable()) thread_.join();
}

DialogRun RunWithUser(const std::wstring& caption, const DialogActions& actions,
                      const std::function<INT_PTR()>& modal) {
    DialogRun run;
    bool shown = false;
    UserSession session([&](SimulatedUser& user) {
        HWND dialog = user.WaitForDialog(caption);
        shown = dialog != nullptr;
        if (dialog) actions(user, dialog);
    });
    run.result = modal();
    run.leftOpen = session.LeftOpen();  // the user's thread has ended here
    run.shown = shown;
    return run;
}

INT_PTR RunUntilClosed(const std::wstring& caption, const DialogActions& actions,
                       const std::function<INT_PTR()>& modal) {
    const DialogRun run = RunWithUser(caption, actions, modal);
    EXPECT_TRUE(run.shown) << "the dialog never appeared";
    EXPECT_EQ(run.leftOpen, 0) << "the user's actions left a dialog open";
    return run.result;
}

DanishThread::DanishThread() : locale_(GetThreadLocale()), uiLanguage_(GetThreadUILanguage()) {
    // Wine's resource lookup follows the thread locale, Windows' the UI language: set both.
    SetThreadLocale(MAKELCID(MAKELANGID(LANG_DANISH, SUBLANG_DEFAULT), SORT_DEFAULT));
    SetThreadUILanguage(MAKELANGID(LANG_DANISH, SUBLANG_DEFAULT));
}

DanishThread::~DanishThread() {
    SetThreadLocale(locale_);
    SetThreadUILanguage(uiLanguage_);
}

}  // namespace dialog_testing
