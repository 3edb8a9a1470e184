#include "plugin/dialogs/message_box_ui.h"

#include <windows.h>

namespace plugin {

// No owner window: the browser window may belong to another thread of the process.
void MessageBoxClientUi::ShowMessage(const std::string& text, const char* caption) {
    MessageBoxA(nullptr, text.c_str(), caption, MB_OK | MB_ICONERROR);
}

bool MessageBoxClientUi::AskRetry(const std::string& text, const char* caption) {
    return MessageBoxA(nullptr, text.c_str(), caption, MB_RETRYCANCEL | MB_ICONERROR) == IDRETRY;
}

}  // namespace plugin
