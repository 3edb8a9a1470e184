#include "tray/options_dialog.h"

#include <string>

#include "common/dialog_settings.h"
#include "common/settings.h"

namespace {

// The longest program path the autostart value takes, in characters.
constexpr DWORD kLongestProgramPath = MAX_PATH - 1;
// Enough to read back any autostart value this dialog writes: the path, its quotes, the NUL.
constexpr DWORD kAutostartReadSize = kLongestProgramPath + 3;

// The autostart value: the running program's own path, quoted so that a path with blanks
// ("C:\Program Files\...") can never start C:\Program.exe instead. Empty when the path cannot
// be had whole.
std::string QuotedProgramPath() {
    char path[kLongestProgramPath + 2];
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length > kLongestProgramPath) return "";
    return std::string("\"") + path + "\"";
}

}  // namespace

LRESULT CTrayOptionsDlg::OnInitDialog(UINT, WPARAM, LPARAM, BOOL&) {
    ShowStoredSetting(m_hWnd, IDC_EMAIL, settings::kEmailValue);
    ShowStoredSetting(m_hWnd, IDC_PASSWORD, settings::kPasswordValue);
    char text[kAutostartReadSize];
    // Any non-empty entry counts as switched on, wherever it points.
    if (ReadRegistryString(HKEY_CURRENT_USER, settings::kRunPath, settings::kAutostartValue, "",
                           text, sizeof text) > 0) {
        CheckDlgButton(m_hWnd, IDC_AUTOSTART, BST_CHECKED);
    }
    return TRUE;
}

LRESULT CTrayOptionsDlg::OnOk(WORD, WORD, HWND, BOOL&) {
    StoreEditSetting(m_hWnd, IDC_EMAIL, settings::kEmailValue);
    StoreEditSetting(m_hWnd, IDC_PASSWORD, settings::kPasswordValue);
    if (IsDlgButtonChecked(m_hWnd, IDC_AUTOSTART) == BST_CHECKED) {
        const std::string path = QuotedProgramPath();
        if (!path.empty()) {
            WriteRegistryString(HKEY_CURRENT_USER, settings::kRunPath, settings::kAutostartValue,
                                path.c_str());
        }
    } else {
        DeleteRegistryValue(HKEY_CURRENT_USER, settings::kRunPath, settings::kAutostartValue);
    }
    EndDialog(IDOK);
    return 0;
}

LRESULT CTrayOptionsDlg::OnCancel(WORD, WORD, HWND, BOOL&) {
    EndDialog(IDCANCEL);
    return 0;
}
