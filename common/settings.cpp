// Registry walk: each '/'-separated key name is opened (or created) one level at a time, and
// every level closes its key before it returns.
#include "common/settings.h"

#include "framework/handles.h"

#include <cstring>
#include <optional>
#include <vector>

namespace common {

namespace {

// Splits "first/rest" at the first '/'; rest is empty when there is none.
void SplitPath(const std::string& path, std::string& first, std::string& rest) {
    const size_t slash = path.find('/');
    first = path.substr(0, slash);
    rest = slash == std::string::npos ? std::string() : path.substr(slash + 1);
}

void CopyText(const char* text, char* buffer, DWORD size) {
    if (size == 0) return;
    const size_t length = std::min<size_t>(std::strlen(text), size - 1);
    std::memcpy(buffer, text, length);
    buffer[length] = '\0';
}

// Reads the value's data as a text of at most size - 1 characters. The stored type is not
// checked: whatever the type, the bytes must form such a text.
StoredValue QueryText(HKEY key, const char* valueName, char* buffer, DWORD size) {
    DWORD type = 0;
    DWORD length = size;
    std::vector<char> data(size);
    const LONG result = RegQueryValueExA(key, valueName, nullptr, &type,
                                         reinterpret_cast<BYTE*>(data.data()), &length);
    if (result == ERROR_FILE_NOT_FOUND) return StoredValue::kMissing;
    if (result != ERROR_SUCCESS) return StoredValue::kUnreadable;
    // The stored bytes need not end in NUL: the text ends at the first NUL or at the data's end.
    const char* end = static_cast<const char*>(std::memchr(data.data(), '\0', length));
    const size_t textLength = end ? static_cast<size_t>(end - data.data()) : length;
    if (textLength > size - 1) return StoredValue::kUnreadable;
    std::memcpy(buffer, data.data(), textLength);
    buffer[textLength] = '\0';
    return StoredValue::kRead;
}

// A key that cannot be opened counts as missing: whether the value is there cannot be told.
StoredValue ReadLevel(HKEY root, const std::string& path, const char* valueName, char* buffer,
                      DWORD size) {
    std::string name, rest;
    SplitPath(path, name, rest);
    framework::RegKey key;
    if (RegOpenKeyExA(root, name.c_str(), 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) {
        return StoredValue::kMissing;
    }
    if (!rest.empty()) return ReadLevel(key.Get(), rest, valueName, buffer, size);
    return QueryText(key.Get(), valueName, buffer, size);
}

bool WriteLevel(HKEY root, const std::string& path, const char* valueName, const char* text) {
    std::string name, rest;
    SplitPath(path, name, rest);
    framework::RegKey key;
    if (RegOpenKeyExA(root, name.c_str(), 0, KEY_WRITE, key.Receive()) != ERROR_SUCCESS &&
        RegCreateKeyExA(root, name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                        key.Receive(), nullptr) != ERROR_SUCCESS) {
        return false;
    }
    if (!rest.empty()) return WriteLevel(key.Get(), rest, valueName, text);
    const DWORD bytes = static_cast<DWORD>(std::strlen(text) + 1);
    return RegSetValueExA(key.Get(), valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                          bytes) == ERROR_SUCCESS;
}

bool DeleteLevel(HKEY root, const std::string& path, const char* valueName) {
    std::string name, rest;
    SplitPath(path, name, rest);
    framework::RegKey key;
    const LONG opened = RegOpenKeyExA(root, name.c_str(), 0, KEY_WRITE, key.Receive());
    if (opened == ERROR_FILE_NOT_FOUND) return true;
    if (opened != ERROR_SUCCESS) return false;
    if (!rest.empty()) return DeleteLevel(key.Get(), rest, valueName);
    const LONG deleted = RegDeleteValueA(key.Get(), valueName);
    return deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND;
}

}  // namespace

int ReadRegistryString(HKEY root, const char* path, const char* valueName, const char* defaultText,
                       char* buffer, DWORD size) {
    if (buffer == nullptr || size == 0) return 0;
    if (ReadLevel(root, path, valueName, buffer, size) != StoredValue::kRead) {
        CopyText(defaultText, buffer, size);
    }
    return static_cast<int>(std::strlen(buffer));
}

StoredValue ReadStoredValue(HKEY root, const char* path, const char* valueName, char* buffer,
                            DWORD size) {
    if (buffer == nullptr || size == 0) return StoredValue::kUnreadable;
    const StoredValue read = ReadLevel(root, path, valueName, buffer, size);
    if (read != StoredValue::kRead) buffer[0] = '\0';
    return read;
}

int WriteRegistryString(HKEY root, const char* path, const char* valueName, const char* text) {
    return WriteLevel(root, path, valueName, text) ? static_cast<int>(std::strlen(text)) : 0;
}

bool StoreRegistryText(HKEY root, const char* path, const char* valueName,
                       const std::string& text) {
    return WriteLevel(root, path, valueName, text.c_str());
}

bool DeleteRegistryValue(HKEY root, const char* path, const char* valueName) {
    return DeleteLevel(root, path, valueName);
}

std::string ReadRegistryText(HKEY root, const char* path, const char* valueName,
                             const char* defaultText, DWORD size) {
    std::vector<char> buffer(size + 1);
    ReadRegistryString(root, path, valueName, defaultText, buffer.data(), size);
    return buffer.data();
}

namespace {

// The shared settings key below HKEY_CURRENT_USER and its values.
constexpr const char kSettingsPath[] = "Software/Orvek/Tavrello";
constexpr const char kEmailValue[] = "email";
constexpr const char kPasswordValue[] = "password";
constexpr const char kBaseUrlValue[] = "Tavrello";
constexpr const char kPopupSizeValue[] = "zephlistsize";

// The per-user Run key; its value "Tavrello" starts the tray program at log-on.
constexpr const char kRunPath[] = "Software/Microsoft/Windows/CurrentVersion/Run";
constexpr const char kAutostartValue[] = "Tavrello";

// Buffer sizes (terminating NUL included) that bound each stored text.
constexpr DWORD kAccountReadSize = 255;
constexpr DWORD kPopupSizeReadSize = 40;
// Any entry the tray program writes reads back whole: its longest path, quotes and the NUL.
constexpr DWORD kAutostartReadSize = MAX_PATH + 2;

constexpr const char kDefaultPopupSize[] = "600 500";

// An account the settings key refused, and what the key held just after the refusal. Read and
// written only by the options dialogs and the service client, which run one command or one
// dialog at a time per process.
struct KeptAccount {
    Account typed;
    Account storedThen;
};
std::optional<KeptAccount> keptAccount;

bool operator==(const Account& left, const Account& right) {
    return left.email == right.email && left.password == right.password;
}

Account ReadStoredAccount() {
    return {
        ReadRegistryText(HKEY_CURRENT_USER, kSettingsPath, kEmailValue, "", kAccountReadSize),
        ReadRegistryText(HKEY_CURRENT_USER, kSettingsPath, kPasswordValue, "", kAccountReadSize)};
}

}  // namespace

Account ReadAccount() {
    const Account stored = ReadStoredAccount();
    if (keptAccount && keptAccount->storedThen == stored) return keptAccount->typed;
    // Another program stored an account since: that one is newer than what this one kept.
    keptAccount.reset();
    return stored;
}

bool StoreAccount(const Account& account) {
    // Both writes are tried, so that a key refusing one value still gets the other.
    const bool emailStored =
        StoreRegistryText(HKEY_CURRENT_USER, kSettingsPath, kEmailValue, account.email);
    const bool passwordStored =
        StoreRegistryText(HKEY_CURRENT_USER, kSettingsPath, kPasswordValue, account.password);
    if (emailStored && passwordStored) {
        keptAccount.reset();
        return true;
    }
    keptAccount = KeptAccount{account, ReadStoredAccount()};
    return false;
}

std::size_t LongestAccountText() {
    return kAccountReadSize - 1;
}

std::string ReadBaseUrl() {
    const std::string own =
        ReadRegistryText(HKEY_CURRENT_USER, kSettingsPath, kBaseUrlValue, "", kAccountReadSize);
    if (!own.empty()) return own;
    return ReadRegistryText(HKEY_LOCAL_MACHINE, kSettingsPath, kBaseUrlValue, "", kAccountReadSize);
}

std::string ReadPopupSize() {
    return ReadRegistryText(HKEY_CURRENT_USER, kSettingsPath, kPopupSizeValue, kDefaultPopupSize,
                            kPopupSizeReadSize);
}

void StorePopupSize(const std::string& size) {
    StoreRegistryText(HKEY_CURRENT_USER, kSettingsPath, kPopupSizeValue, size);
}

StoredValue ReadAutostartEntry(std::string& entry) {
    char text[kAutostartReadSize];
    const StoredValue read =
        ReadStoredValue(HKEY_CURRENT_USER, kRunPath, kAutostartValue, text, sizeof text);
    entry = text;
    return read;
}

bool StoreAutostartEntry(const std::string& command) {
    return StoreRegistryText(HKEY_CURRENT_USER, kRunPath, kAutostartValue, command);
}

bool DeleteAutostartEntry() {
    return DeleteRegistryValue(HKEY_CURRENT_USER, kRunPath, kAutostartValue);
}

}  // namespace common
