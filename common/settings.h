// The per-user settings store: text values in registry keys named by '/'-separated paths.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

namespace common {

// Reads valueName from the key at path below root into buffer, a NUL-terminated text of at
// most size - 1 characters, whatever the value's type. Anything that cannot be such a text
// (missing key or value, data too long) gives defaultText instead. Returns the text's length.
int ReadRegistryString(HKEY root, const char* path, const char* valueName, const char* defaultText,
                       char* buffer, DWORD size);

// How a read of one value went: read whole, not there (no such key or value, or a key on the
// path that cannot be opened), or there but not readable as such a text (too long, say).
enum class StoredValue { kRead, kMissing, kUnreadable };

// ReadRegistryString with the empty text as default, telling a missing value from one that
// exists but cannot be read.
StoredValue ReadStoredValue(HKEY root, const char* path, const char* valueName, char* buffer,
                            DWORD size);

// Stores text as REG_SZ, creating every missing key on the path. Returns the text's length
// when stored, 0 otherwise.
int WriteRegistryString(HKEY root, const char* path, const char* valueName, const char* text);
// The same, true when stored: unlike a length, this tells for the empty text too.
bool StoreRegistryText(HKEY root, const char* path, const char* valueName, const std::string& text);

// Removes the value when the whole key path exists; never creates keys. True when the value
// is gone afterwards (or never was), false when the registry refused to remove it.
bool DeleteRegistryValue(HKEY root, const char* path, const char* valueName);

// ReadRegistryString into a std::string, for callers that do not keep fixed buffers.
std::string ReadRegistryText(HKEY root, const char* path, const char* valueName,
                             const char* defaultText, DWORD size);

// The typed settings: each value of the settings key and the autostart entry in the Run key,
// read and stored with its own key, value name, size and default. The calls below are the only
// ways the deliverables reach them.

// The user's account with the service: the e-mail address and password that both options
// dialogs edit and the plug-in's service client sends.
struct Account {
    std::string email;
    std::string password;
};

// The account this process uses: the one last typed into an options dialog when the settings
// key refused to store it, for as long as the key still holds what it held then; otherwise the
// stored one (an unreadable value reads as empty).
Account ReadAccount();

// Stores both values in the settings key. When the key refuses either (the browser's protected
// mode makes it read-only to the plug-in), this process keeps the account for the rest of its
// life or until another program stores a different account, so that what the user typed is
// not lost, and false is returned. A store that succeeds ends the keeping.
bool StoreAccount(const Account& account);

// The longest e-mail address or password that reads back whole, in characters; the options
// dialogs take no more from their edit controls.
std::size_t LongestAccountText();

// The service's base URL: the user's own value, or where that is absent or empty, the machine's
// default that setup writes under HKEY_LOCAL_MACHINE with the same path.
std::string ReadBaseUrl();

// The pop-up's outer size as stored ("%i %i"), or the default size where none can be read.
std::string ReadPopupSize();
// Stores the pop-up's size text; a refused write keeps the last stored size.
void StorePopupSize(const std::string& size);

// The tray program's autostart entry: its text (empty unless read whole) and how the read went.
StoredValue ReadAutostartEntry(std::string& entry);
// Stores the entry's command; true when stored.
bool StoreAutostartEntry(const std::string& command);
// Removes the entry; true when it is gone afterwards (or never was).
bool DeleteAutostartEntry();

}  // namespace common
