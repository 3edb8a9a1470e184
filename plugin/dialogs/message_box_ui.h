// The message-box half of ClientUi on real MessageBoxA; the dialogs and the launcher come from
// the plug-in that derives from it.
#pragma once

#include "plugin/client/client_ui.h"

namespace plugin {

class MessageBoxClientUi : public ClientUi {
public:
    void ShowMessage(const std::string& text, const char* caption) override;
    bool AskRetry(const std::string& text, const char* caption) override;
};

}  // namespace plugin
