// Control host: the child window class "AtlAxWin71". Created with a CLSID (or ProgID) as its
// window text, the window creates that control, activates it in place over its client area,
// keeps it sized to the window and closes and releases it when the window is destroyed.
//
//   AtlAxWinInit();
//   HWND host = CreateWindowExA(0, "AtlAxWin71", "{8856f961-340a-11d0-a96b-00c04fd705a2}",
//                               WS_CHILD | WS_VISIBLE, 0, 0, width, height, parent, nullptr,
//                               nullptr, nullptr);
//   ComPtr<IWebBrowser2> browser;
//   framework::HostedControl(host).QueryInterface(browser);
#pragma once

#include <windows.h>
#include <unknwn.h>

#include "framework/com/com_ptr.h"

namespace framework {

// Name of the host window class.
constexpr char kAxHostWindowClass[] = "AtlAxWin71";

// Registers the host window class unless it is registered already. In an executable the class
// is process-wide; in a DLL it is local to the DLL's instance, so it never stands in for the
// class of another module.
BOOL AtlAxWinInit();

// The registered message "WM_ATLGETCONTROL": the host answers with the control's IUnknown,
// AddRef'ed for the caller, or null when it holds no control.
UINT AtlAxGetControlMessage();

// S_OK and an AddRef'ed control, or E_FAIL and null.
HRESULT AtlAxGetControl(HWND host, IUnknown** control);

// The hosted control of a host window, or an empty pointer.
framework::ComPtr<IUnknown> HostedControl(HWND host);

}  // namespace framework
