#include "tray/options_dialog.h"

#include <string>

#include "common/settings.h"
#include "framework/module_instance.h"

namespace {

// The longest program path the autostart value takes, in characters.
constexpr DWORD kLongestProgramPath = MAX_PATH - 1;
// Enough to read back any autostart value this dialog writes: the path, its quotes, the NUL.
constexpr DWORD kAutostartReadSize = kLongestProgramPath + 3;

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
    char text[kAutostartReadSize];
    // Any non-empty entry counts as switched on, wherever it points.
    if (ReadRegistryString(HKEY_CURRENT_USER, settings::kRunPath, settings::kAutostartValue, "",
                           text, sizeof text) > 0) {
        CheckDlgButton(m_hWnd, IDC_AUTOSTART, BST_CHECKED);
    }
}

void CTrayOptionsDlg::StoreOwnSettings() {
    if (IsDlgButtonChecked(m_hWnd, IDC_AUTOSTART) == BST_CHECKED) {
        const std::string path = QuotedProgramPath();
        if (!path.empty()) {
            WriteRegistryString(HKEY_CURRENT_USER, settings::kRunPath, settings::kAutostartValue,
                                path.c_str());
        }
    } else {
        DeleteRegistryValue(HKEY_CURRENT_USER, settings::kRunPath, settings::kAutostartValue);
    }
}
