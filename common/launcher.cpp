// The registry and process side of the browser launcher: ".htm" -> file class ->
// "<class>\shell\open\command" under HKEY_CLASSES_ROOT, then CreateProcessA. The command line
// itself is built by browser_command_line.
#include "common/launcher.h"

#include "common/browser_command_line.h"
#include "framework/handles.h"

#include <windows.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace common {

namespace {

constexpr const char kPageExtension[] = ".htm";
constexpr const char kOpenVerbPath[] = "\\shell\\open";
constexpr const char kCommandKey[] = "command";

// Both the file class and the command template are read into this many bytes, terminating NUL
// included: a longer class or template counts as no registration at all.
constexpr LONG kRegistryTextBufferSize = 260;

// The default value of subKey below key. False when it is missing, not text, or does not fit
// kRegistryTextBufferSize bytes.
bool ReadDefaultText(HKEY key, const char* subKey, std::string& text) {
    char data[kRegistryTextBufferSize + 1] = {};
    LONG length = kRegistryTextBufferSize;
    if (RegQueryValueA(key, subKey, data, &length) != ERROR_SUCCESS) return false;
    // Data stored without its NUL may fill the whole buffer; that is one byte too many.
    const size_t textLength = std::strlen(data);
    if (textLength >= static_cast<size_t>(kRegistryTextBufferSize)) return false;
    text.assign(data, textLength);
    return true;
}

bool ReadOpenCommandTemplate(std::string& commandTemplate) {
    std::string fileClass;
    if (!ReadDefaultText(HKEY_CLASSES_ROOT, kPageExtension, fileClass) || fileClass.empty()) {
        return false;
    }
    framework::RegKey openKey;
    if (RegOpenKeyA(HKEY_CLASSES_ROOT, (fileClass + kOpenVerbPath).c_str(), openKey.Receive()) !=
        ERROR_SUCCESS) {
        return false;
    }
    return ReadDefaultText(openKey.Get(), kCommandKey, commandTemplate);
}

// The program file a name of an unquoted template stands for, found the way the system looks
// for a program to start ("rundll32" is rundll32.exe in the system folder).
std::string FindProgram(const std::string& name) {
    char found[MAX_PATH];
    const DWORD length = SearchPathA(nullptr, name.c_str(), ".exe", sizeof found, found, nullptr);
    if (length == 0 || length >= sizeof found) return "";
    const DWORD attributes = GetFileAttributesA(found);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return "";
    return std::string(found, length);
}

// The caller's environment block as text, up to and with its final NUL.
std::string CurrentEnvironment() {
    const std::unique_ptr<char, decltype(&FreeEnvironmentStringsA)> strings(
        GetEnvironmentStringsA(), &FreeEnvironmentStringsA);
    if (!strings) return "";
    const char* block = strings.get();
    std::size_t length = 0;
    while (block[length] != '\0') length += std::strlen(block + length) + 1;
    return std::string(block, length + 1);
}

// Wine's cmd expands the value of a variable once more; Windows' never rescans it.
bool InterpreterRescansValues() {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

void StartProcess(const BrowserCommand& command, const std::string& currentEnvironment) {
    // CreateProcessA may write into the command line, so it gets a copy of its own.
    std::vector<char> writable(command.commandLine.begin(), command.commandLine.end());
    writable.push_back('\0');
    // The browser's own environment stays as it is: the variable goes to the new process only.
    std::string environment;
    if (!command.variableName.empty()) {
        environment =
            EnvironmentBlockWith(currentEnvironment, command.variableName, command.variableValue);
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    if (!CreateProcessA(nullptr, writable.data(), nullptr, nullptr, FALSE, 0,
                        environment.empty() ? nullptr : environment.data(), nullptr, &startup,
                        &started)) {
        return;
    }
    // The browser lives on by itself; nothing here waits for it.
    framework::KernelHandle process(started.hProcess);
    framework::KernelHandle thread(started.hThread);
}

}  // namespace

void OpenInDefaultBrowser(const char* url) {
    // Callers run inside COM methods and window procedures: nothing may escape from here.
    try {
        if (url == nullptr) return;
        std::string commandTemplate;
        if (!ReadOpenCommandTemplate(commandTemplate)) return;
        const std::string environment = CurrentEnvironment();
        BrowserCommand command;
        if (!BuildBrowserCommand(commandTemplate, url, command, &FindProgram,
                                 InterpreterRescansValues() ? &environment : nullptr)) {
            return;
        }
        StartProcess(command, environment);
    } catch (...) {
    }
}

}  // namespace common
