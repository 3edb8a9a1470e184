// PluginClientUi: the service client's modal steps as the plug-in shows them, with the real
// options and add-favorite dialogs and the default browser.
#pragma once

#include "plugin/client/message_box_ui.h"

class PluginClientUi : public MessageBoxClientUi {
public:
    // Registers the tree-view class that the add-favorite dialog's template needs.
    PluginClientUi();

    bool RunOptionsDialog() override;
    bool RunAddFavoriteDialog(AddFavoriteChoice& choice) override;
    void OpenInBrowser(const std::string& url) override;
};
