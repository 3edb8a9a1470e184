// The account options dialog of both deliverables: the e-mail address and password kept in the
// shared settings key. Each deliverable binds it to its own template and may add settings of
// its own to the same dialog.
#pragma once

#include "framework/window/dialog.h"

class CAccountOptionsDlg : public CDialogImplBaseT<CWindow> {
public:
    // The template's number and the ids of its two edit controls.
    CAccountOptionsDlg(UINT templateId, int emailId, int passwordId) noexcept
        : templateId_(templateId), emailId_(emailId), passwordId_(passwordId) {}

    // Runs the dialog from the template in the resource module (framework::ResourceInstance());
    // returns IDOK or IDCANCEL, or -1 when the template is missing.
    INT_PTR DoModal(HWND owner = ::GetActiveWindow());

    BEGIN_MSG_MAP(CAccountOptionsDlg)
    MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
    COMMAND_HANDLER(IDOK, BN_CLICKED, OnOk)
    COMMAND_HANDLER(IDCANCEL, BN_CLICKED, OnCancel)
    END_MSG_MAP()

protected:
    // A deliverable's own settings: shown after the account's, and stored after them on OK.
    virtual void ShowOwnSettings() {}
    virtual void StoreOwnSettings() {}

private:
    LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnOk(WORD, WORD, HWND, BOOL&);
    LRESULT OnCancel(WORD, WORD, HWND, BOOL&);

    // Puts the stored value (or the empty text when it cannot be read) into the edit control.
    void ShowStoredSetting(int editId, const char* valueName);
    // Stores at most 254 characters of the edit's text, so the value always reads back whole.
    // A failed write is not reported: the dialog closes as if it had succeeded.
    void StoreEditSetting(int editId, const char* valueName);

    UINT templateId_;
    int emailId_;
    int passwordId_;
};
