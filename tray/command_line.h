// The tray program's switches, read from its full command line (as GetCommandLineA gives it).
#pragma once

#include <string_view>

#include "framework/registration/registration_switch.h"

namespace tray {

struct StartFlags {
    // "/q" or "-q": show the pop-up at once, add no icon, end on loss of activation.
    bool quickMode = false;
    // "/u" or "-u": ask a running copy to exit and end.
    bool unloadRequest = false;
};

// The text after the program path: everything after the first ".exe" (any case), or, when the
// line holds no ".exe", after the quoted path or else the first blank-separated word.
std::string_view ArgumentsOf(std::string_view commandLine);

// The registration switch (framework/registration/registration_switch.h) among the arguments only:
// the program path is not searched, so a folder name cannot turn a start into a registration run.
framework::RegistrationSwitch FindRegistrationRequest(std::string_view commandLine);

// The q and u switches. Only the first two characters of a word are compared, and the q switch
// is looked for before the u switch; a registration run sets neither flag.
StartFlags ParseFlags(std::string_view commandLine);

}  // namespace tray
