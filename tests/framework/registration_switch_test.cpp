// The registration switch scan over command lines as programs receive them.
#include "framework/registration/registration_switch.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using framework::FindRegistrationSwitch;
using framework::RegistrationSwitch;

struct Case {
    const char* commandLine;
    RegistrationSwitch expected;
};

const Case kCases[] = {
    {"Zephlist.exe /RegServer", RegistrationSwitch::Register},
    {"Zephlist.exe -regserver", RegistrationSwitch::Register},
    {"Zephlist.exe /REGSERVER", RegistrationSwitch::Register},
    {"Zephlist.exe /UnregServer", RegistrationSwitch::Unregister},
    {"Zephlist.exe /UnregServer x", RegistrationSwitch::Unregister},
    {"Zephlist.exe -UNREGSERVER\tx", RegistrationSwitch::Unregister},
    {"Zephlist.exe\t/RegServer\t", RegistrationSwitch::Register},
    {"\"C:\\Program Files\\Orvek\\Zephlist.exe\" /RegServer", RegistrationSwitch::Register},
    {"\"C:\\Program Files\\Orvek\\Zephlist.exe\" /q", RegistrationSwitch::None},
    {"\"C:\\My-Tools\\Zephlist.exe\"", RegistrationSwitch::None},
    // Anything more than the word is no switch.
    {"Zephlist.exe /RegServerX", RegistrationSwitch::None},
    {"Zephlist.exe /RegServer\"", RegistrationSwitch::None},
    {"Zephlist.exe /Reg Server", RegistrationSwitch::None},
    {"Zephlist.exe RegServer", RegistrationSwitch::None},
    {"Zephlist.exe /", RegistrationSwitch::None},
    {"Zephlist.exe -", RegistrationSwitch::None},
    {"", RegistrationSwitch::None},
    // A '-' or '/' inside a word still starts a candidate.
    {"Zephlist.exe x/regserver", RegistrationSwitch::Register},
    {"Zephlist.exe --RegServer", RegistrationSwitch::Register},
    {"Zephlist.exe /-UnregServer", RegistrationSwitch::Unregister},
    // The first matching word decides.
    {"Zephlist.exe /UnregServer /RegServer", RegistrationSwitch::Unregister},
    {"Zephlist.exe -RegServer -UnregServer", RegistrationSwitch::Register},
    {"Zephlist.exe /q /nothing /RegServer", RegistrationSwitch::Register},
    // The program path is scanned too; a path word ends only at a blank.
    {"C:/Tools/Zephlist.exe", RegistrationSwitch::None},
    {"C:/regserver/Zephlist.exe", RegistrationSwitch::None},
};

TEST(RegistrationSwitch, ScanOfCommandLines) {
    for (const Case& c : kCases) {
        EXPECT_EQ(FindRegistrationSwitch(c.commandLine), c.expected) << c.commandLine;
    }
}

TEST(RegistrationSwitch, TextAfterAnEmbeddedZeroIsStillScanned) {
    const std::string line("Zephlist.exe \0 /RegServer", 25);
    EXPECT_EQ(FindRegistrationSwitch(line), RegistrationSwitch::Register);
}

// Every prefix and every one-character change of a matching line stays in bounds and only
// the exact word matches.
TEST(RegistrationSwitch, MutatedLinesNeverMatchByAccident) {
    const std::string line = "prog.exe /UnregServer";
    for (size_t length = 0; length <= line.size(); ++length) {
        const RegistrationSwitch found = FindRegistrationSwitch(line.substr(0, length));
        EXPECT_EQ(found,
                  length == line.size() ? RegistrationSwitch::Unregister : RegistrationSwitch::None)
            << length;
    }
    for (size_t at = line.find('/') + 1; at < line.size(); ++at) {
        std::string changed = line;
        changed[at] = '#';
        EXPECT_EQ(FindRegistrationSwitch(changed), RegistrationSwitch::None) << changed;
    }
}

}  // namespace
