// Command-line building for the browser launcher. The page address comes from the service and
// the template from the registry; neither may make the command line start anything but the
// registered program with the address as exactly one argument.
#include "common/browser_command_line.h"

#include <string_view>
#include <utility>

#include "common/form_encoding.h"
#include "framework/ascii_text.h"

namespace common {

namespace {

constexpr const char kPlaceholder[] = "%1";
constexpr const char kProgramExtension[] = ".exe";
constexpr const char* const kInterpreterNames[] = {"cmd", "cmd.exe"};
// Scripts that the system starts through its command interpreter.
constexpr const char* const kScriptExtensions[] = {".bat", ".cmd"};

using framework::IsBlank;
using framework::StartsWithIgnoringCase;

bool NeedsEncoding(unsigned char c) {
    return c <= 0x20 || c == 0x7F || c == '"' || c == '\\';
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// Whether a cmd that rescans a variable's value would expand "%name%" there: the name (before
// any ":~1,2" or ":a=b" of cmd's) is one of its own dynamic variables or in the environment.
bool ExpandedOnRescan(std::string_view name, const std::string& environment) {
    static constexpr const char* kDynamicNames[] = {
        "CD",         "DATE",       "TIME",          "RANDOM",
        "ERRORLEVEL", "CMDCMDLINE", "CMDEXTVERSION", "HIGHESTNUMANODENUMBER"};
    name = name.substr(0, name.find(':'));
    if (name.empty()) return false;
    for (const char* dynamic : kDynamicNames) {
        if (framework::EqualsIgnoringCase(name, dynamic)) return true;
    }
    for (std::size_t at = 0; at < environment.size() && environment[at] != '\0';) {
        std::size_t end = environment.find('\0', at);
        if (end == std::string::npos) end = environment.size();
        const std::string_view entry = std::string_view(environment).substr(at, end - at);
        if (framework::EqualsIgnoringCase(entry.substr(0, entry.find('=', 1)), name)) return true;
        at = end + 1;
    }
    return false;
}

// The address as the interpreter's variable holds it. A valid escape stays as sent; a bare '%'
// and '!' are encoded, since Wine's cmd expands a variable's value once more (and a cmd with
// delayed expansion expands "!NAME!" in it), and neither may then find a name to expand. Where
// the value is rescanned, a valid escape that would begin a name known there goes as "%25" too
// ("%CD%" would give the current folder).
std::string EncodeForInterpreter(const std::string& url, const std::string* rescanningEnvironment) {
    const std::string argument = PercentEncode(url, &NeedsEncoding);
    std::string value;
    value.reserve(argument.size());
    for (std::size_t i = 0; i < argument.size(); ++i) {
        const char c = argument[i];
        bool validEscape =
            i + 2 < argument.size() && IsHexDigit(argument[i + 1]) && IsHexDigit(argument[i + 2]);
        if (c == '%' && validEscape && rescanningEnvironment) {
            const std::size_t next = argument.find('%', i + 1);
            validEscape = next == std::string::npos ||
                          !ExpandedOnRescan(std::string_view(argument).substr(i + 1, next - i - 1),
                                            *rescanningEnvironment);
        }
        if (c == '%' && !validEscape) {
            value += "%25";
        } else if (c == '!') {
            value += "%21";
        } else {
            value += c;
        }
    }
    return value;
}

bool EndsWithIgnoringCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           framework::EqualsIgnoringCase(text.substr(text.size() - suffix.size()), suffix);
}

// The file name of the program path, without its quotes, and with the trailing dots and blanks
// taken off as the system does when it opens the file ("open.bat." runs open.bat).
std::string_view ProgramName(std::string_view program) {
    if (!program.empty() && program.front() == '"') program = program.substr(1, program.size() - 2);
    const std::size_t slash = program.find_last_of("\\/:");
    if (slash != std::string_view::npos) program = program.substr(slash + 1);
    while (!program.empty() && (program.back() == '.' || IsBlank(program.back()))) {
        program.remove_suffix(1);
    }
    return program;
}

bool IsInterpreter(std::string_view program) {
    for (const char* interpreter : kInterpreterNames) {
        if (framework::EqualsIgnoringCase(ProgramName(program), interpreter)) return true;
    }
    return false;
}

// Whether the command line runs through the command interpreter: the program is cmd itself, or
// a script that the system hands to it. The interpreter expands %NAME% anywhere in its line.
bool RunsThroughInterpreter(std::string_view program) {
    if (IsInterpreter(program)) return true;
    for (const char* extension : kScriptExtensions) {
        if (EndsWithIgnoringCase(ProgramName(program), extension)) return true;
    }
    return false;
}

// Where the command that cmd is to run begins in the arguments: behind the first /c, /k or /r
// switch (cmd also takes one glued to the command, as in /c"prog") and the blanks after it.
// npos when there is no such switch behind switches alone.
std::size_t CommandStart(const std::string& arguments) {
    std::size_t at = 0;
    while (at < arguments.size()) {
        while (at < arguments.size() && IsBlank(arguments[at])) ++at;
        const std::size_t wordStart = at;
        bool quoted = false;
        while (at < arguments.size() && (quoted || !IsBlank(arguments[at]))) {
            if (arguments[at] == '"') quoted = !quoted;
            ++at;
        }
        const std::string_view word = std::string_view(arguments).substr(wordStart, at - wordStart);
        if (word.size() >= 2 && word[0] == '/' &&
            std::string_view("cCkKrR").find(word[1]) != std::string_view::npos) {
            std::size_t command = wordStart + 2;
            while (command < arguments.size() && IsBlank(arguments[command])) ++command;
            return command;
        }
        // Only switches may come first: where cmd would look for /c in anything else, quoted
        // or not, cannot be told for certain.
        if (word.empty() || word[0] != '/' || word.find('"') != std::string_view::npos) break;
    }
    return std::string::npos;
}

// Whether the variable's reference stands inside quotes once cmd has taken the first and the
// last quote off the command (it always does here: the command holds more than two quotes).
bool ReferenceQuotedForInterpreter(const std::string& command, const std::string& reference) {
    const std::size_t first = command.find('"');
    const std::size_t last = command.rfind('"');
    if (first == std::string::npos || first == last) return false;
    const std::string read = command.substr(0, first) +
                             command.substr(first + 1, last - first - 1) + command.substr(last + 1);
    const std::size_t at = read.find(reference);
    if (at == std::string::npos) return false;
    std::size_t quotes = 0;
    for (std::size_t i = 0; i < at; ++i) {
        if (read[i] == '"') ++quotes;
    }
    return quotes % 2 == 1 && read.find('"', at + reference.size()) != std::string::npos;
}

// The end of an unquoted program path: just behind the first ".exe" that ends a word. Without
// one, a template holding blanks is ambiguous (is "C:\Program Files\b" the program, or
// "C:\Program" with an argument?) and gives npos; a template without blanks is all program.
std::size_t UnquotedProgramEnd(const std::string& text) {
    const std::size_t extensionLength = sizeof kProgramExtension - 1;
    for (std::size_t i = 0; i + extensionLength <= text.size(); ++i) {
        if (!StartsWithIgnoringCase(std::string_view(text).substr(i), kProgramExtension)) continue;
        const std::size_t end = i + extensionLength;
        if (end == text.size() || IsBlank(text[end])) return end;
    }
    for (char c : text) {
        if (IsBlank(c)) return std::string::npos;
    }
    return text.size();
}

bool HoldsBlank(const std::string& text) {
    for (char c : text) {
        if (IsBlank(c)) return true;
    }
    return false;
}

std::string QuotedWhenBlank(const std::string& path) {
    return HoldsBlank(path) ? '"' + path + '"' : path;
}

// The one program that a run of words from the start of text names, as the search finds it;
// end is where that run stops. False when no run, or more than one, names a program: then
// which program the template means cannot be told.
bool FindOnlyProgram(const std::string& text, const ProgramSearch& findProgram, std::string& found,
                     std::size_t& end) {
    if (!findProgram) return false;
    int programs = 0;
    for (std::size_t at = 0; at <= text.size(); ++at) {
        if (at < text.size() && !IsBlank(text[at])) continue;
        if (at == 0 || IsBlank(text[at - 1])) continue;
        const std::string candidate = findProgram(text.substr(0, at));
        if (candidate.empty()) continue;
        if (++programs > 1) return false;
        found = candidate;
        end = at;
    }
    return programs == 1;
}

// Splits the template into the program path as it must appear on the command line (quoted
// when it holds blanks) and the rest. False when no program can be named for certain.
bool SplitProgram(const std::string& commandTemplate, const ProgramSearch& findProgram,
                  std::string& program, std::string& rest) {
    std::size_t start = 0;
    while (start < commandTemplate.size() && IsBlank(commandTemplate[start])) ++start;
    const std::string text = commandTemplate.substr(start);
    if (text.empty()) return false;

    if (text[0] == '"') {
        const std::size_t closing = text.find('"', 1);
        if (closing == std::string::npos || closing == 1) return false;
        program = text.substr(0, closing + 1);
        rest = text.substr(closing + 1);
        return true;
    }

    std::size_t end = UnquotedProgramEnd(text);
    std::string path;
    if (end != std::string::npos) {
        path = text.substr(0, end);
    } else if (!FindOnlyProgram(text, findProgram, path, end)) {
        return false;
    }
    if (path.find('"') != std::string::npos) return false;
    program = QuotedWhenBlank(path);
    rest = text.substr(end);
    return true;
}

// Whether the placeholder at offset stands outside every pair of the template's quotes.
bool StandsBare(const std::string& rest, std::size_t offset) {
    std::size_t quotes = 0;
    for (std::size_t i = 0; i < offset; ++i) {
        if (rest[i] == '"') ++quotes;
    }
    return quotes % 2 == 0;
}

}  // namespace

bool IsWebAddress(const std::string& url) {
    for (const char* scheme : {"http://", "https://"}) {
        const std::size_t length = std::char_traits<char>::length(scheme);
        if (StartsWithIgnoringCase(url, scheme) && url.size() > length) return true;
    }
    return false;
}

std::string EncodeUrlAsArgument(const std::string& url) {
    return PercentEncode(url, &NeedsEncoding);
}

namespace {

// The text with the argument in place of its first placeholder, or after it and one blank.
// The argument holds no quote of its own, so quotes around it keep it one argument, and an
// interpreter running the line takes '&', '|', '^', '<' and '>' in it as text.
std::string PlaceArgument(const std::string& text, const std::string& argument) {
    const auto place = [&](std::size_t offset) {
        return StandsBare(text, offset) ? '"' + argument + '"' : argument;
    };
    const std::size_t placeholder = text.find(kPlaceholder);
    if (placeholder == std::string::npos) return text + ' ' + place(text.size());
    return text.substr(0, placeholder) + place(placeholder) +
           text.substr(placeholder + sizeof kPlaceholder - 1);
}

// The arguments of cmd with the reference in place: the command after the switch gets one more
// pair of quotes, which cmd takes off again. Empty when that cannot be made safe.
std::string PlaceInInterpreterCommand(const std::string& arguments, const std::string& reference) {
    const std::size_t start = CommandStart(arguments);
    if (start == std::string::npos) return "";
    if (arguments.find(kPlaceholder) < start) return "";
    std::string command = arguments.substr(start);
    // Already quoted for cmd, as in ""prog" "%1"": what cmd runs is what lies inside.
    const std::size_t last = command.find_last_not_of(" \t");
    if (command.compare(0, 2, "\"\"") == 0 && last != 0 && command[last] == '"') {
        command = command.substr(1, last - 1);
    }
    const std::string quoted = '"' + PlaceArgument(command, reference) + '"';
    if (!ReferenceQuotedForInterpreter(quoted, reference)) return "";
    return arguments.substr(0, start) + quoted;
}

}  // namespace

bool BuildBrowserCommand(const std::string& commandTemplate, const std::string& url,
                         BrowserCommand& command, const ProgramSearch& findProgram,
                         const std::string* rescanningEnvironment) {
    command = BrowserCommand();
    if (!IsWebAddress(url)) return false;
    std::string program;
    std::string rest;
    if (!SplitProgram(commandTemplate, findProgram, program, rest)) return false;

    BrowserCommand built;
    if (!RunsThroughInterpreter(program)) {
        built.commandLine = program + PlaceArgument(rest, EncodeUrlAsArgument(url));
    } else {
        // cmd expands a variable named on its line once and never rescans the value, so no part
        // of the address is read as a name there, as it would be on the line itself.
        // A template that names the variable itself would place the address where nothing
        // quotes it.
        if (framework::FindIgnoringCase(commandTemplate, kAddressVariable) != std::string::npos) {
            return false;
        }
        const std::string reference = std::string("%") + kAddressVariable + "%";
        built.variableName = kAddressVariable;
        built.variableValue = EncodeForInterpreter(url, rescanningEnvironment);
        if (IsInterpreter(program)) {
            const std::string arguments = PlaceInInterpreterCommand(rest, reference);
            if (arguments.empty()) return false;
            built.commandLine = program + arguments;
        } else {
            // The system runs a script as cmd /c with the whole line in one more pair of quotes.
            built.commandLine = program + PlaceArgument(rest, reference);
            if (!ReferenceQuotedForInterpreter('"' + built.commandLine + '"', reference)) {
                return false;
            }
        }
        if (built.commandLine.size() - reference.size() + built.variableValue.size() >
            kMaxInterpreterLineLength) {
            return false;
        }
    }
    if (built.commandLine.size() > kMaxCommandLineLength) return false;
    command = std::move(built);
    return true;
}

std::string EnvironmentBlockWith(const std::string& block, const std::string& name,
                                 const std::string& value) {
    const auto upper = [](std::string_view text) {
        std::string folded(text);
        for (char& c : folded) {
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        }
        return folded;
    };
    const std::string key = upper(name);
    std::string result;
    bool placed = false;
    std::size_t at = 0;
    while (at < block.size() && block[at] != '\0') {
        std::size_t end = block.find('\0', at);
        if (end == std::string::npos) end = block.size();
        const std::string_view entry = std::string_view(block).substr(at, end - at);
        // Names of the hidden per-drive entries ("=C:=C:\\") begin with '='.
        const std::size_t equals = entry.find('=', 1);
        const std::string entryName = upper(entry.substr(0, equals));
        at = end + 1;
        if (entryName == key) continue;
        if (!placed && entry.front() != '=' && key < entryName) {
            result += name + '=' + value + '\0';
            placed = true;
        }
        result.append(entry);
        result += '\0';
    }
    if (!placed) result += name + '=' + value + '\0';
    result += '\0';
    return result;
}

}  // namespace common
