// Reading the tray program's switches. Plain text work, kept apart from Win32 so that every
// case can be tested anywhere.
#include "tray/command_line.h"

#include <cstddef>

#include "framework/ascii_text.h"

namespace tray {
namespace {

using framework::FindIgnoringCase;
using framework::IsBlank;
using framework::LowerAscii;

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

framework::RegistrationSwitch FindRegistrationRequest(std::string_view commandLine) {
    return framework::FindRegistrationSwitch(ArgumentsOf(commandLine));
}

StartFlags ParseFlags(std::string_view commandLine) {
    StartFlags flags;
    // "/UnregServer" begins with "/u" and "/RegServer" could follow "/q": a registration run
    // must neither unload a running copy nor show the pop-up.
    if (FindRegistrationRequest(commandLine) != framework::RegistrationSwitch::None) return flags;

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

}  // namespace tray
