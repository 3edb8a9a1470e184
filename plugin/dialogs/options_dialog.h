// COptionsDlg: the plug-in's options, the account options dialog (common/options_dialog.h) on
// the plug-in's template.
#pragma once

#include <string>

#include "common/options_dialog.h"
#include "plugin/client/tavrello.h"
#include "resources/plugin/resource.h"

namespace plugin {

class COptionsDlg : public common::CAccountOptionsDlg {
public:
    enum { IDD = IDD_OPTIONS };

    COptionsDlg() noexcept : common::CAccountOptionsDlg(IDD, IDC_EMAIL, IDC_PASSWORD) {}

private:
    // The browser's protected mode makes the settings key read-only to the plug-in; the tray
    // program runs outside it.
    std::string NotSavedText(bool, bool) const override {
        return "Your e-mail address and password could not be saved, so they are used only until "
               "the browser closes. Zephlist's Options saves them for every browser window.";
    }
    // Like every box of the plug-in, without owner: "Tavrello" is the service's caption.
    const char* MessageCaption() const override { return kErrorCaption; }
    HWND MessageOwner() const override { return nullptr; }
};

}  // namespace plugin
