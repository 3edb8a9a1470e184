// CNewCatagoryDlg: asks for the name of a new category.
#pragma once

#include <string>

#include "framework/window/dialog.h"
#include "resources/plugin/resource.h"

namespace plugin {

class CNewCatagoryDlg : public framework::CAxDialogImpl<CNewCatagoryDlg> {
public:
    enum { IDD = IDD_NEW_CATEGORY };

    BEGIN_MSG_MAP(CNewCatagoryDlg)
    MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
    COMMAND_HANDLER(IDOK, BN_CLICKED, OnOk)
    COMMAND_HANDLER(IDCANCEL, BN_CLICKED, OnCancel)
    END_MSG_MAP()

    // The name as typed, blanks included; written only by OK. An empty name is the caller's
    // to refuse.
    std::string categoryName;

private:
    LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnOk(WORD, WORD, HWND, BOOL&);
    LRESULT OnCancel(WORD, WORD, HWND, BOOL&);
};

}  // namespace plugin
