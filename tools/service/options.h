// The command line of tavrello-service.
#pragma once

#include "tools/service/service.h"

#include <string>
#include <vector>

namespace service {

struct CommandLine {
    enum class Action { kServe, kAddAccount, kHelp, kInvalid };
    Action action = Action::kServe;
    ServiceOptions options;
    std::string newAccountEmail;  // for kAddAccount
    std::string error;            // for kInvalid
};

// Arguments without the program name. An empty database path in the result means the default.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

const char* UsageText();

}  // namespace service
