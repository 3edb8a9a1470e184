// Modal dialogs bound to a template by resource number, with the same message maps as windows.
//
//   class CNameDlg : public CAxDialogImpl<CNameDlg> {
//   public:
//       enum { IDD = 205 };
//       BEGIN_MSG_MAP(CNameDlg)
//           MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
//           COMMAND_HANDLER(IDOK, BN_CLICKED, OnOk)
//       END_MSG_MAP()
//       ...
//   };
//   CNameDlg dialog;
//   INT_PTR code = dialog.DoModal(GetActiveWindow());
//
// A WM_INITDIALOG handler returns TRUE to let the system set the focus, FALSE when it set the
// focus itself. Other handlers return the message's result, which the dialog procedure passes
// back through DWLP_MSGRESULT.
#pragma once

#include "framework/window/ax_host.h"
#include "framework/window/window.h"

namespace framework {

template <class TBase = CWindow>
class CDialogImplBaseT : public TBase, public CMessageMap {
public:
    CDialogImplBaseT() = default;
    CDialogImplBaseT(const CDialogImplBaseT&) = delete;
    CDialogImplBaseT& operator=(const CDialogImplBaseT&) = delete;

    BOOL EndDialog(INT_PTR code) { return ::EndDialog(this->m_hWnd, code); }

    // Runs the dialog from template `templateId` of `instance` until EndDialog; returns the
    // code given to EndDialog, or -1 when the dialog could not be created.
    INT_PTR RunModal(HINSTANCE instance, UINT templateId, HWND owner) {
        return DialogBoxParamA(instance, MAKEINTRESOURCEA(templateId), owner, &DialogProc,
                               reinterpret_cast<LPARAM>(this));
    }

    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        CDialogImplBaseT* dialog = nullptr;
        if (msg == WM_INITDIALOG) {
            dialog = reinterpret_cast<CDialogImplBaseT*>(lParam);
            SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
            if (dialog) dialog->m_hWnd = hwnd;
        } else {
            dialog = reinterpret_cast<CDialogImplBaseT*>(GetWindowLongPtrA(hwnd, DWLP_USER));
        }
        // Messages before WM_INITDIALOG (WM_SETFONT) have no object yet.
        if (!dialog) return FALSE;

        LRESULT result = 0;
        bool handled = false;
        try {
            handled = dialog->ProcessWindowMessage(hwnd, msg, wParam, lParam, result);
        } catch (...) {
            // Nothing unwinds into the dialog manager; the message counts as not handled.
            handled = false;
        }
        if (msg == WM_NCDESTROY) {
            SetWindowLongPtrA(hwnd, DWLP_USER, 0);
            dialog->m_hWnd = nullptr;
        }
        if (!handled) return FALSE;
        switch (msg) {
            // These return their result directly instead of through DWLP_MSGRESULT.
            case WM_INITDIALOG:
            case WM_COMPAREITEM:
            case WM_VKEYTOITEM:
            case WM_CHARTOITEM:
            case WM_QUERYDRAGICON:
            case WM_CTLCOLORMSGBOX:
            case WM_CTLCOLOREDIT:
            case WM_CTLCOLORLISTBOX:
            case WM_CTLCOLORBTN:
            case WM_CTLCOLORDLG:
            case WM_CTLCOLORSCROLLBAR:
            case WM_CTLCOLORSTATIC:
                return static_cast<INT_PTR>(result);
            default:
                SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, result);
                return TRUE;
        }
    }
};

// A dialog on template T::IDD of the resource module (framework::ResourceInstance()).
template <class T, class TBase = CWindow>
class CDialogImpl : public CDialogImplBaseT<TBase> {
public:
    // Returns the EndDialog code, or -1 when the template is missing.
    INT_PTR DoModal(HWND owner = ::GetActiveWindow()) {
        return this->RunModal(framework::ResourceInstance(), T::IDD, owner);
    }
};

// As CDialogImpl, and its template may hold controls of the control-host class ("AtlAxWin71").
template <class T, class TBase = CWindow>
class CAxDialogImpl : public CDialogImplBaseT<TBase> {
public:
    INT_PTR DoModal(HWND owner = ::GetActiveWindow()) {
        AtlAxWinInit();
        return this->RunModal(framework::ResourceInstance(), T::IDD, owner);
    }
};

}  // namespace framework
