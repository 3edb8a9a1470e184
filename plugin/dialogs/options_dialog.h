// COptionsDlg: the plug-in's options, the account options dialog (common/options_dialog.h) on
// the plug-in's template.
#pragma once

#include "common/options_dialog.h"
#include "resources/plugin/resource.h"

class COptionsDlg : public CAccountOptionsDlg {
public:
    enum { IDD = IDD_OPTIONS };

    COptionsDlg() noexcept : CAccountOptionsDlg(IDD, IDC_EMAIL, IDC_PASSWORD) {}
};
