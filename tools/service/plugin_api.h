// The three form requests of the browser plug-in, from decoded fields to reply text. Replies
// are UTF-8 here; the HTTP layer converts them to the charset of the request.
#pragma once

#include "tools/service/credentials.h"
#include "tools/service/form_body.h"
#include "tools/service/login_throttle.h"
#include "tools/service/store.h"

#include <chrono>
#include <functional>
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
    unsigned hashSlots = 0;  // 0: one per core, at least two
    unsigned hashWaiting = 16;
    std::chrono::milliseconds hashWait{3000};
    std::chrono::seconds credentialLifetime{120};
    LoginThrottleSettings throttle{};
    // Runs while a password check holds its slot; tests hold the slot with it.
    std::function<void()> whileHashing{};
};

// What goes back over HTTP: status 200 with the reply text, or 503 (sent with Retry-After)
// when the store or the password hashing is busy, or 500 when the store failed. Only 200
// carries a reply in the plug-in's grammar; the others tell the plug-in nothing about the
// user's credentials.
struct PluginReply {
    int status = 200;
    std::string text;
    int64_t retryAfter = 1;  // seconds, sent with 503
};

// kBusy: try again after retryAfter seconds (the store or the hashing was busy, or failed
// checks slowed this account or client down); kFailed: the store failed, or the stored hash
// cannot be read.
enum class SignInResult { kSignedIn, kRefused, kBusy, kFailed };

struct SignInOutcome {
    SignInResult result = SignInResult::kRefused;
    Account account;  // when signed in
    int64_t retryAfter = 1;
};

class PluginApi {
public:
    PluginApi(Store& store, PluginApiSettings settings);

    // "plugin/getcatagories.php": status line, the notice if one is set, then "ID NAME" lines.
    PluginReply Categories(const FormFields& form, const std::string& client);
    // "plugin/addurl.php": "OK" or the reason, in one line. URL "-" with parent 0 creates a
    // category named by the name field.
    PluginReply AddUrl(const FormFields& form, const std::string& client);
    // "plugin/getwebpage.php": the address of the user's own page, or the reason.
    PluginReply WebPage(const FormFields& form, const std::string& client);

    // The one credential check of the service, also behind the login page. A wrong password
    // always costs a full hash; a right one seen a moment ago is taken from the cache. client
    // is the address the request came from.
    SignInOutcome SignIn(const std::string& email, const std::string& password,
                         const std::string& client);

    static constexpr const char* kWrongCredentials = "Wrong e-mail address or password";
    static constexpr const char* kBusyText = "The service is busy; try again in a moment";
    static constexpr const char* kFailedText = "The service could not read or store your data";
    static constexpr const char* kFullText =
        "Your favorites are full: delete some before you add more";
    static constexpr int kRetryAfterSeconds = 1;

private:
    // Signed in, or the reply that refuses the request.
    std::optional<Account> Authenticate(const FormFields& form, const std::string& client,
                                        PluginReply& refusal, bool statusLine);
    PluginReply AddCategory(const Account& account, const std::string& name, int64_t parent);
    PluginReply AddFavorite(const Account& account, const std::string& name, const std::string& url,
                            int64_t parent);

    Store& store_;
    PluginApiSettings settings_;
    std::string unknownAccountHash_;
    HashSlots hashSlots_;
    CredentialCache credentials_;
    LoginThrottle throttle_;
};

// The reply for a store result other than kDone.
PluginReply StoreProblem(StoreResult result, bool statusLine);

// The page where a user's public favorites live, below the given base URL.
std::string UserPageUrl(const std::string& baseUrl, const std::string& email);

}  // namespace service
