// The registration switch scan of local-server executables.
#include "framework/registration/registration_switch.h"

#include "framework/ascii_text.h"

namespace framework {

RegistrationSwitch FindRegistrationSwitch(std::string_view commandLine) {
    for (size_t i = 0; i < commandLine.size(); ++i) {
        if (commandLine[i] != '-' && commandLine[i] != '/') continue;
        const size_t start = i + 1;
        size_t end = start;
        while (end < commandLine.size() && !IsBlank(commandLine[end])) ++end;
        const std::string_view word = commandLine.substr(start, end - start);
        if (EqualsIgnoringCase(word, "UnregServer")) return RegistrationSwitch::Unregister;
        if (EqualsIgnoringCase(word, "RegServer")) return RegistrationSwitch::Register;
    }
    return RegistrationSwitch::None;
}

}  // namespace framework
