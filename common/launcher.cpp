// The registry and process side of the browser launcher: ".htm" -> file class ->
// "<class>\shell\open\command" under HKEY_CLASSES_ROOT, then CreateProcessA. The command line
// itself is built by browser_command.
#include "common/launcher.h"

#include "common/browser_command.h"
#include "framework/handles.h"

#include <windows.h>

#include <string>
#include <vector>

namespace {

constexpr const char kPageExtension[] = ".htm";
constexpr const char kOpenVerbPath[] = "\\shell\\open";
constexpr const char kCommandKey[] = "command";

// The default value of subKey below key, of any length. False when it is missing or not text.
bool ReadDefaultText(HKEY key, const char* subKey, std::string& text) {
    LONG size = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (RegQueryValueA(key, subKey, nullptr, &size) != ERROR_SUCCESS) return false;
        std::vector<char> data(static_cast<size_t>(size) + 1, '\0');
        LONG length = size;
        const LONG status = RegQueryValueA(key, subKey, data.data(), &length);
        // The value may grow between the two reads; ask again for its new size.
        if (status == ERROR_MORE_DATA) continue;
        if (status != ERROR_SUCCESS) return false;
        text.assign(data.data());  // ends at the first NUL, whether or not the data held one
        return true;
    }
    return false;
}

bool ReadOpenCommandTemplate(std::string& commandTemplate) {
    std::string fileClass;
    if (!ReadDefaultText(HKEY_CLASSES_ROOT, kPageExtension, fileClass) || fileClass.empty()) {
        return false;
    }
    RegKey openKey;
    if (RegOpenKeyA(HKEY_CLASSES_ROOT, (fileClass + kOpenVerbPath).c_str(), openKey.Receive()) !=
        ERROR_SUCCESS) {
        return false;
    }
    return ReadDefaultText(openKey.Get(), kCommandKey, commandTemplate);
}

void StartProcess(const std::string& commandLine) {
    // CreateProcessA may write into the command line, so it gets a copy of its own.
    std::vector<char> writable(commandLine.begin(), commandLine.end());
    writable.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    if (!CreateProcessA(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &started)) {
        return;
    }
    // The browser lives on by itself; nothing here waits for it.
    KernelHandle process(started.hProcess);
    KernelHandle thread(started.hThread);
}

}  // namespace

void OpenInDefaultBrowser(const char* url) {
    // Callers run inside COM methods and window procedures: nothing may escape from here.
    try {
        if (url == nullptr) return;
        std::string commandTemplate;
        if (!ReadOpenCommandTemplate(commandTemplate)) return;
        std::string commandLine;
        if (!browser_command::BuildBrowserCommandLine(commandTemplate, url, commandLine)) return;
        StartProcess(commandLine);
    } catch (...) {
    }
}
