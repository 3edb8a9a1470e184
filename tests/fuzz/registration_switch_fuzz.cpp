// The registration switch scan over any command line.
#include <cstdint>
#include <string>
#include <string_view>

#include "framework/registration/registration_switch.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

using framework::FindRegistrationSwitch;
using framework::RegistrationSwitch;

std::string Flipped(std::string_view text) {
    std::string flipped(text);
    for (char& c : flipped) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        } else if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return flipped;
}

bool HoldsNoCase(std::string_view text, std::string_view lowerWord) {
    std::string folded(text);
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return folded.find(lowerWord) != std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    const RegistrationSwitch found = FindRegistrationSwitch(line);

    // Letter case never matters.
    FUZZ_CHECK(FindRegistrationSwitch(Flipped(line)) == found);
    if (found == RegistrationSwitch::Register) FUZZ_CHECK(HoldsNoCase(line, "regserver"));
    if (found == RegistrationSwitch::Unregister) FUZZ_CHECK(HoldsNoCase(line, "unregserver"));

    // The first matching word decides: what follows a found switch changes nothing, and a
    // switch added after a line without one is found.
    FUZZ_CHECK(FindRegistrationSwitch(std::string(line) + " /UnregServer /RegServer") ==
               (found == RegistrationSwitch::None ? RegistrationSwitch::Unregister : found));
    // A word glued to the switch makes it no switch.
    if (found == RegistrationSwitch::None) {
        FUZZ_CHECK(FindRegistrationSwitch(std::string(line) + " -RegServerX") ==
                   RegistrationSwitch::None);
    }
    return 0;
}
