#include "tools/service/plugin_api.h"

#include "tools/service/credentials.h"
#include "tools/service/text_limits.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace service {
namespace {

std::optional<int64_t> ParseCategoryId(const std::string& text) {
    if (text.empty() || text.size() > 20) return std::nullopt;
    const size_t start = text[0] == '-' || text[0] == '+' ? 1 : 0;
    if (start == text.size()) return std::nullopt;
    for (size_t i = start; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
    }
    errno = 0;
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (errno == ERANGE) return std::nullopt;
    return value;
}

std::string MissingField(const char* name) {
    return std::string("Missing field: ") + name;
}

}  // namespace

PluginReply StoreProblem(StoreResult result, bool statusLine) {
    const bool busy = result == StoreResult::kBusy;
    const int status = busy ? 503 : 500;
    const std::string text = busy ? PluginApi::kBusyText : PluginApi::kFailedText;
    // The category reply is read as a status line, so its text carries the code as well.
    return statusLine ? PluginReply{status, std::to_string(status) + " " + text + "\n"}
                      : PluginReply{status, text};
}

std::string UserPageUrl(const std::string& baseUrl, const std::string& email) {
    return baseUrl + "plugin/zephlist.php?email=" + PercentEncode(email);
}

PluginApi::PluginApi(Store& store, PluginApiSettings settings)
    : store_(store),
      settings_(std::move(settings)),
      hashSlots_(settings_.hashSlots, settings_.hashWaiting, settings_.hashWait),
      credentials_(settings_.credentialLifetime, 4096),
      throttle_(settings_.throttle) {
    // Checked against when the account is unknown, so that a wrong address costs as much time
    // as a wrong password and the reply time does not tell which accounts exist.
    unknownAccountHash_ = HashPassword(NewSessionToken());
}

std::optional<Account> PluginApi::Authenticate(const FormFields& form, const std::string& client,
                                               PluginReply& refusal, bool statusLine) {
    const auto email = form.Get("email");
    const auto password = form.Get("password");
    // A 4xx code in the category reply makes the client ask the user for new credentials.
    const auto refuse = [&](const char* code, const std::string& text) {
        refusal = {200, statusLine ? code + text + "\n" : text};
        return std::nullopt;
    };
    if (!email || email->empty()) return refuse("400 ", MissingField("email"));
    if (!password) return refuse("400 ", MissingField("password"));
    const SignInOutcome outcome = SignIn(*email, *password, client);
    switch (outcome.result) {
        case SignInResult::kSignedIn:
            return outcome.account;
        case SignInResult::kRefused:
            return refuse("403 ", kWrongCredentials);
        case SignInResult::kBusy:
            refusal = StoreProblem(StoreResult::kBusy, statusLine);
            refusal.retryAfter = outcome.retryAfter;
            return std::nullopt;
        default:
            refusal = StoreProblem(StoreResult::kFailed, statusLine);
            return std::nullopt;
    }
}

SignInOutcome PluginApi::SignIn(const std::string& email, const std::string& password,
                                const std::string& client) {
    if (email.size() > kMaxEmailBytes || password.size() > kMaxPasswordBytes) return {};
    const auto found = store_.FindAccount(email);
    if (!found.ok()) {
        return {found.result == StoreResult::kBusy ? SignInResult::kBusy : SignInResult::kFailed,
                {}};
    }
    // Slowed down before the cache is asked too, or a remembered password would answer a
    // guess at once.
    if (const int64_t wait = throttle_.SecondsToWait(email, client, false)) {
        return {SignInResult::kBusy, {}, wait};
    }
    const std::string key = credentials_.KeyOf(email, password);
    if (found.value && credentials_.Holds(key, found.value->id, found.value->passwordHash)) {
        return {SignInResult::kSignedIn, *found.value};
    }
    if (const int64_t wait = throttle_.SecondsToWait(email, client, true)) {
        return {SignInResult::kBusy, {}, wait};
    }
    using Outcome = LoginThrottle::Outcome;
    HashSlots::Slot slot(hashSlots_);
    if (!slot.acquired()) {
        throttle_.Done(email, client, Outcome::kUndecided);
        return {SignInResult::kBusy, {}};
    }
    if (settings_.whileHashing) settings_.whileHashing();
    const PasswordCheck check =
        CheckPassword(found.value ? found.value->passwordHash : unknownAccountHash_, password);
    switch (check) {
        case PasswordCheck::kMatch:
            if (!found.value) break;
            throttle_.Done(email, client, Outcome::kSucceeded);
            credentials_.Remember(key, found.value->id, found.value->passwordHash);
            return {SignInResult::kSignedIn, *found.value};
        case PasswordCheck::kMismatch:
            break;
        case PasswordCheck::kMalformedHash:
            throttle_.Done(email, client, Outcome::kUndecided);
            std::fprintf(stderr,
                         "tavrello-service: the stored password hash of account %lld "
                         "cannot be read\n",
                         static_cast<long long>(found.value ? found.value->id : 0));
            return {SignInResult::kFailed, {}};
        case PasswordCheck::kNoMemory:
            throttle_.Done(email, client, Outcome::kUndecided);
            return {SignInResult::kBusy, {}};
    }
    throttle_.Done(email, client, Outcome::kFailed);
    return {};
}

PluginReply PluginApi::Categories(const FormFields& form, const std::string& client) {
    PluginReply refusal;
    const auto account = Authenticate(form, client, refusal, true);
    if (!account) return refusal;
    const auto categories = store_.Categories(account->id);
    if (!categories.ok()) return StoreProblem(categories.result, true);
    std::string reply;
    const Notice& notice = settings_.notice;
    if (!notice.message.empty()) {
        reply = "201 " + notice.message + "\n" + notice.page + "\n" +
                (notice.stop ? "STOP" : "CONTINUE") + "\n";
        if (notice.stop) return {200, reply};
    } else {
        reply = "200 OK\n";
    }
    for (const Category& category : categories.value) {
        reply += std::to_string(category.id) + " " + category.name + "\n";
    }
    return {200, reply};
}

PluginReply PluginApi::AddUrl(const FormFields& form, const std::string& client) {
    PluginReply refusal;
    const auto account = Authenticate(form, client, refusal, false);
    if (!account) return refusal;
    const auto name = form.Get("name");
    const auto url = form.Get("url");
    const auto parentText = form.Get("parent");
    if (!name) return {200, MissingField("name")};
    if (!url) return {200, MissingField("url")};
    if (!parentText) return {200, MissingField("parent")};
    const auto parent = ParseCategoryId(*parentText);
    if (!parent) return {200, "The category id is not a number: " + *parentText};
    if (*url == "-") return AddCategory(*account, *name, *parent);
    return AddFavorite(*account, *name, *url, *parent);
}

PluginReply PluginApi::AddCategory(const Account& account, const std::string& rawName,
                                   int64_t parent) {
    if (parent != kHomeId) return {200, "Categories can only be created at the top level"};
    const std::string name = TrimBlanks(rawName);
    if (name.empty()) return {200, "The category name is empty"};
    if (name.size() > kMaxCategoryNameBytes) return {200, "The category name is too long"};
    if (HasControlCharacters(name)) return {200, "The category name must be one line of text"};
    const StoreResult result = store_.AddCategory(account.id, name);
    switch (result) {
        case StoreResult::kDone:
            return {200, "OK"};
        case StoreResult::kDuplicate:
            return {200, "There is already a category named " + name};
        case StoreResult::kOverQuota:
            return {200, PluginApi::kFullText};
        default:
            return StoreProblem(result, false);
    }
}

PluginReply PluginApi::AddFavorite(const Account& account, const std::string& rawName,
                                   const std::string& rawUrl, int64_t parent) {
    const std::string url = TrimBlanks(rawUrl);
    std::string name = TrimBlanks(rawName);
    if (url.empty()) return {200, "The address is empty"};
    if (url.size() > kMaxUrlBytes) return {200, "The address is too long"};
    if (HasControlCharacters(url)) return {200, "The address must be one line of text"};
    if (name.empty()) name = url;
    if (name.size() > kMaxFavoriteNameBytes) return {200, "The description is too long"};
    if (HasControlCharacters(name)) return {200, "The description must be one line of text"};
    const StoreResult result = store_.AddFavorite(account.id, parent, name, url);
    switch (result) {
        case StoreResult::kDone:
            return {200, "OK"};
        case StoreResult::kUnknownCategory:
            return {200, "There is no category " + std::to_string(parent) + " in your favorites"};
        case StoreResult::kOverQuota:
            return {200, PluginApi::kFullText};
        default:
            return StoreProblem(result, false);
    }
}

PluginReply PluginApi::WebPage(const FormFields& form, const std::string& client) {
    PluginReply refusal;
    const auto account = Authenticate(form, client, refusal, false);
    if (!account) return refusal;
    return {200, UserPageUrl(settings_.baseUrl, account->email)};
}

}  // namespace service
