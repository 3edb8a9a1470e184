// Redirects a predefined registry root (HKEY_CURRENT_USER, HKEY_CLASSES_ROOT) to a fresh
// scratch key for the lifetime of the object, so tests never touch the prefix's real settings.
#pragma once

#include <windows.h>

#include <string>

namespace testing_support {

class RegistrySandbox {
public:
    explicit RegistrySandbox(HKEY predefinedRoot = HKEY_CURRENT_USER);
    ~RegistrySandbox();
    RegistrySandbox(const RegistrySandbox&) = delete;
    RegistrySandbox& operator=(const RegistrySandbox&) = delete;

    // The scratch key that now stands in for the predefined root.
    HKEY Scratch() const { return scratch_; }

private:
    HKEY predefinedRoot_;
    HKEY scratch_ = nullptr;
    std::string scratchPath_;
};

// Reads a value as raw bytes with its type; false when the key or value is missing. Paths use
// backslashes and are relative to root.
bool ReadRawValue(HKEY root, const std::string& path, const std::string& name, DWORD& type,
                  std::string& data);
bool KeyExists(HKEY root, const std::string& path);
bool ValueExists(HKEY root, const std::string& path, const std::string& name);
void SetRawValue(HKEY root, const std::string& path, const std::string& name, DWORD type,
                 const std::string& data);
// A REG_SZ value's text without its terminating NUL.
std::string ReadText(HKEY root, const std::string& path, const std::string& name);
// Whether the key exists in one registry view (KEY_WOW64_32KEY or KEY_WOW64_64KEY).
bool KeyExistsInView(HKEY root, const std::string& path, REGSAM view);

// Where both programs keep their settings and where a start at log-on is written, below the
// root (the user's, or the machine's for its defaults).
constexpr char kSettingsKey[] = "Software\\Orvek\\Tavrello";
constexpr char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// The platform key under which a type library of this build's architecture names its file.
constexpr const char* kTypeLibraryPlatform = sizeof(void*) == 8 ? "win64" : "win32";

}  // namespace testing_support
