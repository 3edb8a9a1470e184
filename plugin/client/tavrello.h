// CTavrello: the plug-in's one service client. It posts forms to the service over WinInet,
// reads the replies, caches the user's category list and runs the modal steps around them
// through its ClientUi.
//
// The road of one add:
// 1. The browser invokes the command: CTavrelloIE::Exec (plugin/module/tavrello_ie.cpp) reads
//    the page's address and title and calls AddPage on Current().
// 2. AddPage runs FetchCategories: the cached list, or a post to kCategoryListPath, with the
//    options dialog (ClientUi::RunOptionsDialog) first when there is no account or the service
//    refuses it.
// 3. AddPage runs the add-favorite dialog (ClientUi::RunAddFavoriteDialog), handing it this
//    client; the dialog fills its tree from CopyCategories and calls back for the operations
//    add_favorite_dialog.h lists.
// 4. On OK, AddPage posts the choice to kAddPath; any reply but kAddedReply is shown.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "plugin/client/client_ui.h"

namespace plugin {

// Paths below the service base URL; the base URL ends with '/'.
constexpr const char kCategoryListPath[] = "plugin/getcatagories.php";
constexpr const char kAddPath[] = "plugin/addurl.php";
constexpr const char kWebPagePath[] = "plugin/getwebpage.php";
constexpr const char kHelpPath[] = "help/plugin.htm";

// Captions of the client's message boxes.
constexpr const char kServiceCaption[] = "Tavrello";
constexpr const char kRefusedCaption[] = "Tavrello Error";
constexpr const char kErrorCaption[] = "Error";

// The whole reply an add request must bring for success.
constexpr const char kAddedReply[] = "OK";

// A reply body beyond this size ends its request as a failure.
constexpr size_t kMaxReplyBytes = 16u * 1024u * 1024u;

class CTavrello {
public:
    explicit CTavrello(std::unique_ptr<ClientUi> ui);
    CTavrello(const CTavrello&) = delete;
    CTavrello& operator=(const CTavrello&) = delete;

    // The client of this process, or null when none exists.
    static CTavrello* Current();

    // The virtual operations keep a fixed slot order, the destructor sixth: declare any new one
    // at the end.

    // Posts body unchanged to url; 1 when the answer was status 200 and reply holds its whole
    // body. reply changes only after a status 200. A failed send writes lastError.
    virtual int PostForm(const char* url, const char* body, std::string& reply);
    // One query-info item of a request as text, or nothing when it is absent.
    virtual std::optional<std::string> QueryInfo(HINTERNET request, DWORD infoLevel);
    // Reads the rest of the reply body into reply; nonzero when it was read whole.
    virtual int ReadReply(HINTERNET request, std::string& reply);
    // Takes the first line off text into line (without its CR LF or LF end) and returns it.
    virtual std::string& ReadLine(std::string& line, std::string_view& text);

    // Makes sure categoryLines is filled, asking for credentials where needed.
    virtual int FetchCategories();
    virtual ~CTavrello();
    // Runs the add-favorite dialog for a page and sends what the user chose.
    virtual void AddPage(const std::string& title, const std::string& url);
    // Creates a category (an add with URL "-" under parent 0), then refreshes the list.
    virtual void CreateCategory(const std::string& name);
    // Runs the options dialog; on OK drops the cached list and reloads the settings.
    virtual int EditOptions();
    // Drops the cached list and fetches it again.
    virtual int RefreshCategories();
    // Asks the service for the user's own page and opens it.
    virtual void OpenWebPage();
    // Opens the plug-in help page below the base URL.
    virtual void OpenHelp();
    // Replaces lines with a copy of categoryLines.
    virtual std::vector<std::string>& CopyCategories(std::vector<std::string>& lines);

    // Reads email, password and baseUrl from the settings key; an account that the key refused
    // to store stands in for the stored one for the rest of the process.
    void LoadSettings();
    // Takes up settings that an options dialog stored: drops the cached list, then reloads.
    void ReloadSettings();

    std::string email;
    std::string password;
    std::vector<std::string> categoryLines;
    std::string baseUrl;
    // The system's text for the last failed send; no other failure writes it.
    std::string lastError;
    // What went wrong in the last failed request, of any kind, in words for the user.
    std::string lastFailure;
    // Whether the last request was sent and answered, whatever the answer was.
    bool lastAnswered = false;

private:
    int PostTo(const char* path, const std::string& body, std::string& reply);

    std::unique_ptr<ClientUi> ui_;
    // A failure already shown for the operation under way; a fetch inside it does not repeat it.
    std::string failureShown_;
};

}  // namespace plugin
