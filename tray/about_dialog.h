// The About box: the program's name and version. Only OK (or Enter) closes it.
#pragma once

#include "framework/window/dialog.h"
#include "resources/tray/resource.h"

namespace tray {

class CAboutDlg : public framework::CDialogImpl<CAboutDlg> {
public:
    enum { IDD = IDD_ABOUT };

    BEGIN_MSG_MAP(CAboutDlg)
    COMMAND_HANDLER(IDOK, BN_CLICKED, OnOk)
    END_MSG_MAP()

private:
    LRESULT OnOk(WORD, WORD, HWND, BOOL&) {
        EndDialog(IDOK);
        return 0;
    }
};

}  // namespace tray
