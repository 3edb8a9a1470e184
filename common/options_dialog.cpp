#include "common/options_dialog.h"

#include "common/settings.h"

#include <vector>

namespace common {

INT_PTR CAccountOptionsDlg::DoModal(HWND owner) {
    // The templates may hold hosted controls.
    framework::AtlAxWinInit();
    return RunModal(framework::ResourceInstance(), templateId_, owner);
}

LRESULT CAccountOptionsDlg::OnInitDialog(UINT, WPARAM, LPARAM, BOOL&) {
    // What this process uses, which is what was typed last when the key refused to store it.
    const Account account = ReadAccount();
    SetDlgItemText(emailId_, account.email.c_str());
    SetDlgItemText(passwordId_, account.password.c_str());
    ShowOwnSettings();
    // Let the dialog manager put the focus on the first tab stop.
    return TRUE;
}

LRESULT CAccountOptionsDlg::OnOk(WORD, WORD, HWND, BOOL&) {
    const bool accountSaved = StoreAccount({EditText(emailId_), EditText(passwordId_)});
    const bool ownSaved = StoreOwnSettings();
    // Nothing the user typed is lost without a word; the dialog still ends with OK, as the
    // account is in use all the same.
    if (!accountSaved || !ownSaved) {
        ::MessageBoxA(MessageOwner(), NotSavedText(accountSaved, ownSaved).c_str(),
                      MessageCaption(), MB_OK | MB_ICONERROR);
    }
    EndDialog(IDOK);
    return 0;
}

LRESULT CAccountOptionsDlg::OnCancel(WORD, WORD, HWND, BOOL&) {
    EndDialog(IDCANCEL);
    return 0;
}

std::string CAccountOptionsDlg::EditText(int editId) const {
    std::vector<char> text(LongestAccountText() + 1);
    ::GetDlgItemTextA(m_hWnd, editId, text.data(), static_cast<int>(text.size()));
    return text.data();
}

}  // namespace common
