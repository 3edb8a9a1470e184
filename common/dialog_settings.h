// Text settings shown in and stored from a dialog's edit controls, for the options dialogs of
// both deliverables.
#pragma once

#include <windows.h>

// Puts the stored value (or the empty text when it cannot be read) into the edit control.
void ShowStoredSetting(HWND dialog, int editId, const char* valueName);

// Stores at most 254 characters of the edit's text, so the value always reads back whole. A
// failed write is not reported: the dialog closes as if it had succeeded.
void StoreEditSetting(HWND dialog, int editId, const char* valueName);
