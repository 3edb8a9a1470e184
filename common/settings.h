// The per-user settings store: text values in registry keys named by '/'-separated paths.
#pragma once

#include <windows.h>

#include <string>

namespace settings {

// The shared settings key below HKEY_CURRENT_USER and its values.
constexpr const char kSettingsPath[] = "Software/Orvek/Tavrello";
constexpr const char kEmailValue[] = "email";
constexpr const char kPasswordValue[] = "password";
constexpr const char kBaseUrlValue[] = "Tavrello";
constexpr const char kWindowSizeValue[] = "zephlistsize";

// The per-user Run key; its value "Tavrello" starts the tray program at log-on.
constexpr const char kRunPath[] = "Software/Microsoft/Windows/CurrentVersion/Run";
constexpr const char kAutostartValue[] = "Tavrello";

// Buffer sizes (terminating NUL included) that bound each stored text.
constexpr DWORD kAccountReadSize = 255;
constexpr DWORD kWindowSizeReadSize = 40;

}  // namespace settings

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

// The service's base URL: the user's own value "Tavrello", or where that is absent or empty,
// the machine's default that setup writes under HKEY_LOCAL_MACHINE with the same path.
std::string ReadBaseUrl();
