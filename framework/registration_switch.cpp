// The registration switch scan of local-server executables.
#include "framework/registration_switch.h"

namespace framework {
namespace {

bool EqualsIgnoringCase(std::string_view text, std::string_view word) {
    if (text.size() != word.size()) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        auto lower = [](char c) {
            return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        };
        if (lower(text[i]) != lower(word[i])) return false;
    }
    return true;
}

}  // namespace

RegistrationSwitch FindRegistrationSwitch(std::string_view commandLine) {
    for (size_t i = 0; i < commandLine.size(); ++i) {
        if (commandLine[i] != '-' && commandLine[i] != '/') continue;
        const size_t start = i + 1;
        const size_t end = commandLine.find_first_of(" \t", start);
        const std::string_view word = commandLine.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (EqualsIgnoringCase(word, "UnregServer")) return RegistrationSwitch::Unregister;
        if (EqualsIgnoringCase(word, "RegServer")) return RegistrationSwitch::Register;
    }
    return RegistrationSwitch::None;
}

}  // namespace framework
