#include "plugin/dialogs/new_category_dialog.h"

namespace plugin {

LRESULT CNewCatagoryDlg::OnInitDialog(UINT, WPARAM, LPARAM, BOOL&) {
    SetDlgItemText(IDC_CATEGORY_NAME, categoryName.c_str());
    return TRUE;
}

LRESULT CNewCatagoryDlg::OnOk(WORD, WORD, HWND, BOOL&) {
    categoryName = GetDlgItemText(IDC_CATEGORY_NAME);
    EndDialog(IDOK);
    return 0;
}

LRESULT CNewCatagoryDlg::OnCancel(WORD, WORD, HWND, BOOL&) {
    EndDialog(IDCANCEL);
    return 0;
}

}  // namespace plugin
