// Finds the COM self-registration switch of a local-server executable in its command line.
// Pure text work, no Win32, so that it can be tested and fuzzed anywhere.
#pragma once

#include <string_view>

namespace framework {

enum class RegistrationSwitch { None, Register, Unregister };

// Every character that follows a '-' or '/' starts a candidate word, wherever it stands (so
// "x/regserver" and a switch glued to a quoted path count too); the word ends at a blank, a
// tab or the end of the text and matches "RegServer" or "UnregServer" in any letter case. The
// first matching word decides; a word with anything more ("/RegServerX") is no switch.
RegistrationSwitch FindRegistrationSwitch(std::string_view commandLine);

}  // namespace framework
