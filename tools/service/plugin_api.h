// The three form requests of the browser plug-in, from decoded fields to reply text. Replies
// are UTF-8 here; the HTTP layer converts them to the charset of the request.
#pragma once

#include "tools/service/form_body.h"
#include "tools/service/store.h"

#include <optional>
#include <string>

namespace service {

// A message that the category reply carries before the list (status 201).
struct Notice {
    std::string message;  // empty: no notice
    std::string page;     // opened by the client when not empty
    bool stop = false;    // the client shows the notice and goes no further
};

struct PluginApiSettings {
    std::string baseUrl;  // ends with '/'
    Notice notice;
};

class PluginApi {
public:
    PluginApi(Store& store, PluginApiSettings settings);

    // "plugin/getcatagories.php": status line, the notice if one is set, then "ID NAME" lines.
    std::string Categories(const FormFields& form);
    // "plugin/addurl.php": "OK" or the reason, in one line. URL "-" with parent 0 creates a
    // category named by the name field.
    std::string AddUrl(const FormFields& form);
    // "plugin/getwebpage.php": the address of the user's own page, or the reason.
    std::string WebPage(const FormFields& form);

    // The one credential check of the service, also behind the login page.
    std::optional<Account> SignIn(const std::string& email, const std::string& password,
                                  std::string& error);

    static constexpr const char* kWrongCredentials = "Wrong e-mail address or password";

private:
    std::optional<Account> Authenticate(const FormFields& form, std::string& error);
    std::string AddCategory(const Account& account, const std::string& name, int64_t parent);
    std::string AddFavorite(const Account& account, const std::string& name, const std::string& url,
                            int64_t parent);

    Store& store_;
    PluginApiSettings settings_;
    std::string unknownAccountHash_;
};

// The page where a user's public favorites live, below the given base URL.
std::string UserPageUrl(const std::string& baseUrl, const std::string& email);

}  // namespace service
