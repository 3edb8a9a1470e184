#include "common/dialog_settings.h"

#include "common/settings.h"

void ShowStoredSetting(HWND dialog, int editId, const char* valueName) {
    char text[settings::kAccountReadSize] = {};
    ReadRegistryString(HKEY_CURRENT_USER, settings::kSettingsPath, valueName, "", text,
                       sizeof text);
    SetDlgItemTextA(dialog, editId, text);
}

void StoreEditSetting(HWND dialog, int editId, const char* valueName) {
    char text[settings::kAccountReadSize] = {};
    GetDlgItemTextA(dialog, editId, text, sizeof text);
    WriteRegistryString(HKEY_CURRENT_USER, settings::kSettingsPath, valueName, text);
}
