#include "plugin/dialogs/plugin_ui.h"

#include "common/launcher.h"
#include "plugin/dialogs/add_favorite_dialog.h"
#include "plugin/dialogs/options_dialog.h"

namespace plugin {

bool PluginClientUi::RunOptionsDialog() {
    COptionsDlg options;
    return options.DoModal(::GetActiveWindow()) == IDOK;
}

bool PluginClientUi::RunAddFavoriteDialog(CTavrello& client, AddFavoriteChoice& choice) {
    CAddFavoriteDlg dialog(client, choice);
    if (dialog.DoModal(::GetActiveWindow()) != IDOK) return false;
    choice = dialog.Choice();
    return true;
}

void PluginClientUi::OpenInBrowser(const std::string& url) {
    common::OpenInDefaultBrowser(url.c_str());
}

}  // namespace plugin
