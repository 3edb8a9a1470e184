#include "plugin/dialogs/options_dialog.h"

#include "common/settings.h"

namespace {

// The settings store reads with 255 bytes; taking at most 254 characters from an edit keeps
// every stored value readable whole.
constexpr int kEditTextBufferSize = 256;
constexpr int kMaxStoredCharacters = 254;

}  // namespace

LRESULT COptionsDlg::OnInitDialog(UINT, WPARAM, LPARAM, BOOL&) {
    ShowStoredValue(settings::kEmailValue, IDC_EMAIL);
    ShowStoredValue(settings::kPasswordValue, IDC_PASSWORD);
    // Let the dialog manager put the focus on the first tab stop, the OK button.
    return TRUE;
}

LRESULT COptionsDlg::OnOk(WORD, WORD, HWND, BOOL&) {
    StoreEditText(IDC_EMAIL, settings::kEmailValue);
    StoreEditText(IDC_PASSWORD, settings::kPasswordValue);
    EndDialog(IDOK);
    return 0;
}

LRESULT COptionsDlg::OnCancel(WORD, WORD, HWND, BOOL&) {
    EndDialog(IDCANCEL);
    return 0;
}

void COptionsDlg::ShowStoredValue(const char* valueName, int editId) {
    char text[kEditTextBufferSize] = {};
    ReadRegistryString(HKEY_CURRENT_USER, settings::kSettingsPath, valueName, "", text,
                       settings::kAccountReadSize);
    SetDlgItemText(editId, text);
}

void COptionsDlg::StoreEditText(int editId, const char* valueName) {
    char text[kEditTextBufferSize] = {};
    ::GetDlgItemTextA(m_hWnd, editId, text, kMaxStoredCharacters + 1);
    // A failed write is not the user's to fix here; the dialog closes as if it succeeded.
    WriteRegistryString(HKEY_CURRENT_USER, settings::kSettingsPath, valueName, text);
}
