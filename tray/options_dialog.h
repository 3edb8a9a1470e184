// The tray program's options: the account options dialog (common/options_dialog.h) on the
// program's template, with the start at log-on through the per-user Run key.
#pragma once

#include <string>

#include "common/options_dialog.h"
#include "common/settings.h"
#include "resources/tray/resource.h"

namespace tray {

class CTrayOptionsDlg : public common::CAccountOptionsDlg {
public:
    enum { IDD = IDD_OPTIONS };

    CTrayOptionsDlg() noexcept : common::CAccountOptionsDlg(IDD, IDC_EMAIL, IDC_PASSWORD) {}

private:
    // The autostart box.
    void ShowOwnSettings() override;
    bool StoreOwnSettings() override;
    std::string NotSavedText(bool accountSaved, bool ownSaved) const override;
    const char* MessageCaption() const override { return "Zephlist"; }

    // How the autostart entry read when the dialog opened.
    common::StoredValue autostartShown_ = common::StoredValue::kMissing;
};

}  // namespace tray
