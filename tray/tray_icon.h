// The notification-area icon of the tray program: added once after the pop-up exists, deleted
// after the message loop, added again when the shell restarts and changed when the display's
// DPI changes.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include "framework/handles.h"

namespace tray {

// The program's notification-area icon at the system's small-icon size for the DPI of window
// (16 by 16 pixels at 96 DPI); empty when the executable has no such icon.
framework::IconHandle LoadTrayIcon(HWND window);

class TrayIcon {
public:
    // owner receives the icon's callbacks as callbackMessage; icon is owned by this object.
    TrayIcon(HWND owner, UINT callbackMessage, framework::IconHandle icon);
    ~TrayIcon();
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    // False when the shell reports failure; the icon may exist all the same.
    bool Add();
    // Removes the icon, whatever Add reported; also done when the object goes.
    void Delete();
    // After "TaskbarCreated": the new shell has no icon of ours; remove any stale one first so
    // that exactly one remains. icon, loaded for the display as it is now, replaces the old one.
    void AddAgain(framework::IconHandle icon);
    // Shows icon instead of the current one (loaded at a new DPI).
    void ChangeIcon(framework::IconHandle icon);

    // The message the shell broadcasts when it (re)starts.
    static UINT TaskbarCreatedMessage();

private:
    // The shell keeps its own copy of an icon it is given; the old one goes after the call.
    framework::IconHandle ReplaceIcon(framework::IconHandle icon);

    framework::IconHandle icon_;
    NOTIFYICONDATAA record_;
};

}  // namespace tray
