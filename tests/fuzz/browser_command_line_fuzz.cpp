// The page address comes from the service; the ".htm" open command from the registry. Neither
// may make the built command line start anything but the registered program with the address
// as exactly one argument.
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

void CheckKnownTemplate(const KnownTemplate& known, const std::string& url) {
    std::string line;
    const bool built = common::BuildBrowserCommandLine(known.command, url, line);
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
    if (!common::BuildBrowserCommandLine(commandTemplate, url, line)) {
        FUZZ_CHECK(line.empty());
        return;
    }
    FUZZ_CHECK(common::IsWebAddress(url));
    FUZZ_CHECK(line.size() <= common::kMaxCommandLineLength);
    // The same template built around a marker word the template does not hold.
    std::string marker;
    for (char c = 'A'; c <= 'Z' && marker.empty(); ++c) {
        if (commandTemplate.find(c) == std::string::npos) marker = std::string("http://") + c;
    }
    if (marker.empty()) return;
    std::string markedLine;
    FUZZ_CHECK(common::BuildBrowserCommandLine(commandTemplate, marker, markedLine));
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
