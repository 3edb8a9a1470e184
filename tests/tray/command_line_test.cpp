// The tray program's switches, over tables of whole command lines as Windows hands them over.
#include "tray/command_line.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using tray::ArgumentsOf;
using tray::FindRegistrationRequest;
using tray::ParseFlags;
using RegistrationRequest = framework::RegistrationSwitch;

struct FlagCase {
    const char* commandLine;
    bool quickMode;
    bool unloadRequest;
};

void ExpectFlags(const FlagCase& c) {
    const tray::StartFlags flags = ParseFlags(c.commandLine);
    EXPECT_EQ(flags.quickMode, c.quickMode) << "quickMode for [" << c.commandLine << "]";
    EXPECT_EQ(flags.unloadRequest, c.unloadRequest)
        << "unloadRequest for [" << c.commandLine << "]";
}

TEST(ParseFlags, ReadsTheQSwitchThenTheUSwitchAfterTheProgramPath) {
    const FlagCase cases[] = {
        {"\"C:\\Program Files\\Tavrello\\Zephlist.exe\" /q", true, false},
        {"\"C:\\Program Files\\Tavrello\\Zephlist.exe\"", false, false},
        {"C:\\Tavrello\\Zephlist.exe", false, false},
        {"Zephlist.exe -q", true, false},
        {"Zephlist.exe /u", false, true},
        {"Zephlist.exe -u", false, true},
        {"Zephlist.exe /q /u", true, true},
        {"Zephlist.exe -q-u", true, true},
        {"Zephlist.exe /q/u", true, true},
        {"Zephlist.exe    /q      /u", true, true},
        {"", false, false},
    };
    for (const FlagCase& c : cases) ExpectFlags(c);
}

TEST(ParseFlags, MatchesSwitchesAndTheExtensionInAnyCase) {
    const FlagCase cases[] = {
        {"C:\\Tavrello\\Zephlist.exe /Q -U", true, true},
        {"C:\\TAVRELLO\\ZEPHLIST.EXE /Q", true, false},
        {"\"C:\\Tavrello\\Zephlist.Exe\" -U", false, true},
    };
    for (const FlagCase& c : cases) ExpectFlags(c);
}

TEST(ParseFlags, SeesOnlyTheFixedOrderAndOnlyAtTheStart) {
    const FlagCase cases[] = {
        // The u switch ends the reading: a q switch after it is not seen.
        {"Zephlist.exe /u /q", false, true},
        {"Zephlist.exe -u-q", false, true},
        // Any other text first hides every switch after it.
        {"Zephlist.exe start /q", false, false},
        {"Zephlist.exe /x /u", false, false},
        {"Zephlist.exe //q", false, false},
        {"Zephlist.exe q u", false, false},
    };
    for (const FlagCase& c : cases) ExpectFlags(c);
}

TEST(ParseFlags, ComparesOnlyTwoCharactersOfOtherWords) {
    const FlagCase cases[] = {
        {"Zephlist.exe /quick", true, false},
        {"Zephlist.exe /QUIET", true, false},
        {"Zephlist.exe /unload", false, true},
        {"Zephlist.exe -Unregistered", false, true},
        // The q switch takes only its two characters: the rest of "/quick" hides what follows.
        {"Zephlist.exe /quick /unload", true, false},
        {"Zephlist.exe /qu", true, false},
        {"Zephlist.exe /q-unload", true, true},
        // Not the whole registration word, so an ordinary u switch.
        {"Zephlist.exe /UnregServers", false, true},
        {"Zephlist.exe /u /RegServerNow", false, true},
    };
    for (const FlagCase& c : cases) ExpectFlags(c);
}

TEST(ParseFlags, RegistrationRunsSetNeitherFlag) {
    const FlagCase cases[] = {
        {"Zephlist.exe /RegServer", false, false},
        {"Zephlist.exe /UnregServer", false, false},
        {"Zephlist.exe -unregserver", false, false},
        {"\"C:\\Program Files\\Tavrello\\Zephlist.exe\" /UNREGSERVER", false, false},
        {"Zephlist.exe /q /RegServer", false, false},
        {"Zephlist.exe /q -UnregServer", false, false},
        {"Zephlist.exe /u\t/regserver", false, false},
    };
    for (const FlagCase& c : cases) ExpectFlags(c);
}

TEST(ParseFlags, CutsAfterTheFirstExeEvenInsideAFolderName) {
    const FlagCase cases[] = {
        // The cut lands inside the path, so what follows it is no switch.
        {"C:\\my.exe files\\Zephlist.exe /q", false, false},
        {"\"C:\\Tools.EXE\\Zephlist.exe\" /u", false, false},
        // A folder name ending in ".exe" right before the file name leaves "\Zephlist..." first.
        {"C:\\bin.exe\\Zephlist.exe -q -u", false, false},
    };
    for (const FlagCase& c : cases) ExpectFlags(c);
}

TEST(ParseFlags, WithoutExeTakesTheArgumentsAfterTheProgramPath) {
    const FlagCase cases[] = {
        {"Zephlist /q", true, false},
        {"C:\\Tavrello\\Zephlist -q -u", true, true},
        {"\"C:\\Program Files\\Tavrello\\Zephlist\" /u", false, true},
        {"\"C:\\Program Files\\Tavrello\\Zephlist\"/q", true, false},
        {"  Zephlist\t/q", true, false},
        {"C:\\Tavrello\\Zephlist", false, false},
        {"\"C:\\Program Files\\Tavrello\\Zephlist /q", false, false},
        {"Zephlist /RegServer", false, false},
    };
    for (const FlagCase& c : cases) ExpectFlags(c);
}

TEST(ParseFlags, TreatsTabsAsBlanks) {
    const FlagCase cases[] = {
        {"Zephlist.exe\t/q", true, false},
        {"Zephlist.exe /q\t-u", true, true},
        {"\"C:\\Tavrello\\Zephlist.exe\"\t\t-u", false, true},
        {"Zephlist.exe\t/u\t/q", false, true},
    };
    for (const FlagCase& c : cases) ExpectFlags(c);
}

struct RegistrationCase {
    const char* commandLine;
    RegistrationRequest expected;
};

TEST(FindRegistrationRequest, FindsWholeWordsAfterSlashOrDashInAnyCase) {
    const RegistrationCase cases[] = {
        {"Zephlist.exe /RegServer", RegistrationRequest::Register},
        {"Zephlist.exe -regserver", RegistrationRequest::Register},
        {"Zephlist.exe /REGSERVER", RegistrationRequest::Register},
        {"Zephlist.exe /UnregServer", RegistrationRequest::Unregister},
        {"\"C:\\Program Files\\Tavrello\\Zephlist.exe\" -UNREGSERVER",
         RegistrationRequest::Unregister},
        {"Zephlist.exe /q /RegServer", RegistrationRequest::Register},
        {"Zephlist.exe /regserver\t/q", RegistrationRequest::Register},
        {"Zephlist.exe /q/UnregServer", RegistrationRequest::Unregister},
        // The first word found decides.
        {"Zephlist.exe /UnregServer /RegServer", RegistrationRequest::Unregister},
        {"Zephlist.exe -RegServer -UnregServer", RegistrationRequest::Register},
        {"Zephlist /RegServer", RegistrationRequest::Register},
    };
    for (const RegistrationCase& c : cases) {
        EXPECT_EQ(FindRegistrationRequest(c.commandLine), c.expected) << c.commandLine;
    }
}

TEST(FindRegistrationRequest, IgnoresPartialWordsBareWordsAndTheProgramPath) {
    const RegistrationCase cases[] = {
        {"Zephlist.exe", RegistrationRequest::None},
        {"Zephlist.exe RegServer", RegistrationRequest::None},
        {"Zephlist.exe /RegServer2", RegistrationRequest::None},
        {"Zephlist.exe /RegServe", RegistrationRequest::None},
        {"Zephlist.exe /Reg Server", RegistrationRequest::None},
        {"Zephlist.exe /UnregServer,", RegistrationRequest::None},
        {"Zephlist.exe /q", RegistrationRequest::None},
        {"\"C:\\Setup -RegServer x\\Zephlist.exe\" /q", RegistrationRequest::None},
        {"\"C:\\Setup -RegServer x\\Zephlist\" /q", RegistrationRequest::None},
        {"", RegistrationRequest::None},
    };
    for (const RegistrationCase& c : cases) {
        EXPECT_EQ(FindRegistrationRequest(c.commandLine), c.expected) << c.commandLine;
    }
}

TEST(ArgumentsOf, IsTheTextAfterTheProgramPath) {
    const struct {
        const char* commandLine;
        const char* arguments;
    } cases[] = {
        {"Zephlist.exe /q", " /q"},
        {"\"C:\\Program Files\\Tavrello\\Zephlist.exe\" /q", "\" /q"},
        {"C:\\Tools\\ZEPHLIST.EXE", ""},
        {"C:\\my.exe files\\Zephlist.exe /q", " files\\Zephlist.exe /q"},
        {"Zephlist /q", " /q"},
        {"\"C:\\Program Files\\Zephlist\" -u", " -u"},
        {"\"C:\\Program Files\\Zephlist -u", ""},
        {"Zephlist", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(std::string(ArgumentsOf(c.commandLine)), c.arguments) << c.commandLine;
    }
}

}  // namespace
