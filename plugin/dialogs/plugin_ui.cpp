#include "plugin/dialogs/plugin_ui.h"

#include "common/launcher.h"
#include "plugin/dialogs/add_favorite_dialog.h"
#include "plugin/dialogs/options_dialog.h"

PluginClientUi::PluginClientUi() {
    corvane::RegisterTreeViewClass();
}

bool PluginClientUi::RunOptionsDialog() {
    COptionsDlg options;
    return options.DoModal(::GetActiveWindow()) == IDOK;
}

bool PluginClientUi::RunAddFavoriteDialog(AddFavoriteChoice& choice) {
    CAddFavoriteDlg dialog;
    dialog.description = choice.description;
    dialog.pageUrl = choice.pageUrl;
    if (dialog.DoModal(::GetActiveWindow()) != IDOK) return false;
    choice.description = dialog.description;
    choice.pageUrl = dialog.pageUrl;
    choice.selectedId = dialog.selectedId;
    return true;
}

void PluginClientUi::OpenInBrowser(const std::string& url) {
    OpenInDefaultBrowser(url.c_str());
}
