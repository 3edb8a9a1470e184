#include "tools/service/options.h"

#include "tools/service/text_limits.h"

#include <cstdlib>

namespace service {
namespace {

bool ParsePort(const std::string& text, int& port) {
    if (text.empty() || text.size() > 5) return false;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    port = std::atoi(text.c_str());
    return port <= 65535;
}

}  // namespace

const char* UsageText() {
    return "Usage: tavrello-service [options]\n"
           "  --port N            port to listen on (default 8765; 0 picks a free one)\n"
           "  --listen ADDRESS    address to listen on (default 127.0.0.1)\n"
           "  --db PATH           SQLite file (default tavrello-service.db beside the program)\n"
           "  --base-url URL      public base URL (default http://ADDRESS:PORT/)\n"
           "  --notice TEXT       send this notice with every category list\n"
           "  --notice-page URL   page the client opens with the notice\n"
           "  --notice-stop       the client stops after showing the notice\n"
           "  --no-demo           do not create the demo account\n"
           "  --quiet             do not log requests\n"
           "  --add-account EMAIL create an account (password read from standard input), exit\n"
           "  --help              show this text\n";
}

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine command;
    const auto fail = [&command](std::string error) {
        command.action = CommandLine::Action::kInvalid;
        command.error = std::move(error);
        return command;
    };
    for (size_t i = 0; i < arguments.size(); ++i) {
        std::string name = arguments[i];
        std::string value;
        bool hasValue = false;
        const size_t equals = name.find('=');
        if (name.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
            hasValue = true;
        }
        const auto takeValue = [&]() {
            if (hasValue) return true;
            if (i + 1 >= arguments.size()) return false;
            value = arguments[++i];
            return true;
        };
        const bool takesValue = name == "--port" || name == "--listen" || name == "--db" ||
                                name == "--base-url" || name == "--notice" ||
                                name == "--notice-page" || name == "--add-account";
        if (takesValue && !takeValue()) return fail(name + " needs a value");
        if (!takesValue && hasValue) return fail(name + " takes no value");

        if (name == "--port") {
            if (!ParsePort(value, command.options.port)) return fail("bad port: " + value);
        } else if (name == "--listen") {
            if (value.empty()) return fail("--listen needs an address");
            command.options.listenAddress = value;
        } else if (name == "--db") {
            if (value.empty()) return fail("--db needs a path");
            command.options.databasePath = value;
        } else if (name == "--base-url") {
            if (value.rfind("http://", 0) != 0 && value.rfind("https://", 0) != 0) {
                return fail("the base URL must start with http:// or https://");
            }
            command.options.baseUrl = value;
        } else if (name == "--notice") {
            if (value.empty() || HasControlCharacters(value)) {
                return fail("the notice must be one line of text");
            }
            command.options.notice.message = value;
        } else if (name == "--notice-page") {
            if (HasControlCharacters(value)) return fail("the notice page must be one line");
            command.options.notice.page = value;
        } else if (name == "--notice-stop") {
            command.options.notice.stop = true;
        } else if (name == "--no-demo") {
            command.options.demoAccount = false;
        } else if (name == "--quiet") {
            command.options.logRequests = false;
        } else if (name == "--add-account") {
            if (!LooksLikeEmail(value)) return fail("not an e-mail address: " + value);
            command.action = CommandLine::Action::kAddAccount;
            command.newAccountEmail = value;
        } else if (name == "--help" || name == "-h") {
            command.action = CommandLine::Action::kHelp;
            return command;
        } else {
            return fail("unknown option: " + name);
        }
    }
    const Notice& notice = command.options.notice;
    if (notice.message.empty() && (!notice.page.empty() || notice.stop)) {
        return fail("--notice-page and --notice-stop need --notice");
    }
    return command;
}

}  // namespace service
