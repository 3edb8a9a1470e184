// The tray program's options: the account shared with the browser plug-in, and the start at
// log-on through the per-user Run key.
#pragma once

#include "framework/dialog.h"
#include "resources/tray/resource.h"

class CTrayOptionsDlg : public CAxDialogImpl<CTrayOptionsDlg> {
public:
    enum { IDD = IDD_OPTIONS };

    BEGIN_MSG_MAP(CTrayOptionsDlg)
    MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
    COMMAND_HANDLER(IDOK, BN_CLICKED, OnOk)
    COMMAND_HANDLER(IDCANCEL, BN_CLICKED, OnCancel)
    END_MSG_MAP()

private:
    LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnOk(WORD, WORD, HWND, BOOL&);
    LRESULT OnCancel(WORD, WORD, HWND, BOOL&);
};
