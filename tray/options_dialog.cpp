#include "tray/options_dialog.h"

#include <string>

#include "common/settings.h"
#include "framework/module_instance.h"

namespace tray {

namespace {

// The longest program path the autostart value takes, in characters.
constexpr DWORD kLongestProgramPath = MAX_PATH - 1;

// The autostart value: the running program's own path, quoted so that a path with blanks
// ("C:\Program Files\...") can never start C:\Program.exe instead. Empty when the path cannot
// be had whole.
std::string QuotedProgramPath() {
    const std::string path = framework::ModuleFileName(nullptr);
    if (path.empty() || path.size() > kLongestProgramPath) return "";
    return '"' + path + '"';
}

}  // namespace

void CTrayOptionsDlg::ShowOwnSettings() {
    std::string entry;
    autostartShown_ = common::ReadAutostartEntry(entry);
    // Any non-empty entry counts as switched on, wherever it points; so does one too long to
    // read, which is the user's entry all the same.
    if ((autostartShown_ == common::StoredValue::kRead && !entry.empty()) ||
        autostartShown_ == common::StoredValue::kUnreadable) {
        CheckDlgButton(m_hWnd, IDC_AUTOSTART, BST_CHECKED);
    }
}

bool CTrayOptionsDlg::StoreOwnSettings() {
    if (IsDlgButtonChecked(m_hWnd, IDC_AUTOSTART) == BST_CHECKED) {
        // An entry that could not be read is kept as it is: overwriting it would lose it.
        if (autostartShown_ == common::StoredValue::kUnreadable) return true;
        const std::string path = QuotedProgramPath();
        return !path.empty() && common::StoreAutostartEntry(path);
    }
    // A refused delete of an entry that was not there changes nothing the user would miss.
    return common::DeleteAutostartEntry() || autostartShown_ == common::StoredValue::kMissing;
}

std::string CTrayOptionsDlg::NotSavedText(bool accountSaved, bool ownSaved) const {
    std::string text;
    if (!accountSaved) {
        text =
            "Your e-mail address and password could not be saved. Zephlist uses them until it "
            "exits.";
    }
    if (!ownSaved) {
        if (!text.empty()) text += '\n';
        text += "The start at log-in could not be changed.";
    }
    return text;
}

}  // namespace tray
