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

bool NeedsEncodingForInterpreter(unsigned char c) {
    return NeedsEncoding(c) || c == '%';
}

bool EndsWithIgnoringCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           framework::EqualsIgnoringCase(text.substr(text.size() - suffix.size()), suffix);
}

// The file name of the program path, without its quotes.
std::string_view ProgramName(std::string_view program) {
    if (!program.empty() && program.front() == '"') program = program.substr(1, program.size() - 2);
    const std::size_t slash = program.find_last_of("\\/:");
    return slash == std::string_view::npos ? program : program.substr(slash + 1);
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

// Where the command that cmd is to run begins in the arguments, when it begins with a quote:
// just behind the first /c or /k switch and its blanks. npos otherwise.
std::size_t QuotedCommandStart(const std::string& arguments) {
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
        if (framework::EqualsIgnoringCase(word, "/c") ||
            framework::EqualsIgnoringCase(word, "/k")) {
            while (at < arguments.size() && IsBlank(arguments[at])) ++at;
            return at < arguments.size() && arguments[at] == '"' ? at : std::string::npos;
        }
    }
    return std::string::npos;
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

bool BuildBrowserCommandLine(const std::string& commandTemplate, const std::string& url,
                             std::string& commandLine, const ProgramSearch& findProgram) {
    commandLine.clear();
    if (!IsWebAddress(url)) return false;
    std::string program;
    std::string rest;
    if (!SplitProgram(commandTemplate, findProgram, program, rest)) return false;

    // "%25" reads as '%' to the browser but names no variable of the interpreter; encoding in
    // the same pass keeps the escapes for blanks and quotes as they are.
    const std::string argument = RunsThroughInterpreter(program)
                                     ? PercentEncode(url, &NeedsEncodingForInterpreter)
                                     : EncodeUrlAsArgument(url);
    // The address holds no quote of its own, so quotes around it keep it one argument, and an
    // interpreter running the line takes '&', '|', '^', '<' and '>' in it as text.
    const auto place = [&](std::size_t offset) {
        return StandsBare(rest, offset) ? '"' + argument + '"' : argument;
    };
    const std::size_t placeholder = rest.find(kPlaceholder);
    std::string built = program;
    if (placeholder == std::string::npos) {
        built += rest;
        built += ' ';
        built += place(rest.size());
    } else {
        built.append(rest, 0, placeholder);
        built += place(placeholder);
        built.append(rest, placeholder + sizeof kPlaceholder - 1, std::string::npos);
    }
    // cmd takes the first and the last quote off a command that starts with one, which would
    // leave the address outside its quotes: one more pair around the whole command is what it
    // takes off instead.
    const std::size_t command =
        IsInterpreter(program) ? QuotedCommandStart(rest) : std::string::npos;
    if (command != std::string::npos &&
        (placeholder == std::string::npos || placeholder > command)) {
        built.insert(program.size() + command, 1, '"');
        built += '"';
    }
    if (built.size() > kMaxCommandLineLength) return false;
    commandLine = std::move(built);
    return true;
}

}  // namespace common
