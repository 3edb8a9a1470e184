// The tray program's full command line: whatever a shortcut, the Run key or another program
// starts it with.
#include <cstdint>
#include <string>
#include <string_view>

#include "framework/registration/registration_switch.h"
#include "tests/fuzz/fuzz_check.h"
#include "tray/command_line.h"

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool SwitchAt(std::string_view text, char letter) {
    return text.size() >= 2 && (text[0] == '/' || text[0] == '-') &&
           (text[1] == letter || text[1] == letter - 'a' + 'A');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);

    // The arguments are a tail of the line itself, never text from elsewhere.
    const std::string_view arguments = tray::ArgumentsOf(line);
    FUZZ_CHECK(arguments.size() <= line.size());
    if (!arguments.empty()) {
        FUZZ_CHECK(arguments.data() >= line.data() &&
                   arguments.data() + arguments.size() == line.data() + line.size());
    }

    const tray::StartFlags flags = tray::ParseFlags(line);
    if (tray::FindRegistrationRequest(line) != framework::RegistrationSwitch::None) {
        FUZZ_CHECK(!flags.quickMode && !flags.unloadRequest);
        return 0;
    }
    // The flags as the rules read them, from a copy.
    std::string_view rest = arguments;
    while (!rest.empty() && (rest.front() == '"' || IsBlank(rest.front()))) rest.remove_prefix(1);
    const bool quick = SwitchAt(rest, 'q');
    if (quick) rest.remove_prefix(2);
    while (!rest.empty() && IsBlank(rest.front())) rest.remove_prefix(1);
    FUZZ_CHECK(flags.quickMode == quick);
    FUZZ_CHECK(flags.unloadRequest == SwitchAt(rest, 'u'));
    return 0;
}
