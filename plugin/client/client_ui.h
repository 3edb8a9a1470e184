// The modal steps of the service client: message boxes, the two dialogs and the browser
// launcher. The client holds one of these, so each step can be answered without a person.
#pragma once

#include <string>

namespace plugin {

class CTavrello;

struct AddFavoriteChoice {
    std::string description;
    std::string pageUrl;
    int selectedId = -1;
};

class ClientUi {
public:
    virtual ~ClientUi() = default;
    // Message box without owner, OK button, stop icon (MB_ICONERROR).
    virtual void ShowMessage(const std::string& text, const char* caption) = 0;
    // Same, with Retry and Cancel; true when the user chose Retry.
    virtual bool AskRetry(const std::string& text, const char* caption) = 0;
    // The options dialog, owner the thread's active window; true when it ended with OK.
    virtual bool RunOptionsDialog() = 0;
    // The add-favorite dialog with choice.description/pageUrl preset, calling back into client
    // while it runs; on OK (true) choice holds what the user confirmed (description, pageUrl,
    // selectedId).
    virtual bool RunAddFavoriteDialog(CTavrello& client, AddFavoriteChoice& choice) = 0;
    // Opens url in the default browser.
    virtual void OpenInBrowser(const std::string& url) = 0;
};

}  // namespace plugin
