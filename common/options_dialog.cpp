#include "common/options_dialog.h"

#include "common/settings.h"

INT_PTR CAccountOptionsDlg::DoModal(HWND owner) {
    // The templates may hold hosted controls.
    AtlAxWinInit();
    return RunModal(framework::ResourceInstance(), templateId_, owner);
}

LRESULT CAccountOptionsDlg::OnInitDialog(UINT, WPARAM, LPARAM, BOOL&) {
    ShowStoredSetting(emailId_, settings::kEmailValue);
    ShowStoredSetting(passwordId_, settings::kPasswordValue);
    ShowOwnSettings();
    // Let the dialog manager put the focus on the first tab stop.
    return TRUE;
}

LRESULT CAccountOptionsDlg::OnOk(WORD, WORD, HWND, BOOL&) {
    StoreEditSetting(emailId_, settings::kEmailValue);
    StoreEditSetting(passwordId_, settings::kPasswordValue);
    StoreOwnSettings();
    EndDialog(IDOK);
    return 0;
}

LRESULT CAccountOptionsDlg::OnCancel(WORD, WORD, HWND, BOOL&) {
    EndDialog(IDCANCEL);
    return 0;
}

void CAccountOptionsDlg::ShowStoredSetting(int editId, const char* valueName) {
    char text[settings::kAccountReadSize] = {};
    ReadRegistryString(HKEY_CURRENT_USER, settings::kSettingsPath, valueName, "", text,
                       sizeof text);
    SetDlgItemText(editId, text);
}

void CAccountOptionsDlg::StoreEditSetting(int editId, const char* valueName) {
    char text[settings::kAccountReadSize] = {};
    ::GetDlgItemTextA(m_hWnd, editId, text, sizeof text);
    WriteRegistryString(HKEY_CURRENT_USER, settings::kSettingsPath, valueName, text);
}
