// The account options dialog of both deliverables: the e-mail address and password kept in the
// shared settings key. Each deliverable binds it to its own template and may add settings of
// its own to the same dialog.
#pragma once

#include <string>

#include "framework/window/dialog.h"

namespace common {

class CAccountOptionsDlg : public framework::CDialogImplBaseT<framework::CWindow> {
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
    // StoreOwnSettings returns false when the registry refused them.
    virtual void ShowOwnSettings() {}
    virtual bool StoreOwnSettings() { return true; }
    // What the deliverable tells the user, in one message, when OK could not store everything.
    virtual std::string NotSavedText(bool accountSaved, bool ownSaved) const = 0;
    virtual const char* MessageCaption() const = 0;
    // The window that owns that message: by default the dialog.
    virtual HWND MessageOwner() const { return m_hWnd; }

private:
    LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnOk(WORD, WORD, HWND, BOOL&);
    LRESULT OnCancel(WORD, WORD, HWND, BOOL&);

    // At most 254 characters of the edit's text, so that the value always reads back whole.
    std::string EditText(int editId) const;

    UINT templateId_;
    int emailId_;
    int passwordId_;
};

}  // namespace common
