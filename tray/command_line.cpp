// Reading the tray program's switches. Plain text work, kept apart from Win32 so that every
// case can be tested anywhere.
#include "tray/command_line.h"

#include <cstddef>

namespace zephlist {
namespace {

// Only ASCII letters matter here (switch letters, ".exe", the registration words); bytes of
// other characters pass unchanged, so no byte of a multibyte character is ever altered.
char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view lowerPrefix) {
    if (text.size() < lowerPrefix.size()) return false;
    for (std::size_t i = 0; i < lowerPrefix.size(); ++i) {
        if (LowerAscii(text[i]) != lowerPrefix[i]) return false;
    }
    return true;
}

std::size_t FindIgnoringCase(std::string_view text, std::string_view lowerNeedle) {
    for (std::size_t at = 0; at + lowerNeedle.size() <= text.size(); ++at) {
        if (StartsWithIgnoringCase(text.substr(at), lowerNeedle)) return at;
    }
    return std::string_view::npos;
}

bool IsWholeWordAt(std::string_view text, std::string_view lowerWord) {
    return StartsWithIgnoringCase(text, lowerWord) &&
           (text.size() == lowerWord.size() || IsBlank(text[lowerWord.size()]));
}

// "/x" or "-x" (x in lower case) as the first two characters; anything may follow.
bool StartsWithSwitch(std::string_view text, char letter) {
    return text.size() >= 2 && (text[0] == '/' || text[0] == '-') && LowerAscii(text[1]) == letter;
}

std::string_view ProgramPathCut(std::string_view commandLine) {
    std::size_t at = 0;
    while (at < commandLine.size() && IsBlank(commandLine[at])) ++at;
    if (at < commandLine.size() && commandLine[at] == '"') {
        const std::size_t closing = commandLine.find('"', at + 1);
        return closing == std::string_view::npos ? std::string_view()
                                                 : commandLine.substr(closing + 1);
    }
    while (at < commandLine.size() && !IsBlank(commandLine[at])) ++at;
    return commandLine.substr(at);
}

}  // namespace

std::string_view ArgumentsOf(std::string_view commandLine) {
    constexpr std::string_view kExtension = ".exe";
    const std::size_t extension = FindIgnoringCase(commandLine, kExtension);
    if (extension != std::string_view::npos) {
        return commandLine.substr(extension + kExtension.size());
    }
    // Started under a name without the extension: split the way the C runtime finds argv[0].
    return ProgramPathCut(commandLine);
}

RegistrationRequest FindRegistrationRequest(std::string_view commandLine) {
    const std::string_view arguments = ArgumentsOf(commandLine);
    for (std::size_t at = 0; at < arguments.size(); ++at) {
        if (arguments[at] != '/' && arguments[at] != '-') continue;
        const std::string_view word = arguments.substr(at + 1);
        if (IsWholeWordAt(word, "unregserver")) return RegistrationRequest::Unregister;
        if (IsWholeWordAt(word, "regserver")) return RegistrationRequest::Register;
    }
    return RegistrationRequest::None;
}

StartFlags ParseFlags(std::string_view commandLine) {
    StartFlags flags;
    // "/UnregServer" begins with "/u" and "/RegServer" could follow "/q": a registration run
    // must neither unload a running copy nor show the pop-up.
    if (FindRegistrationRequest(commandLine) != RegistrationRequest::None) return flags;

    std::string_view rest = ArgumentsOf(commandLine);
    // The closing quote of a quoted program path and the blanks before the first switch.
    while (!rest.empty() && (rest.front() == '"' || IsBlank(rest.front()))) rest.remove_prefix(1);
    if (StartsWithSwitch(rest, 'q')) {
        flags.quickMode = true;
        rest.remove_prefix(2);
    }
    while (!rest.empty() && IsBlank(rest.front())) rest.remove_prefix(1);
    if (StartsWithSwitch(rest, 'u')) flags.unloadRequest = true;
    return flags;
}

}  // namespace zephlist
