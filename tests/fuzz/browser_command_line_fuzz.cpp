// The page address comes from the service; the ".htm" open command from the registry. Neither
// may make the built command line start anything but the registered program with the address
// as exactly one argument: exact apart from the bytes that would end or split it, and through
// cmd with every valid escape as sent, no other '%' and no '!' (which cmd would expand).
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/browser_command_line.h"
#include "tests/fuzz/command_line_split.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

struct KnownTemplate {
    const char* command;
    std::vector<std::string> arguments;  // "%U" stands for the address
};

// Open commands as browsers register them.
const KnownTemplate kTemplates[] = {
    {"\"C:\\Program Files\\Internet Explorer\\iexplore.exe\" %1",
     {"C:\\Program Files\\Internet Explorer\\iexplore.exe", "%U"}},
    {"\"C:\\Program Files\\Browser\\browser.exe\" -osint -url \"%1\"",
     {"C:\\Program Files\\Browser\\browser.exe", "-osint", "-url", "%U"}},
    {"C:\\Program Files\\Old Browser\\old.exe -nohome",
     {"C:\\Program Files\\Old Browser\\old.exe", "-nohome", "%U"}},
    {"C:\\browser.exe", {"C:\\browser.exe", "%U"}},
    {"  \"C:\\b.exe\" --single-argument %1 --", {"C:\\b.exe", "--single-argument", "%U", "--"}},
};

// The address as built into the line: the same text with only the bytes that could end or
// split an argument percent-encoded.
void CheckEncodedAddress(const std::string& url, const std::string& encoded) {
    size_t at = 0;
    for (const char c : url) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7F || c == '"' || c == '\\') {
            static const char kHex[] = "0123456789ABCDEF";
            FUZZ_CHECK(encoded.compare(at, 3, std::string{'%', kHex[byte >> 4], kHex[byte & 15]}) ==
                       0);
            at += 3;
        } else {
            FUZZ_CHECK(at < encoded.size() && encoded[at] == c);
            ++at;
        }
    }
    FUZZ_CHECK(at == encoded.size());
}

bool IsHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// The address as cmd's variable holds it: encoded as for any argument, and then a '%' that does
// not start a valid escape as "%25" and '!' as "%21".
void CheckInterpreterValue(const std::string& url, const std::string& value) {
    std::string expected;
    for (size_t i = 0; i < url.size(); ++i) {
        const char c = url[i];
        const bool escape = i + 2 < url.size() && IsHex(url[i + 1]) && IsHex(url[i + 2]);
        if (c == '!') {
            expected += "%21";
        } else if (c == '%' && !escape) {
            expected += "%25";
        } else {
            expected += common::EncodeUrlAsArgument(std::string(1, c));
        }
    }
    FUZZ_CHECK(value == expected);
}

// The command cmd runs: behind its first /c, /k or /r, with the first and the last quote taken
// off, as cmd does with a command holding more than two quotes.
std::string InterpreterCommand(const std::string& line) {
    size_t at = line.find('"') == 0 ? line.find('"', 1) : 0;
    for (; at < line.size(); ++at) {
        const bool wordStart = at > 0 && (line[at - 1] == ' ' || line[at - 1] == '\t');
        if (wordStart && line[at] == '/' && at + 1 < line.size() &&
            std::string_view("cCkKrR").find(line[at + 1]) != std::string_view::npos) {
            break;
        }
    }
    FUZZ_CHECK(at < line.size());
    std::string command = line.substr(at + 2);
    const size_t first = command.find('"');
    const size_t last = command.rfind('"');
    FUZZ_CHECK(first != std::string::npos && first != last);
    return command.substr(0, first) + command.substr(first + 1, last - first - 1) +
           command.substr(last + 1);
}

// Through cmd the line never holds the address, only one reference to its variable, and that
// reference stands inside quotes as cmd reads them, so '&', '|', '<' and '>' in the value are
// text; a script is run by cmd with the whole line in one more pair of quotes.
void CheckThroughInterpreter(const common::BrowserCommand& command, const std::string& url) {
    FUZZ_CHECK(command.variableName == common::kAddressVariable);
    CheckInterpreterValue(url, command.variableValue);
    const std::string reference = std::string("%") + common::kAddressVariable + "%";
    const std::string& line = command.commandLine;
    const size_t at = line.find(reference);
    FUZZ_CHECK(at != std::string::npos && line.find(reference, at + 1) == std::string::npos);
    const std::string program = fuzz_support::SplitCommandLine(line)[0];
    const size_t slash = program.find_last_of("\\/:");
    std::string name = program.substr(slash == std::string::npos ? 0 : slash + 1);
    for (char& c : name) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    const bool interpreter = name == "cmd" || name == "cmd.exe";
    const std::string run = interpreter ? InterpreterCommand(line) : line;
    const size_t inRun = run.find(reference);
    FUZZ_CHECK(inRun != std::string::npos);
    size_t quotes = 0;
    for (size_t i = 0; i < inRun; ++i) quotes += run[i] == '"';
    FUZZ_CHECK(quotes % 2 == 1 && run.find('"', inRun + reference.size()) != std::string::npos);
}

bool Build(const std::string& commandTemplate, const std::string& url, std::string& line,
           common::BrowserCommand* full = nullptr) {
    common::BrowserCommand command;
    const bool built = common::BuildBrowserCommand(commandTemplate, url, command);
    line = command.commandLine;
    if (!built) FUZZ_CHECK(line.empty() && command.variableName.empty());
    if (full) *full = command;
    return built;
}

void CheckKnownTemplate(const KnownTemplate& known, const std::string& url) {
    std::string line;
    const bool built = Build(known.command, url, line);
    FUZZ_CHECK(built ==
               (common::IsWebAddress(url) && line.size() <= common::kMaxCommandLineLength));
    if (!built) {
        FUZZ_CHECK(line.empty());
        return;
    }
    const std::vector<std::string> arguments = fuzz_support::SplitCommandLine(line);
    FUZZ_CHECK(arguments.size() == known.arguments.size());
    int addresses = 0;
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (known.arguments[i] == "%U") {
            ++addresses;
            CheckEncodedAddress(url, arguments[i]);
        } else {
            FUZZ_CHECK(arguments[i] == known.arguments[i]);
        }
    }
    FUZZ_CHECK(addresses == 1);
}

// Any template: wherever the template put the address, it must stay within the one argument
// the template meant for it, and the program must be the one the template names.
void CheckAnyTemplate(const std::string& commandTemplate, const std::string& url) {
    std::string line;
    common::BrowserCommand command;
    if (!Build(commandTemplate, url, line, &command)) return;
    FUZZ_CHECK(common::IsWebAddress(url));
    FUZZ_CHECK(line.size() <= common::kMaxCommandLineLength);
    // The same template built around a marker word the template does not hold.
    std::string marker;
    for (char c = 'A'; c <= 'Z' && marker.empty(); ++c) {
        if (commandTemplate.find(c) == std::string::npos) marker = std::string("http://") + c;
    }
    if (marker.empty()) return;
    std::string markedLine;
    common::BrowserCommand markedCommand;
    FUZZ_CHECK(Build(commandTemplate, marker, markedLine, &markedCommand));
    if (!command.variableName.empty()) {
        // The template alone shapes the line; the address is in the variable.
        FUZZ_CHECK(line == markedLine);
        FUZZ_CHECK(markedCommand.variableValue == marker);
        CheckThroughInterpreter(command, url);
        return;
    }
    const std::vector<std::string> arguments = fuzz_support::SplitCommandLine(line);
    const std::vector<std::string> marked = fuzz_support::SplitCommandLine(markedLine);
    FUZZ_CHECK(arguments.size() == marked.size());
    FUZZ_CHECK(marked[0].find(marker) == std::string::npos);
    FUZZ_CHECK(arguments[0] == marked[0]);
    const std::string encoded = common::EncodeUrlAsArgument(url);
    int holders = 0;
    for (size_t i = 1; i < marked.size(); ++i) {
        const size_t at = marked[i].find(marker);
        if (at == std::string::npos) {
            FUZZ_CHECK(arguments[i] == marked[i]);
            continue;
        }
        ++holders;
        std::string expected = marked[i];
        expected.replace(at, marker.size(), encoded);
        FUZZ_CHECK(arguments[i] == expected);
    }
    FUZZ_CHECK(holders == 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
    const uint8_t mode = data[0];
    if (mode < 0x80) {
        // The address alone, in every known template, with and without a scheme in front.
        const std::string url(input);
        for (const KnownTemplate& known : kTemplates) {
            CheckKnownTemplate(known, url);
            CheckKnownTemplate(known, "http://" + url);
        }
        return 0;
    }
    // Template and address, split at the first line feed.
    const size_t cut = input.find('\n');
    if (cut == std::string_view::npos) return 0;
    CheckAnyTemplate(std::string(input.substr(0, cut)), std::string(input.substr(cut + 1)));
    return 0;
}
