// Resource, command and control ids of Zephlist.exe, shared by Zephlist.rc and the program.
#pragma once

#include <windows.h>

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// Registration script (HKCR AppID entries) and, as TYPELIB 1, the type library.
#define IDR_ZEPHLIST_REGISTRY 101

// Icons: the notification area's (16 and 32 pixels) and the About box's (32 pixels).
#define IDI_TRAY 201
#define IDI_ABOUT 204

// Context menu of the notification-area icon: one submenu holding the commands below.
#define IDR_TRAYMENU 202

// Dialogs.
#define IDD_ABOUT 203
#define IDD_OPTIONS 205

// Commands of the context menu; a second start of the program posts ID_HOME or ID_EXIT.
#define ID_ABOUT 32768
#define ID_EXIT 32769
#define ID_REFRESH 32770
#define ID_OPTIONS 32771
#define ID_HOME 32772
#define ID_MYPAGE 32773
#define ID_SITE 32776

// Controls of the options dialog.
#define IDC_AUTOSTART 202
#define IDC_EMAIL 204
#define IDC_PASSWORD 205

// Callback message of the notification-area icon.
#define WM_TRAYNOTIFY (WM_APP + 500)

#ifndef RC_INVOKED
// The program's AppID, which is also the uuid of its type library (Zephlist.idl).
constexpr char kZephlistAppId[] = "{001BAB6E-69BF-4B4C-AB10-B3CE495FD9F9}";
#endif
