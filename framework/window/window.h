// Window base classes: a thin handle wrapper (CWindow), message maps, and CWindowImpl, which
// registers one window class per derived type and routes every message to that type's map.
#pragma once

#include <windows.h>

#include <string>

#include "framework/module_instance.h"

namespace framework {

// A window handle with the everyday calls. Owns nothing: destroying is explicit.
class CWindow {
public:
    CWindow() = default;
    explicit CWindow(HWND hwnd) : m_hWnd(hwnd) {}

    HWND Handle() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }  // NOLINT: handles pass straight to Win32 calls
    bool IsWindow() const { return m_hWnd != nullptr && ::IsWindow(m_hWnd) != FALSE; }
    void Attach(HWND hwnd) { m_hWnd = hwnd; }
    HWND Detach();

    BOOL DestroyWindow();
    LRESULT SendMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const;
    BOOL PostMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const;
    BOOL ShowWindow(int showCommand) const;
    BOOL SetWindowPos(HWND insertAfter, int x, int y, int cx, int cy, UINT flags) const;
    BOOL MoveWindow(int x, int y, int width, int height, BOOL repaint = TRUE) const;
    RECT GetClientRect() const;
    RECT GetWindowRect() const;
    std::string GetWindowText() const;
    BOOL SetWindowText(const char* text) const;

    HWND GetDlgItem(int id) const;
    std::string GetDlgItemText(int id) const;
    BOOL SetDlgItemText(int id, const char* text) const;

    HWND m_hWnd = nullptr;
};

// Implemented by every class with a message map (see the macros below). Returns true when the
// message was handled; result is then what the window procedure returns.
class CMessageMap {
public:
    virtual ~CMessageMap() = default;
    virtual bool ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                      LRESULT& result) = 0;
};

// Message map macros. Handlers are member functions:
//   MESSAGE_HANDLER:        LRESULT OnX(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled)
//   COMMAND_*_HANDLER:      LRESULT OnX(WORD notifyCode, WORD id, HWND control, BOOL& handled)
//   NOTIFY_*_HANDLER:       LRESULT OnX(int controlId, NMHDR* header, BOOL& handled)
// `handled` arrives TRUE; a handler that sets it FALSE passes the message on down the map and
// then to default processing. Commands match on the low word of wParam.
#define BEGIN_MSG_MAP(theClass)                                                   \
public:                                                                           \
    bool ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, \
                              LRESULT& lResult) override {                        \
        BOOL bHandled = TRUE;                                                     \
        (void)hWnd;                                                               \
        (void)uMsg;                                                               \
        (void)wParam;                                                             \
        (void)lParam;                                                             \
        (void)lResult;                                                            \
        (void)bHandled;

#define MESSAGE_HANDLER(message, handler)                  \
    if (uMsg == static_cast<UINT>(message)) {              \
        bHandled = TRUE;                                   \
        lResult = handler(uMsg, wParam, lParam, bHandled); \
        if (bHandled) return true;                         \
    }

#define COMMAND_ID_HANDLER(id, handler)                                                        \
    if (uMsg == WM_COMMAND && LOWORD(wParam) == static_cast<WORD>(id)) {                       \
        bHandled = TRUE;                                                                       \
        lResult =                                                                              \
            handler(HIWORD(wParam), LOWORD(wParam), reinterpret_cast<HWND>(lParam), bHandled); \
        if (bHandled) return true;                                                             \
    }

#define COMMAND_HANDLER(id, notifyCode, handler)                                               \
    if (uMsg == WM_COMMAND && LOWORD(wParam) == static_cast<WORD>(id) &&                       \
        HIWORD(wParam) == static_cast<WORD>(notifyCode)) {                                     \
        bHandled = TRUE;                                                                       \
        lResult =                                                                              \
            handler(HIWORD(wParam), LOWORD(wParam), reinterpret_cast<HWND>(lParam), bHandled); \
        if (bHandled) return true;                                                             \
    }

// Any command id from first to last, inclusive (a menu's range of commands).
#define COMMAND_RANGE_HANDLER(first, last, handler)                                            \
    if (uMsg == WM_COMMAND && LOWORD(wParam) >= static_cast<WORD>(first) &&                    \
        LOWORD(wParam) <= static_cast<WORD>(last)) {                                           \
        bHandled = TRUE;                                                                       \
        lResult =                                                                              \
            handler(HIWORD(wParam), LOWORD(wParam), reinterpret_cast<HWND>(lParam), bHandled); \
        if (bHandled) return true;                                                             \
    }

#define NOTIFY_HANDLER(id, notifyCode, handler)                                                  \
    if (uMsg == WM_NOTIFY &&                                                                     \
        reinterpret_cast<NMHDR*>(lParam)->idFrom == static_cast<UINT_PTR>(id) &&                 \
        reinterpret_cast<NMHDR*>(lParam)->code == static_cast<UINT>(notifyCode)) {               \
        bHandled = TRUE;                                                                         \
        lResult = handler(static_cast<int>(wParam), reinterpret_cast<NMHDR*>(lParam), bHandled); \
        if (bHandled) return true;                                                               \
    }

#define END_MSG_MAP() \
    return false;     \
    }

// Window class settings that a derived window chooses by declaring its own
// `static framework::WindowClassOptions WindowClassOptions()`.

struct WindowClassOptions {
    UINT style = 0;
    const char* cursor = IDC_ARROW;  // a system cursor id, or null for none
    HBRUSH background = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    HICON icon = nullptr;
    // A fixed class name, for a window that another process must tell apart from any other
    // window; null for a generated one.
    const char* name = nullptr;
};

// Registers a class with the options' fixed name, or else with a generated name unique to
// `key`; returns its atom (0 on failure).
ATOM RegisterGeneratedWindowClass(const void* key, const WindowClassOptions& options,
                                  WNDPROC procedure);

// Shorthand for a derived window's class settings; background is a system colour index.
#define DECLARE_WND_CLASS_EX(classStyle, backgroundColor)                          \
    static framework::WindowClassOptions WindowClassOptions() {                    \
        framework::WindowClassOptions options;                                     \
        options.style = (classStyle);                                              \
        options.background =                                                       \
            reinterpret_cast<HBRUSH>(static_cast<INT_PTR>((backgroundColor) + 1)); \
        return options;                                                            \
    }

// The part of every framework window that does not depend on the derived type: the window
// procedure that finds the object and dispatches to its map.
class CWindowImplBase : public CWindow, public CMessageMap {
public:
    CWindowImplBase() = default;
    CWindowImplBase(const CWindowImplBase&) = delete;
    CWindowImplBase& operator=(const CWindowImplBase&) = delete;
    // A window that still exists when its object goes is destroyed without reaching the map,
    // whose derived part is already gone.
    ~CWindowImplBase() override;

    // Called after the last message (WM_NCDESTROY); m_hWnd is already null. An object that
    // owns itself may delete itself here.
    virtual void OnFinalMessage(HWND) {}

    LRESULT DefWindowProc(UINT msg, WPARAM wParam, LPARAM lParam);

protected:
    HWND CreateWithClass(ATOM windowClass, HWND parent, const RECT& rect, const char* windowName,
                         DWORD style, DWORD exStyle, HMENU menuOrId);
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
};

// Derive as `class CMyWnd : public CWindowImpl<CMyWnd>` and declare a message map.
template <class T>
class CWindowImpl : public CWindowImplBase {
public:
    static framework::WindowClassOptions WindowClassOptions() { return {}; }

    // The one class of T, registered on first use.
    static ATOM WindowClass() {
        static const ATOM atom = framework::RegisterGeneratedWindowClass(
            &ClassKey, T::WindowClassOptions(), &CWindowImplBase::WindowProc);
        return atom;
    }

    // rect is the outer window rectangle (in parent client coordinates for a child). A child
    // passes its control id as menuOrId. Returns null on failure.
    HWND Create(HWND parent, const RECT& rect, const char* windowName = nullptr,
                DWORD style = WS_OVERLAPPEDWINDOW, DWORD exStyle = 0, HMENU menuOrId = nullptr) {
        return CreateWithClass(WindowClass(), parent, rect, windowName, style, exStyle, menuOrId);
    }

private:
    static const char ClassKey;
};

template <class T>
const char CWindowImpl<T>::ClassKey = 0;

}  // namespace framework
