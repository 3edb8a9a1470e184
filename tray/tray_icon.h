// The notification-area icon of the tray program: added once after the pop-up exists, deleted
// after the message loop, and added again when the shell restarts.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include "framework/handles.h"

namespace tray {

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
    // that exactly one remains.
    void AddAgain();

    // The message the shell broadcasts when it (re)starts.
    static UINT TaskbarCreatedMessage();

private:
    framework::IconHandle icon_;
    NOTIFYICONDATAA record_;
};

}  // namespace tray
