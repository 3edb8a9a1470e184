#include "tests/fuzz/command_line_split.h"

namespace fuzz_support {
namespace {

bool IsSeparator(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view line) {
    std::vector<std::string> arguments;
    size_t at = 0;
    std::string program;
    if (at < line.size() && line[at] == '"') {
        ++at;
        while (at < line.size() && line[at] != '"') program += line[at++];
        if (at < line.size()) ++at;
    } else {
        while (at < line.size() && !IsSeparator(line[at])) program += line[at++];
    }
    arguments.push_back(program);

    for (;;) {
        while (at < line.size() && IsSeparator(line[at])) ++at;
        if (at >= line.size()) break;
        std::string argument;
        bool quoted = false;
        while (at < line.size() && (quoted || !IsSeparator(line[at]))) {
            if (line[at] == '\\') {
                size_t backslashes = 0;
                while (at < line.size() && line[at] == '\\') {
                    ++backslashes;
                    ++at;
                }
                if (at < line.size() && line[at] == '"') {
                    argument.append(backslashes / 2, '\\');
                    if (backslashes % 2 == 1) {
                        argument += '"';
                        ++at;
                    }
                } else {
                    argument.append(backslashes, '\\');
                }
                continue;
            }
            if (line[at] == '"') {
                if (quoted && at + 1 < line.size() && line[at + 1] == '"') {
                    argument += '"';
                    at += 2;
                    continue;
                }
                quoted = !quoted;
                ++at;
                continue;
            }
            argument += line[at++];
        }
        arguments.push_back(argument);
    }
    return arguments;
}

}  // namespace fuzz_support
