// The tray program's options dialog from its own template, run on this thread while a simulated
// user acts on it: for the dialog tests and the registry fault tests alike.
#pragma once

#include "tests/support/simulated_user.h"
#include "tray/options_dialog.h"

namespace tray_testing {

constexpr wchar_t kOptionsCaption[] = L"Tavrello - Zephlist Options";

// Runs the dialog while the user acts; the actions must close it. Returns the dialog's result.
inline INT_PTR RunTrayOptions(const dialog_testing::DialogActions& actions) {
    return dialog_testing::RunUntilClosed(kOptionsCaption, actions,
                                          [] { return tray::CTrayOptionsDlg().DoModal(nullptr); });
}

}  // namespace tray_testing
