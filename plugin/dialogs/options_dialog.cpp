#include "plugin/dialogs/options_dialog.h"

#include "common/dialog_settings.h"
#include "common/settings.h"

LRESULT COptionsDlg::OnInitDialog(UINT, WPARAM, LPARAM, BOOL&) {
    ShowStoredSetting(m_hWnd, IDC_EMAIL, settings::kEmailValue);
    ShowStoredSetting(m_hWnd, IDC_PASSWORD, settings::kPasswordValue);
    // Let the dialog manager put the focus on the first tab stop, the OK button.
    return TRUE;
}

LRESULT COptionsDlg::OnOk(WORD, WORD, HWND, BOOL&) {
    StoreEditSetting(m_hWnd, IDC_EMAIL, settings::kEmailValue);
    StoreEditSetting(m_hWnd, IDC_PASSWORD, settings::kPasswordValue);
    EndDialog(IDOK);
    return 0;
}

LRESULT COptionsDlg::OnCancel(WORD, WORD, HWND, BOOL&) {
    EndDialog(IDCANCEL);
    return 0;
}
