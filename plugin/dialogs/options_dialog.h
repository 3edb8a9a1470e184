// COptionsDlg: shows and changes the e-mail address and password kept in the settings key.
#pragma once

#include "framework/dialog.h"
#include "resources/plugin/resource.h"

class COptionsDlg : public CAxDialogImpl<COptionsDlg> {
public:
    enum { IDD = IDD_OPTIONS };

    BEGIN_MSG_MAP(COptionsDlg)
    MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
    COMMAND_HANDLER(IDOK, BN_CLICKED, OnOk)
    COMMAND_HANDLER(IDCANCEL, BN_CLICKED, OnCancel)
    END_MSG_MAP()

private:
    LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnOk(WORD, WORD, HWND, BOOL&);
    LRESULT OnCancel(WORD, WORD, HWND, BOOL&);
};
