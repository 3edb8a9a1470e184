#include "plugin/dialogs/plugin_ui.h"

#include "common/launcher.h"
#include "framework/module_instance.h"
#include "framework/window/activation_context.h"
#include "plugin/dialogs/add_favorite_dialog.h"
#include "plugin/dialogs/options_dialog.h"

namespace plugin {

namespace {

// The plug-in's own manifest (common controls 6), made when the first dialog runs rather than
// while the loader holds its lock. The browser's threads keep their own context: it is active
// only while one of our dialogs runs, and the dialogs they open in turn (new category) inherit it.
const framework::ModuleActivationContext& DialogContext() {
    static const framework::ModuleActivationContext context(framework::CodeInstance());
    return context;
}

}  // namespace

bool PluginClientUi::RunOptionsDialog() {
    const framework::ActivationScope scope(DialogContext());
    COptionsDlg options;
    return options.DoModal(::GetActiveWindow()) == IDOK;
}

bool PluginClientUi::RunAddFavoriteDialog(CTavrello& client, AddFavoriteChoice& choice) {
    const framework::ActivationScope scope(DialogContext());
    CAddFavoriteDlg dialog(client, choice);
    if (dialog.DoModal(::GetActiveWindow()) != IDOK) return false;
    choice = dialog.Choice();
    return true;
}

void PluginClientUi::OpenInBrowser(const std::string& url) {
    common::OpenInDefaultBrowser(url.c_str());
}

}  // namespace plugin
