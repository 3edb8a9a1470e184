// Window procedure, class registration and the handle wrapper's calls.
#include "framework/window/window.h"

#include <cstdint>
#include <string>

namespace framework {

namespace {

// The address in hexadecimal digits. Written out here because the C library's formatted
// printing would bring its whole formatter into each binary for this one name.
void AppendHex(std::string& text, const void* address) {
    const auto value = reinterpret_cast<std::uintptr_t>(address);
    for (int shift = static_cast<int>(sizeof value * 8) - 4; shift >= 0; shift -= 4) {
        text += "0123456789ABCDEF"[(value >> shift) & 0xF];
    }
}

}  // namespace

ATOM RegisterGeneratedWindowClass(const void* key, const WindowClassOptions& options,
                                  WNDPROC procedure) {
    // The key's address is unique per derived type, and the module handle keeps two modules
    // of one process that both link the framework apart.
    std::string name = "Tavrello:";
    AppendHex(name, CodeInstance());
    name += ':';
    AppendHex(name, key);
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = options.style;
    windowClass.lpfnWndProc = procedure;
    windowClass.cbWndExtra = sizeof(LONG_PTR);
    windowClass.hInstance = CodeInstance();
    windowClass.hIcon = options.icon;
    windowClass.hCursor = options.cursor ? LoadCursorA(nullptr, options.cursor) : nullptr;
    windowClass.hbrBackground = options.background;
    windowClass.lpszClassName = options.name ? options.name : name.c_str();
    return RegisterClassExA(&windowClass);
}

HWND CWindow::Detach() {
    HWND hwnd = m_hWnd;
    m_hWnd = nullptr;
    return hwnd;
}

BOOL CWindow::DestroyWindow() {
    if (!m_hWnd) return FALSE;
    // WM_NCDESTROY clears m_hWnd for framework windows; plain handles are cleared here.
    const BOOL destroyed = ::DestroyWindow(m_hWnd);
    if (destroyed) m_hWnd = nullptr;
    return destroyed;
}

LRESULT CWindow::SendMessage(UINT msg, WPARAM wParam, LPARAM lParam) const {
    return ::SendMessageA(m_hWnd, msg, wParam, lParam);
}

BOOL CWindow::PostMessage(UINT msg, WPARAM wParam, LPARAM lParam) const {
    return ::PostMessageA(m_hWnd, msg, wParam, lParam);
}

BOOL CWindow::ShowWindow(int showCommand) const {
    return ::ShowWindow(m_hWnd, showCommand);
}

BOOL CWindow::SetWindowPos(HWND insertAfter, int x, int y, int cx, int cy, UINT flags) const {
    return ::SetWindowPos(m_hWnd, insertAfter, x, y, cx, cy, flags);
}

BOOL CWindow::MoveWindow(int x, int y, int width, int height, BOOL repaint) const {
    return ::MoveWindow(m_hWnd, x, y, width, height, repaint);
}

RECT CWindow::GetClientRect() const {
    RECT rect = {};
    ::GetClientRect(m_hWnd, &rect);
    return rect;
}

RECT CWindow::GetWindowRect() const {
    RECT rect = {};
    ::GetWindowRect(m_hWnd, &rect);
    return rect;
}

namespace {

std::string TextOf(HWND hwnd) {
    const int length = GetWindowTextLengthA(hwnd);
    if (length <= 0) return {};
    std::string text(static_cast<size_t>(length) + 1, '\0');
    const int copied = GetWindowTextA(hwnd, text.data(), length + 1);
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}

}  // namespace

std::string CWindow::GetWindowText() const {
    return TextOf(m_hWnd);
}

BOOL CWindow::SetWindowText(const char* text) const {
    return ::SetWindowTextA(m_hWnd, text);
}

HWND CWindow::GetDlgItem(int id) const {
    return ::GetDlgItem(m_hWnd, id);
}

std::string CWindow::GetDlgItemText(int id) const {
    return TextOf(GetDlgItem(id));
}

BOOL CWindow::SetDlgItemText(int id, const char* text) const {
    return ::SetDlgItemTextA(m_hWnd, id, text);
}

CWindowImplBase::~CWindowImplBase() {
    if (m_hWnd && ::IsWindow(m_hWnd)) {
        SetWindowLongPtrA(m_hWnd, 0, 0);
        ::DestroyWindow(m_hWnd);
    }
    m_hWnd = nullptr;
}

LRESULT CWindowImplBase::DefWindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    return ::DefWindowProcA(m_hWnd, msg, wParam, lParam);
}

HWND CWindowImplBase::CreateWithClass(ATOM windowClass, HWND parent, const RECT& rect,
                                      const char* windowName, DWORD style, DWORD exStyle,
                                      HMENU menuOrId) {
    if (!windowClass || m_hWnd) return nullptr;
    // m_hWnd is set at WM_NCCREATE, before any handler runs.
    HWND hwnd = CreateWindowExA(exStyle, MAKEINTATOM(windowClass), windowName, style, rect.left,
                                rect.top, rect.right - rect.left, rect.bottom - rect.top, parent,
                                menuOrId, framework::CodeInstance(), this);
    if (!hwnd) m_hWnd = nullptr;
    return hwnd;
}

LRESULT CALLBACK CWindowImplBase::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    CWindowImplBase* window = nullptr;
    if (msg == WM_NCCREATE) {
        window =
            static_cast<CWindowImplBase*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        SetWindowLongPtrA(hwnd, 0, reinterpret_cast<LONG_PTR>(window));
        if (window) window->m_hWnd = hwnd;
    } else {
        window = reinterpret_cast<CWindowImplBase*>(GetWindowLongPtrA(hwnd, 0));
    }
    if (!window) return ::DefWindowProcA(hwnd, msg, wParam, lParam);

    LRESULT result = 0;
    bool handled = false;
    try {
        handled = window->ProcessWindowMessage(hwnd, msg, wParam, lParam, result);
    } catch (...) {
        // Nothing unwinds into the system's dispatcher: the message counts as handled with 0,
        // which also makes a failing WM_NCCREATE or WM_CREATE abort the creation.
        handled = true;
        result = msg == WM_CREATE ? -1 : 0;
    }
    if (!handled) result = ::DefWindowProcA(hwnd, msg, wParam, lParam);

    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrA(hwnd, 0, 0);
        window->m_hWnd = nullptr;
        window->OnFinalMessage(hwnd);
    }
    return result;
}

}  // namespace framework
