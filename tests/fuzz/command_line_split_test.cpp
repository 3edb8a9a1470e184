// The command-line splitter that the browser-command fuzz target trusts, on known cases of
// the C runtime's rules.
#include "tests/fuzz/command_line_split.h"

#include <gtest/gtest.h>

namespace {

using Arguments = std::vector<std::string>;

TEST(CommandLineSplit, FollowsTheRuntimeRules) {
    const struct {
        const char* line;
        Arguments arguments;
    } cases[] = {
        {"p.exe", {"p.exe"}},
        {"\"C:\\Program Files\\b.exe\" -x \"a b\"", {"C:\\Program Files\\b.exe", "-x", "a b"}},
        {"p a\tb  c ", {"p", "a", "b", "c"}},
        {"p \\\\\"a b\"", {"p", "\\a b"}},
        {"p \\\"a", {"p", "\"a"}},
        {"p a\\\\b", {"p", "a\\\\b"}},
        {"p \"a\"\"b\"", {"p", "a\"b"}},
        {"p \"unclosed arg", {"p", "unclosed arg"}},
        {"\"p q", {"p q"}},
        {"p \"\"", {"p", ""}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(fuzz_support::SplitCommandLine(c.line), c.arguments) << c.line;
    }
}

}  // namespace
