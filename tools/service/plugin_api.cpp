#include "tools/service/plugin_api.h"

#include "tools/service/credentials.h"
#include "tools/service/text_limits.h"

#include <cerrno>
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

std::string UserPageUrl(const std::string& baseUrl, const std::string& email) {
    return baseUrl + "plugin/zephlist.php?email=" + PercentEncode(email);
}

PluginApi::PluginApi(Store& store, PluginApiSettings settings)
    : store_(store), settings_(std::move(settings)) {
    // Checked against when the account is unknown, so that a wrong address costs as much time
    // as a wrong password and the reply time does not tell which accounts exist.
    unknownAccountHash_ = HashPassword(NewSessionToken());
}

std::optional<Account> PluginApi::Authenticate(const FormFields& form, std::string& error) {
    const auto email = form.Get("email");
    const auto password = form.Get("password");
    if (!email || email->empty()) {
        error = MissingField("email");
        return std::nullopt;
    }
    if (!password) {
        error = MissingField("password");
        return std::nullopt;
    }
    return SignIn(*email, *password, error);
}

std::optional<Account> PluginApi::SignIn(const std::string& email, const std::string& password,
                                         std::string& error) {
    error = kWrongCredentials;
    if (email.size() > kMaxEmailBytes || password.size() > kMaxPasswordBytes) {
        return std::nullopt;
    }
    auto account = store_.FindAccount(email);
    if (!account) {
        VerifyPassword(unknownAccountHash_, password);
        return std::nullopt;
    }
    if (!VerifyPassword(account->passwordHash, password)) return std::nullopt;
    error.clear();
    return account;
}

std::string PluginApi::Categories(const FormFields& form) {
    std::string error;
    const auto account = Authenticate(form, error);
    if (!account) {
        // A 4xx code makes the client ask the user for new credentials.
        return (error == kWrongCredentials ? "403 " : "400 ") + error + "\n";
    }
    std::string reply;
    const Notice& notice = settings_.notice;
    if (!notice.message.empty()) {
        reply = "201 " + notice.message + "\n" + notice.page + "\n" +
                (notice.stop ? "STOP" : "CONTINUE") + "\n";
        if (notice.stop) return reply;
    } else {
        reply = "200 OK\n";
    }
    for (const Category& category : store_.Categories(account->id)) {
        reply += std::to_string(category.id) + " " + category.name + "\n";
    }
    return reply;
}

std::string PluginApi::AddUrl(const FormFields& form) {
    std::string error;
    const auto account = Authenticate(form, error);
    if (!account) return error;
    const auto name = form.Get("name");
    const auto url = form.Get("url");
    const auto parentText = form.Get("parent");
    if (!name) return MissingField("name");
    if (!url) return MissingField("url");
    if (!parentText) return MissingField("parent");
    const auto parent = ParseCategoryId(*parentText);
    if (!parent) return "The category id is not a number: " + *parentText;
    if (*url == "-") return AddCategory(*account, *name, *parent);
    return AddFavorite(*account, *name, *url, *parent);
}

std::string PluginApi::AddCategory(const Account& account, const std::string& rawName,
                                   int64_t parent) {
    if (parent != kHomeId) return "Categories can only be created at the top level";
    const std::string name = TrimBlanks(rawName);
    if (name.empty()) return "The category name is empty";
    if (name.size() > kMaxCategoryNameBytes) return "The category name is too long";
    if (HasControlCharacters(name)) return "The category name must be one line of text";
    switch (store_.AddCategory(account.id, name)) {
        case StoreResult::kDone:
            return "OK";
        case StoreResult::kDuplicate:
            return "There is already a category named " + name;
        default:
            return "The category could not be stored";
    }
}

std::string PluginApi::AddFavorite(const Account& account, const std::string& rawName,
                                   const std::string& rawUrl, int64_t parent) {
    const std::string url = TrimBlanks(rawUrl);
    std::string name = TrimBlanks(rawName);
    if (url.empty()) return "The address is empty";
    if (url.size() > kMaxUrlBytes) return "The address is too long";
    if (HasControlCharacters(url)) return "The address must be one line of text";
    if (name.empty()) name = url;
    if (name.size() > kMaxFavoriteNameBytes) return "The description is too long";
    if (HasControlCharacters(name)) return "The description must be one line of text";
    switch (store_.AddFavorite(account.id, parent, name, url)) {
        case StoreResult::kDone:
            return "OK";
        case StoreResult::kUnknownCategory:
            return "There is no category " + std::to_string(parent) + " in your favorites";
        default:
            return "The favorite could not be stored";
    }
}

std::string PluginApi::WebPage(const FormFields& form) {
    std::string error;
    const auto account = Authenticate(form, error);
    if (!account) return error;
    return UserPageUrl(settings_.baseUrl, account->email);
}

}  // namespace service
