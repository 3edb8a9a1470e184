// The tray program's options: the account options dialog (common/options_dialog.h) on the
// program's template, with the start at log-on through the per-user Run key.
#pragma once

#include "common/options_dialog.h"
#include "resources/tray/resource.h"

class CTrayOptionsDlg : public CAccountOptionsDlg {
public:
    enum { IDD = IDD_OPTIONS };

    CTrayOptionsDlg() noexcept : CAccountOptionsDlg(IDD, IDC_EMAIL, IDC_PASSWORD) {}

private:
    // The autostart box.
    void ShowOwnSettings() override;
    void StoreOwnSettings() override;
};
