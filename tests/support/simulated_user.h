// A person at the keyboard, played by a thread of its own: it waits for the test thread's
// dialogs by caption, types into edits, picks tree items and presses buttons, while the test
// thread sits in the modal call under test.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace dialog_testing {

struct TreeEntry {
    HTREEITEM item = nullptr;
    std::string text;
    int image = -1;
};

class SimulatedUser {
public:
    explicit SimulatedUser(DWORD dialogThread) : dialogThread_(dialogThread) {}

    // The shown, enabled dialog (or message box) of the test thread with this caption; null
    // when none appears in time. Enabled means no nested dialog is in front of it.
    HWND WaitForDialog(const std::wstring& caption);
    // Any shown, enabled dialog of the test thread; null when none appears in time.
    HWND WaitForAnyDialog();
    bool WaitUntilClosed(HWND dialog);
    // The shown, enabled dialog of the test thread right now, if any.
    HWND CurrentDialog() const { return FindDialog(nullptr); }

    static std::string Text(HWND dialog, int id);
    static std::wstring WideText(HWND window);
    static void Type(HWND dialog, int id, const std::string& text);
    // Presses a button the way a mouse click does; for buttons that end the dialog or open
    // another one, since it returns at once.
    static void Click(HWND dialog, int id);
    // Sends the button's command and returns when its handler has finished.
    static void Press(HWND dialog, int id);
    static void PressEscape(HWND dialog);
    // Posts a key press to the control with the focus, through the dialog's own keyboard
    // handling, as the keyboard does; nothing waits for it.
    static void PostKey(HWND dialog, WPARAM key);
    // Tab: returns the control that has the focus once it has moved; null when it stays.
    HWND PressTab(HWND dialog);
    // Clicks and waits until the dialog is gone.
    bool ClickAndWaitClosed(HWND dialog, int id);

    static HWND Tree(HWND dialog);
    static std::vector<TreeEntry> TreeEntries(HWND tree);
    static std::string SelectedText(HWND tree);
    // Selects the item with this text (the first one) or at this position; false when absent.
    static bool SelectByText(HWND tree, const std::string& text);
    static bool SelectAt(HWND tree, size_t position);

    // The window's rectangle relative to the dialog's client area.
    static RECT RectInDialog(HWND dialog, HWND control);
    static int Height(HWND window);
    // The window that has the keyboard focus on the dialog's thread.
    static HWND Focus(HWND dialog);

private:
    HWND FindDialog(const std::wstring* caption) const;

    DWORD dialogThread_;
};

// Runs the user's actions while the test thread runs its modal call. Dialogs that the actions
// leave open are cancelled, so a test that goes wrong ends instead of hanging; they are
// counted, and a test that expects none checks LeftOpen() == 0.
class UserSession {
public:
    explicit UserSession(std::function<void(SimulatedUser&)> actions);
    ~UserSession();
    UserSession(const UserSession&) = delete;
    UserSession& operator=(const UserSession&) = delete;

    // Call after the modal call has returned.
    void Finish();
    int LeftOpen() {
        Finish();
        return leftOpen_;
    }

private:
    SimulatedUser user_;
    std::atomic<bool> finished_{false};
    std::atomic<int> leftOpen_{0};
    std::thread thread_;
};

// How a modal call with a user at its dialog went.
struct DialogRun {
    INT_PTR result = 0;  // what the modal call returned
    bool shown = false;  // the dialog appeared and the user acted on it
    int leftOpen = 0;    // dialogs the user's actions left open, cancelled afterwards
};

using DialogActions = std::function<void(SimulatedUser&, HWND)>;

// Runs modal() on this thread while the user waits for the dialog with this caption and acts
// on it.
DialogRun RunWithUser(const std::wstring& caption, const DialogActions& actions,
                      const std::function<INT_PTR()>& modal);
// The same for a dialog that must appear and that the actions close: a test failure otherwise.
// Returns modal()'s result.
INT_PTR RunUntilClosed(const std::wstring& caption, const DialogActions& actions,
                       const std::function<INT_PTR()>& modal);

// Makes the calling thread Danish for resource lookups, as a Danish user's browser thread
// is, until the object goes.
class DanishThread {
public:
    DanishThread();
    ~DanishThread();

private:
    LCID locale_;
    LANGID uiLanguage_;
};

}  // namespace dialog_testing
