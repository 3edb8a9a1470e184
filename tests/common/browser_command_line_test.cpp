// The browser command line built from ".htm" open templates and page addresses: where the
// address goes, how the program path is kept exact, and which addresses start nothing.
#include "common/browser_command_line.h"

#include "tests/common/interpreter_cases.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

using common::BrowserCommand;
using common::kMaxCommandLineLength;

namespace {

// The command line alone, for programs that do not run through the interpreter.
bool BuildBrowserCommandLine(const std::string& commandTemplate, const std::string& url,
                             std::string& commandLine, const common::ProgramSearch& search = {}) {
    BrowserCommand command;
    command.commandLine = "left over";
    const bool built = common::BuildBrowserCommand(commandTemplate, url, command, search);
    EXPECT_EQ(command.variableName, "") << "the environment is the caller's";
    commandLine = command.commandLine;
    return built;
}

constexpr const char kUrl[] = "http://example.com/page?id=7";

struct TemplateCase {
    const char* name;
    const char* commandTemplate;
    const char* expected;  // nullptr: nothing may be started
};

// Builds with kUrl; each expected line uses "URL" where the address must appear.
std::string WithUrl(const char* line) {
    std::string text = line;
    const size_t at = text.find("URL");
    if (at != std::string::npos) text.replace(at, 3, kUrl);
    return text;
}

// Builds each case's template with kUrl through findProgram and compares with its line.
void ExpectCommandLines(const std::vector<TemplateCase>& cases,
                        const common::ProgramSearch& findProgram = {}) {
    for (const TemplateCase& test : cases) {
        SCOPED_TRACE(test.name);
        std::string commandLine = "left over";
        const bool built =
            BuildBrowserCommandLine(test.commandTemplate, kUrl, commandLine, findProgram);
        if (test.expected == nullptr) {
            EXPECT_FALSE(built);
            EXPECT_EQ(commandLine, "");
        } else {
            EXPECT_TRUE(built);
            EXPECT_EQ(commandLine, WithUrl(test.expected));
        }
    }
}

TEST(BrowserCommandLine, TemplateShapesPlaceTheAddressAndKeepTheProgramExact) {
    const std::vector<TemplateCase> cases = {
        {"quoted path, arguments, quoted placeholder",
         R"("C:\Program Files\Browse\browse.exe" -new-window "%1")",
         R"("C:\Program Files\Browse\browse.exe" -new-window "URL")"},
        {"no placeholder: template, one blank, address in quotes", R"("C:\Browse\browse.exe" -new)",
         R"("C:\Browse\browse.exe" -new "URL")"},
        {"no placeholder, program alone", R"(C:\Browse\browse.exe)",
         R"(C:\Browse\browse.exe "URL")"},
        {"no leading quote keeps every quote", R"(C:\Browse\browse.exe -p "a b" "%1")",
         R"(C:\Browse\browse.exe -p "a b" "URL")"},
        {"two placeholders: address at the first only", R"(browse.exe "%1" %1)",
         R"(browse.exe "URL" %1)"},
        {"bare placeholder gets quotes", "prog.exe %1", R"(prog.exe "URL")"},
        {"bare placeholder after a quoted argument gets quotes", R"(prog.exe "a b" -u=%1)",
         R"(prog.exe "a b" -u="URL")"},
        {"placeholder inside quotes that also hold more", R"(prog.exe "-u=%1 -x")",
         R"(prog.exe "-u=URL -x")"},
        {"quoted program and quoted placeholder", R"("prog" "%1")", R"("prog" "URL")"},
        {"unquoted program without extension and without blanks", "browse", R"(browse "URL")"},
        {"unquoted path with blanks gets quoted", R"(C:\Program Files\Browse\browse.exe %1)",
         R"("C:\Program Files\Browse\browse.exe" "URL")"},
        {"extension in any letter case, tab before the arguments",
         "C:\\Program Files\\B\\B.EXE\t-url %1", "\"C:\\Program Files\\B\\B.EXE\"\t-url \"URL\""},
        {"\".exe\" inside a folder name does not end the program",
         R"(C:\Old Tools\x.exe.d\browse.exe %1)", R"("C:\Old Tools\x.exe.d\browse.exe" "URL")"},
        {"first \".exe\" word ends the program", R"(C:\A B\one.exe C:\two.exe %1)",
         R"("C:\A B\one.exe" C:\two.exe "URL")"},
        {"leading blanks are dropped", R"(  "C:\Browse\browse.exe" %1)",
         R"("C:\Browse\browse.exe" "URL")"},
        {"placeholder inside the quoted program path is not the argument",
         R"("C:\%1\browse.exe" "%1")", R"("C:\%1\browse.exe" "URL")"},
        {"unquoted path with blanks and no program extension is ambiguous",
         R"(C:\Program Files\Browse\browse %1)", nullptr},
        {"unterminated quote", R"("C:\Program Files\Browse\browse.exe %1)", nullptr},
        {"empty quoted program", R"("" "%1")", nullptr},
        {"quote inside an unquoted program path", R"(C:\A"B\browse.exe %1)", nullptr},
        {"empty template", "", nullptr},
        {"blank template", " \t ", nullptr},
    };
    ExpectCommandLines(cases);
}

TEST(BrowserCommandLine, UnquotedProgramWithoutExtensionIsTheOneProgramItsWordsName) {
    // Programs the search knows; each name stands for the file beside it.
    const std::map<std::string, std::string> programs = {
        {"rundll32", R"(C:\windows\system32\rundll32.exe)"},
        {R"(C:\Program Files\Browse\browse)", R"(C:\Program Files\Browse\browse.exe)"},
        {R"(C:\Tools\view)", R"(C:\Tools\view.exe)"},
        {R"(C:\Tools\view more)", R"(C:\Tools\view more.exe)"},
    };
    const auto search = [&](const std::string& name) {
        const auto found = programs.find(name);
        return found == programs.end() ? std::string() : found->second;
    };
    const std::vector<TemplateCase> cases = {
        {"first word found", "rundll32 url.dll,FileProtocolHandler %1",
         R"(C:\windows\system32\rundll32.exe url.dll,FileProtocolHandler "URL")"},
        {"words with blanks found", R"(C:\Program Files\Browse\browse -new %1)",
         R"("C:\Program Files\Browse\browse.exe" -new "URL")"},
        {"found, no placeholder", R"(C:\Program Files\Browse\browse -new)",
         R"("C:\Program Files\Browse\browse.exe" -new "URL")"},
        {"two runs of words name a program each", R"(C:\Tools\view more %1)", nullptr},
        {"no run of words names a program", "unknown program %1", nullptr},
    };
    ExpectCommandLines(cases, search);
    std::string commandLine;
    EXPECT_FALSE(BuildBrowserCommandLine("rundll32 url.dll %1", kUrl, commandLine))
        << "without a search nothing can be told";
}

std::string Replaced(std::string text, const std::string& token, const std::string& by) {
    for (size_t at = 0; (at = text.find(token, at)) != std::string::npos; at += by.size()) {
        text.replace(at, token.size(), by);
    }
    return text;
}

// cmd expands %NAME% (and with /V:ON !NAME!) anywhere in its line, inside quotes too, but
// never rescans a variable's value: the line names a variable that holds the address.
TEST(BrowserCommandLine, ThroughTheInterpreterTheAddressGoesInAVariableAndStaysOneArgument) {
    const std::string cmd = R"(C:\Windows\system32\cmd.exe)";
    const auto search = [&](const std::string& name) { return name == "cmd" ? cmd : ""; };
    const auto expand = [&](const char* text) {
        return Replaced(Replaced(Replaced(text, "CMD", cmd), "PROG", R"(C:\B\b.exe)"), "REF",
                        std::string("%") + common::kAddressVariable + "%");
    };
    const std::string rescanningEnvironment = std::string("=C:=C:\\\0AB=1\0", 13) + '\0';
    for (const common_testing::InterpreterCase& test : common_testing::kInterpreterCases) {
        SCOPED_TRACE(test.name);
        BrowserCommand command;
        command.commandLine = "left over";
        const bool built =
            common::BuildBrowserCommand(expand(test.commandTemplate), test.url, command, search);
        if (test.line == nullptr) {
            EXPECT_FALSE(built);
            EXPECT_EQ(command.commandLine, "");
            EXPECT_EQ(command.variableName, "");
            continue;
        }
        EXPECT_TRUE(built);
        EXPECT_EQ(command.commandLine, expand(test.line));
        EXPECT_EQ(command.variableName, common::kAddressVariable);
        EXPECT_EQ(command.variableValue, test.value);
        // For a cmd that rescans the value, only the line's variable is known in the environment.
        BrowserCommand rescanned;
        ASSERT_TRUE(common::BuildBrowserCommand(expand(test.commandTemplate), test.url, rescanned,
                                                search, &rescanningEnvironment));
        EXPECT_EQ(rescanned.commandLine, command.commandLine);
        EXPECT_EQ(rescanned.variableValue, test.rescannedValue ? test.rescannedValue : test.value);
    }
    BrowserCommand known;
    ASSERT_TRUE(common::BuildBrowserCommand(expand("CMD /c PROG %1"), "http://h/%AB%,%ab:~1%,%AC%",
                                            known, search, &rescanningEnvironment));
    EXPECT_EQ(known.variableValue, "http://h/%25AB%25,%25ab:~1%25,%AC%25")
        << "a name of the environment, in any case";
}

TEST(BrowserCommandLine, TheVariableJoinsACopyOfTheEnvironmentInItsPlace) {
    using namespace std::string_literals;
    const struct {
        const char* name;
        std::string block;
        std::string expected;
    } cases[] = {
        {"empty block", "\0"s, "V=a%25b\0\0"s},
        {"between two names, drive entries first", "=C:=C:\\x\0A=1\0Z=2\0\0"s,
         "=C:=C:\\x\0A=1\0V=a%25b\0Z=2\0\0"s},
        {"an entry of the same name in another case goes", "A=1\0v=old\0Z=2\0\0"s,
         "A=1\0V=a%25b\0Z=2\0\0"s},
        {"last, and the block's final NUL kept", "A=1\0\0"s, "A=1\0V=a%25b\0\0"s},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        EXPECT_EQ(common::EnvironmentBlockWith(test.block, "V", "a%25b"), test.expected);
    }
}

struct UrlCase {
    const char* name;
    std::string url;
    std::string argument;
};

TEST(BrowserCommandLine, AddressIsEncodedIntoExactlyOneArgument) {
    const UrlCase cases[] = {
        {"plain address unchanged", "http://example.com/a/b.php?x=1&y=2",
         "http://example.com/a/b.php?x=1&y=2"},
        {"https", "https://example.com/", "https://example.com/"},
        {"scheme in capitals", "HTTP://EXAMPLE.COM/", "HTTP://EXAMPLE.COM/"},
        {"scheme in mixed case", "hTtPs://example.com/", "hTtPs://example.com/"},
        {"blanks", "http://example.com/a b  c", "http://example.com/a%20b%20%20c"},
        {"quotes cannot close the argument", "http://example.com/?q=\" --evil \"x",
         "http://example.com/?q=%22%20--evil%20%22x"},
        {"tab, CR, LF", "http://example.com/\t\r\n", "http://example.com/%09%0D%0A"},
        {"other control bytes and DEL", std::string("http://example.com/\x01\x1f\x7f"),
         "http://example.com/%01%1F%7F"},
        {"backslash cannot escape the closing quote", "http://example.com/dir\\",
         "http://example.com/dir%5C"},
        {"8-bit letters stay", "http://example.com/bl\xE5\xE6r-\xF8l",
         "http://example.com/bl\xE5\xE6r-\xF8l"},
        {"existing escapes and placeholders in the address stay", "http://example.com/a%20b?c=%1",
         "http://example.com/a%20b?c=%1"},
        {"nothing a command interpreter would expand is touched",
         "http://example.com/?e=a%40b&os=%OS%&x=!OS!&y=%",
         "http://example.com/?e=a%40b&os=%OS%&x=!OS!&y=%"},
    };
    for (const UrlCase& test : cases) {
        SCOPED_TRACE(test.name);
        std::string commandLine;
        ASSERT_TRUE(BuildBrowserCommandLine(R"("C:\B\b.exe" "%1" %1)", test.url, commandLine));
        EXPECT_EQ(commandLine, "\"C:\\B\\b.exe\" \"" + test.argument + "\" %1");
    }
}

TEST(BrowserCommandLine, AnythingButAnAbsoluteWebAddressStartsNothing) {
    const char* const refused[] = {
        "",
        "help/plugin.htm",
        "/help/plugin.htm",
        "javascript:alert(1)",
        "file:///C:/Windows/system32/calc.exe",
        "ftp://example.com/",
        "mailto:ann@example.com",
        "http:",
        "http://",
        "https:/example.com",
        "httpx://example.com",
        " http://example.com/",
        "-http://example.com/",
        "\"http://example.com/",
    };
    for (const char* url : refused) {
        SCOPED_TRACE(url);
        std::string commandLine = "left over";
        EXPECT_FALSE(BuildBrowserCommandLine(R"("C:\B\b.exe" "%1")", url, commandLine));
        EXPECT_EQ(commandLine, "");
    }
}

TEST(BrowserCommandLine, LongAddressIsNeverCutAndOverlongLineStartsNothing) {
    // Compared by size and flag: a failure must not print thirty thousand characters.
    const std::string commandTemplate = "b.exe \"%1\"";  // 8 characters besides the address
    const std::string prefix = "http://example.com/";
    const std::string fitting =
        prefix + std::string(kMaxCommandLineLength - 8 - prefix.size(), 'a');

    std::string commandLine;
    ASSERT_TRUE(BuildBrowserCommandLine(commandTemplate, fitting, commandLine));
    EXPECT_EQ(commandLine.size(), kMaxCommandLineLength);
    EXPECT_TRUE(commandLine == "b.exe \"" + fitting + "\"") << "the address must arrive whole";

    struct Overlong {
        const char* name;
        std::string commandTemplate;
        std::string url;
    };
    std::string blanks = fitting;
    blanks[prefix.size()] = ' ';
    const Overlong cases[] = {
        {"one character too many", commandTemplate, fitting + "a"},
        {"short enough as given, too long once its blanks are encoded", commandTemplate, blanks},
        {"the template counts too", "b.exe -x \"%1\"", fitting},
        {"so do the quotes a bare placeholder gets", "b.exe %1", fitting + "aa"},
    };
    for (const Overlong& test : cases) {
        SCOPED_TRACE(test.name);
        commandLine = "left over";
        EXPECT_FALSE(BuildBrowserCommandLine(test.commandTemplate, test.url, commandLine));
        EXPECT_TRUE(commandLine.empty()) << commandLine.size() << " characters left";
    }

    // cmd runs no line longer than 8191 characters once the address is in: here 21 characters
    // of "cmd.exe /c "b.exe """ besides the address.
    const std::string throughCmd =
        prefix + std::string(common::kMaxInterpreterLineLength - 21 - prefix.size(), 'a');
    BrowserCommand command;
    EXPECT_TRUE(common::BuildBrowserCommand("cmd.exe /c b.exe %1", throughCmd, command));
    EXPECT_FALSE(common::BuildBrowserCommand("cmd.exe /c b.exe %1", throughCmd + "a", command));
}

}  // namespace
