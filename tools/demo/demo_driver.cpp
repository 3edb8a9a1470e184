// The hands of the unattended demo and of the picture script: finds the windows of the other
// programs by caption and types, clicks and picks in them, one step per run.
//
//   DemoDriver.exe wait    <caption> [seconds]       a shown, enabled window with that caption
//   DemoDriver.exe type    <caption> <id> <text>     sets the text of control <id>
//   DemoDriver.exe click   <caption> <id>            presses button <id> (returns at once)
//   DemoDriver.exe select  <caption> <id> <text>     selects the tree item with that text
//   DemoDriver.exe command <caption> <command-id>    posts a menu command to the window, shown
//                                                    or hidden
//   DemoDriver.exe tray    <caption> left|right      a click on the hidden window's
//                                                    notification-area icon
//   DemoDriver.exe exists  <caption> [seconds]       a window with that caption, even hidden
//   DemoDriver.exe rect    <caption>                 prints "x y width height" of the window
//   DemoDriver.exe dismiss menu                      closes the pop-up menu shown (Escape)
//
// The caption "menu" stands for the pop-up menu shown, whatever its owner.
// Exit code 0 on success, 1 when the window, control or item is not there, 2 on a usage error.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

// Notification-area callback of Zephlist.exe (resources/tray/resource.h).
constexpr UINT kTrayCallback = WM_APP + 500;

struct WindowQuery {
    const wchar_t* caption = nullptr;  // null: a shown pop-up menu
    bool shownOnly = true;             // false: also hidden and disabled windows
    HWND found = nullptr;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM context) {
    auto* query = reinterpret_cast<WindowQuery*>(context);
    if (query->shownOnly && (!IsWindowVisible(window) || !IsWindowEnabled(window))) return TRUE;
    wchar_t text[256] = L"";
    if (query->caption) {
        GetWindowTextW(window, text, 256);
        if (std::wcscmp(text, query->caption) != 0) return TRUE;
    } else {
        GetClassNameW(window, text, 256);
        if (std::wcscmp(text, L"#32768") != 0) return TRUE;
    }
    query->found = window;
    return FALSE;
}

HWND FindShownWindow(const wchar_t* caption, bool shownOnly = true) {
    WindowQuery query;
    query.caption = std::wcscmp(caption, L"menu") == 0 ? nullptr : caption;
    query.shownOnly = shownOnly;
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&query));
    return query.found;
}

HWND WaitForShownWindow(const wchar_t* caption, DWORD timeoutMs, bool shownOnly = true) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (HWND window = FindShownWindow(caption, shownOnly)) return window;
        if (GetTickCount() - start > timeoutMs) return nullptr;
        Sleep(50);
    }
}

// Memory in another process for the tree view's item queries, which carry pointers.
class RemoteBuffer {
public:
    RemoteBuffer(HWND owner, SIZE_T size) : size_(size) {
        DWORD processId = 0;
        GetWindowThreadProcessId(owner, &processId);
        process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE,
                               processId);
        if (process_) {
            address_ = static_cast<char*>(
                VirtualAllocEx(process_, nullptr, size, MEM_COMMIT, PAGE_READWRITE));
        }
    }
    ~RemoteBuffer() {
        if (address_) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
        if (process_) CloseHandle(process_);
    }
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;

    char* Address() const { return address_; }
    bool Write(SIZE_T offset, const void* data, SIZE_T size) const {
        return offset + size <= size_ &&
               WriteProcessMemory(process_, address_ + offset, data, size, nullptr);
    }
    bool Read(SIZE_T offset, void* data, SIZE_T size) const {
        return offset + size <= size_ &&
               ReadProcessMemory(process_, address_ + offset, data, size, nullptr);
    }

private:
    HANDLE process_ = nullptr;
    char* address_ = nullptr;
    SIZE_T size_;
};

std::wstring ItemText(HWND tree, HTREEITEM item, const RemoteBuffer& buffer) {
    constexpr SIZE_T kTextOffset = sizeof(TVITEMW);
    constexpr int kTextChars = 256;
    TVITEMW query{};
    query.mask = TVIF_TEXT | TVIF_HANDLE;
    query.hItem = item;
    query.pszText = reinterpret_cast<wchar_t*>(buffer.Address() + kTextOffset);
    query.cchTextMax = kTextChars;
    if (!buffer.Write(0, &query, sizeof query)) return L"";
    if (!SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(buffer.Address()))) {
        return L"";
    }
    wchar_t text[kTextChars] = L"";
    buffer.Read(kTextOffset, text, sizeof text);
    text[kTextChars - 1] = L'\0';
    return text;
}

// Depth first through the tree, the way it is shown.
HTREEITEM FindItem(HWND tree, HTREEITEM item, const std::wstring& text,
                   const RemoteBuffer& buffer) {
    for (; item; item = TreeView_GetNextSibling(tree, item)) {
        if (ItemText(tree, item, buffer) == text) return item;
        if (HTREEITEM inner = FindItem(tree, TreeView_GetChild(tree, item), text, buffer)) {
            return inner;
        }
    }
    return nullptr;
}

int Select(HWND dialog, int id, const std::wstring& text) {
    HWND tree = GetDlgItem(dialog, id);
    if (!tree) return 1;
    RemoteBuffer buffer(tree, sizeof(TVITEMW) + 256 * sizeof(wchar_t));
    if (!buffer.Address()) return 1;
    HTREEITEM item = FindItem(tree, TreeView_GetRoot(tree), text, buffer);
    if (!item) return 1;
    TreeView_SelectItem(tree, item);
    TreeView_EnsureVisible(tree, item);
    return 0;
}

int PrintRect(HWND window) {
    RECT rect;
    if (!GetWindowRect(window, &rect)) return 1;
    std::printf("%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left,
                rect.bottom - rect.top);
    return 0;
}

int Usage() {
    std::printf(
        "usage: DemoDriver.exe wait|exists|type|click|select|command|tray|rect|dismiss <caption> "
        "...\n");
    return 2;
}

int Run(const std::vector<std::wstring>& args) {
    if (args.size() < 3) return Usage();
    const std::wstring& verb = args[1];
    const std::wstring& caption = args[2];

    if (verb == L"wait" || verb == L"exists") {
        const DWORD seconds = args.size() > 3 ? wcstoul(args[3].c_str(), nullptr, 10) : 30;
        return WaitForShownWindow(caption.c_str(), seconds * 1000, verb == L"wait") ? 0 : 1;
    }
    if (verb == L"rect") {
        HWND window = FindShownWindow(caption.c_str());
        return window ? PrintRect(window) : 1;
    }
    if (verb == L"dismiss") {
        // The menu's modal loop reads the keys posted to its thread.
        HWND menu = FindShownWindow(caption.c_str());
        if (!menu) return 1;
        PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 1);
        PostMessageW(menu, WM_KEYUP, VK_ESCAPE, 0xC0000001);
        return 0;
    }

    // A tray program's window is hidden until its icon is clicked.
    const bool shownOnly = verb != L"tray" && verb != L"command";
    HWND window = WaitForShownWindow(caption.c_str(), 10000, shownOnly);
    if (!window) return 1;
    if (verb == L"tray" && args.size() == 4) {
        const bool right = args[3] == L"right";
        PostMessageW(window, kTrayCallback, 0, right ? WM_RBUTTONDOWN : WM_LBUTTONDOWN);
        PostMessageW(window, kTrayCallback, 0, right ? WM_RBUTTONUP : WM_LBUTTONUP);
        return 0;
    }
    if (args.size() < 4) return Usage();
    const int id = static_cast<int>(wcstol(args[3].c_str(), nullptr, 10));
    if (verb == L"command") {
        return PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, 0), 0) ? 0 : 1;
    }
    HWND control = GetDlgItem(window, id);
    if (!control) return 1;
    if (verb == L"click") {
        return PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                            reinterpret_cast<LPARAM>(control))
                   ? 0
                   : 1;
    }
    if (args.size() < 5) return Usage();
    if (verb == L"type") {
        return SendMessageW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(args[4].c_str())) ? 0
                                                                                               : 1;
    }
    if (verb == L"select") return Select(window, id, args[4]);
    return Usage();
}

}  // namespace

int main() {
    int count = 0;
    LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!words) return 2;
    std::vector<std::wstring> args(words, words + count);
    LocalFree(words);
    const int result = Run(args);
    std::fflush(stdout);
    return result;
}
