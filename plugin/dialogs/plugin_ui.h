// PluginClientUi: the service client's modal steps as the plug-in shows them, with the real
// options and add-favorite dialogs and the default browser. The add-favorite dialog's tree-view
// class is registered by the module when it is loaded (corvane_module.cpp).
#pragma once

#include "plugin/dialogs/message_box_ui.h"

namespace plugin {

class PluginClientUi : public MessageBoxClientUi {
public:
    bool RunOptionsDialog() override;
    bool RunAddFavoriteDialog(CTavrello& client, AddFavoriteChoice& choice) override;
    void OpenInBrowser(const std::string& url) override;
};

}  // namespace plugin
