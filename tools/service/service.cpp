#include "tools/service/service.h"

#include "tools/service/credentials.h"
#include "tools/service/demo_account.h"
#include "tools/service/form_body.h"
#include "tools/service/pages.h"
#include "tools/service/text_encoding.h"
#include "tools/service/text_limits.h"

#include <arpa/inet.h>
#include <httplib.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <system_error>
#include <thread>

namespace service {
namespace {

constexpr int64_t kSessionLifetimeSeconds = 30 * 24 * 3600;
// The desktop client speaks the 8-bit code page of Windows; our own pages are UTF-8.
constexpr const char kClientCharset[] = "windows-1252";
constexpr const char kPageCharset[] = "utf-8";
constexpr const char kHtml[] = "text/html; charset=utf-8";

int64_t Now() {
    return static_cast<int64_t>(std::time(nullptr));
}

bool IsUtf8Label(const std::string& charset) {
    const std::string lower = AsciiLower(charset);
    return lower == "utf-8" || lower == "utf8";
}

// "scheme://authority" of an absolute URL, lower case; empty when it has none.
std::string OriginOf(std::string_view url) {
    const size_t scheme = url.find("://");
    if (scheme == std::string_view::npos || scheme == 0) return std::string();
    const size_t end = url.find_first_of("/?#", scheme + 3);
    return AsciiLower(url.substr(0, end));
}

// The host part of a Host header or URL authority: brackets and port removed, lower case,
// without a final dot.
std::string HostPart(std::string_view authority) {
    std::string_view host = authority;
    if (!host.empty() && host.front() == '[') {
        const size_t close = host.find(']');
        if (close == std::string_view::npos) return std::string();
        host = host.substr(1, close - 1);
    } else {
        host = host.substr(0, host.find(':'));
    }
    if (!host.empty() && host.back() == '.') host.remove_suffix(1);
    return AsciiLower(host);
}

bool IsLoopbackName(const std::string& host) {
    if (host == "localhost" || host == "::1") return true;
    const std::string suffix = ".localhost";
    if (host.size() > suffix.size() &&
        host.compare(host.size() - suffix.size(), suffix.size(), suffix) == 0) {
        return true;
    }
    in_addr address{};
    return inet_pton(AF_INET, host.c_str(), &address) == 1 && (ntohl(address.s_addr) >> 24) == 127;
}

// Reads a form body in the charset the request declares, or in the given default. On failure
// the response already holds the error.
std::optional<FormFields> ReadForm(const httplib::Request& request, httplib::Response& response,
                                   const char* defaultCharset, std::string& charset) {
    const ContentType type = ContentType::Parse(request.get_header_value("Content-Type"));
    if (!type.IsForm()) {
        response.status = 415;
        response.set_content("Send the request as a form (application/x-www-form-urlencoded)",
                             "text/plain; charset=utf-8");
        return std::nullopt;
    }
    charset = type.charset.empty() ? defaultCharset : type.charset;
    auto form = FormFields::ParseAs(request.body, charset);
    if (!form) {
        response.status = 400;
        response.set_content("The form is not valid text in the charset " + charset,
                             "text/plain; charset=utf-8");
    }
    return form;
}

// Replies to the plug-in travel in the charset of its request.
void SendPluginReply(httplib::Response& response, const std::string& charset,
                     const PluginReply& reply) {
    response.status = reply.status;
    if (reply.status == 503) response.set_header("Retry-After", std::to_string(reply.retryAfter));
    if (IsUtf8Label(charset)) {
        response.set_content(reply.text, "text/plain; charset=utf-8");
    } else {
        response.set_content(Utf8ToWindows1252(reply.text), "text/plain; charset=windows-1252");
    }
}

std::string CookieValue(const httplib::Request& request, std::string_view name) {
    const std::string header = request.get_header_value("Cookie");
    std::string_view rest = header;
    while (!rest.empty()) {
        const size_t end = rest.find(';');
        std::string_view pair = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        while (!pair.empty() && pair.front() == ' ') pair.remove_prefix(1);
        const size_t equals = pair.find('=');
        if (equals != std::string_view::npos && pair.substr(0, equals) == name) {
            return std::string(pair.substr(equals + 1));
        }
    }
    return std::string();
}

void SendHtml(httplib::Response& response, int status, const std::string& html) {
    response.status = status;
    response.set_content(html, kHtml);
}

// A page that could not be made because the store was busy (503, try again) or failed (500).
void SendStoreProblem(httplib::Response& response, StoreResult result,
                      int64_t retryAfter = PluginApi::kRetryAfterSeconds) {
    const PluginReply problem = StoreProblem(result, false);
    if (problem.status == 503) response.set_header("Retry-After", std::to_string(retryAfter));
    SendHtml(response, problem.status, RenderMessagePage("Tavrello", problem.text));
}

// A public page holds this many favorites at most, so that it costs the same whatever the
// account holds; a link leads to the next.
constexpr int64_t kFavoritesPerPage = 500;

StoreResult ViewOf(Store& store, const Account& account, bool includePrivate, FavoritesView& view,
                   int64_t afterId = 0, int64_t limit = -1) {
    if (view.title.empty()) view.title = "Favorites of " + account.email;
    auto categories = store.Categories(account.id);
    if (!categories.ok()) return categories.result;
    auto favorites = store.Favorites(account.id, afterId, limit);
    if (!favorites.ok()) return favorites.result;
    view.categories = std::move(categories.value);
    view.favorites = std::move(favorites.value);
    view.includePrivate = includePrivate;
    return StoreResult::kDone;
}

// The binding of the form token of a signed-in page: its session.
std::string FormBinding(const std::string& sessionToken) {
    return "session " + SessionTokenDigest(sessionToken);
}

const char* DefaultErrorText(int status) {
    switch (status) {
        case 400:
            return "Bad request";
        case 404:
            return "Not found";
        case 405:
            return "Method not allowed";
        case 408:
            return "The request took too long to arrive";
        case 413:
            return "The request is too large";
        case 414:
            return "The address is too long";
        case 415:
            return "Send the body without a content encoding";
        case 416:
            return "";
        case 421:
            return "This service does not answer for that host name";
        case 503:
            return PluginApi::kBusyText;
        default:
            return status >= 500 ? "Internal error" : "Request refused";
    }
}

// Refuses a request before its body is read; the body is left unread, so the connection
// closes after the reply.
httplib::Server::HandlerResponse Refuse(httplib::Response& response, int status,
                                        const char* text = nullptr) {
    response.status = status;
    response.set_content(text ? text : DefaultErrorText(status), "text/plain; charset=utf-8");
    BoundedServer::CloseAfterReply(response);
    return httplib::Server::HandlerResponse::Handled;
}

}  // namespace

std::unique_ptr<Service> Service::Create(const ServiceOptions& options, std::string& error) {
    std::unique_ptr<Service> service(new Service());
    service->store_ = Store::Open(options.databasePath, error, options.busyTimeoutMs);
    if (!service->store_) {
        error = "cannot open the database " + options.databasePath + ": " + error;
        return nullptr;
    }
    service->store_->SetQuota(options.quota);
    if (options.demoAccount && !EnsureDemoAccount(*service->store_)) {
        error = "cannot create the demo account in " + options.databasePath;
        return nullptr;
    }
    ConnectionLimits limits = options.limits;
    limits.maxBodyBytes = kMaxBodyBytes;
    try {
        service->server_ = std::make_unique<BoundedServer>(limits, DefaultErrorText);
    } catch (const std::system_error& failure) {
        error = std::string("cannot start the threads of the service: ") + failure.what();
        return nullptr;
    }
    BoundedServer& server = *service->server_;
    // Without the library's SO_REUSEPORT: a second service on a taken port must fail to start,
    // not share the port with the first.
    server.set_socket_options([](int socket) {
        const int on = 1;
        setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    });
    if (options.port == 0) {
        service->port_ = server.bind_to_any_port(options.listenAddress);
    } else if (server.bind_to_port(options.listenAddress, options.port)) {
        service->port_ = options.port;
    } else {
        service->port_ = -1;
    }
    if (service->port_ <= 0) {
        error =
            "cannot listen on " + options.listenAddress + " port " + std::to_string(options.port);
        return nullptr;
    }
    server.WidenListenBacklog();
    service->listenAddress_ = HostPart(options.listenAddress.find(':') != std::string::npos &&
                                               options.listenAddress.front() != '['
                                           ? "[" + options.listenAddress + "]"
                                           : options.listenAddress);
    service->baseUrl_ = options.baseUrl;
    if (service->baseUrl_.empty()) {
        service->baseUrl_ =
            "http://" + options.listenAddress + ":" + std::to_string(service->port_) + "/";
    } else if (service->baseUrl_.back() != '/') {
        service->baseUrl_ += '/';
    }
    service->baseOrigin_ = OriginOf(service->baseUrl_);
    service->baseHost_ =
        HostPart(service->baseOrigin_.substr(service->baseOrigin_.find("://") + 3));
    service->secureCookies_ = service->baseUrl_.rfind("https://", 0) == 0;
    PluginApiSettings settings{service->baseUrl_, options.notice};
    settings.hashSlots = options.hashSlots;
    settings.hashWaiting = options.hashWaiting;
    settings.throttle = options.loginThrottle;
    settings.whileHashing = options.whileHashing;
    service->api_ = std::make_unique<PluginApi>(*service->store_, settings);
    if (options.logRequests) {
        server.set_logger([](const httplib::Request& request, const httplib::Response& response) {
            // The path only: query strings carry e-mail addresses.
            std::fprintf(stderr, "%s %s %d\n", EscapeForLog(request.method).c_str(),
                         EscapeForLog(request.path).c_str(), response.status);
        });
    }
    service->InstallRoutes();
    return service;
}

Service::~Service() {
    Stop();
    // A bound socket that never served is closed with the server object.
}

bool Service::ServesHost(const std::string& hostHeader) const {
    const std::string host = HostPart(hostHeader);
    if (host.empty()) return false;
    return IsLoopbackName(host) || host == listenAddress_ || host == baseHost_;
}

bool Service::FromOwnSite(const httplib::Request& request) const {
    std::string origin;
    if (request.has_header("Origin")) {
        origin = AsciiLower(request.get_header_value("Origin"));
    } else if (request.has_header("Referer")) {
        origin = OriginOf(request.get_header_value("Referer"));
    } else {
        return true;
    }
    // "null" (a sandboxed or opaque page) and anything unreadable count as another site.
    return origin == baseOrigin_ || origin == (secureCookies_ ? "https://" : "http://") +
                                                  AsciiLower(request.get_header_value("Host"));
}

std::string Service::CookieAttributes() const {
    return std::string("; Path=/; HttpOnly; SameSite=Lax") + (secureCookies_ ? "; Secure" : "");
}

std::string Service::LoginFormToken(const httplib::Request& request, httplib::Response& response) {
    std::string browser = CookieValue(request, kLoginCookie);
    if (browser.empty()) {
        browser = NewSessionToken();
        response.set_header("Set-Cookie",
                            std::string(kLoginCookie) + "=" + browser + CookieAttributes());
    }
    return formTokens_.For("login " + SessionTokenDigest(browser));
}

bool Service::IsLoginFormToken(const httplib::Request& request, const std::string& token) const {
    const std::string browser = CookieValue(request, kLoginCookie);
    return !browser.empty() && formTokens_.Matches(token, "login " + SessionTokenDigest(browser));
}

void Service::InstallRoutes() {
    BoundedServer& server = *server_;
    server.set_default_headers({
        {"X-Content-Type-Options", "nosniff"},
        // The site's own pages name themselves to it (its forms check that); no other site
        // learns their addresses, which carry e-mail addresses.
        {"Referrer-Policy", "same-origin"},
        {"Content-Security-Policy",
         "default-src 'none'; style-src 'unsafe-inline'; form-action 'self'; "
         "frame-ancestors 'none'"},
        // For browser controls that know frame-ancestors not.
        {"X-Frame-Options", "DENY"},
    });
    server.set_pre_routing_handler(
        [this](const httplib::Request& request, httplib::Response& response) {
            if (!ServesHost(request.get_header_value("Host"))) return Refuse(response, 421);
            const std::string encoding = request.get_header_value("Content-Encoding");
            if (!encoding.empty() && AsciiLower(encoding) != "identity")
                return Refuse(response, 415);
            if (request.method == "POST" && !FromOwnSite(request)) {
                return Refuse(response, 403, "Requests from pages of other sites are refused");
            }
            return httplib::Server::HandlerResponse::Unhandled;
        });
    const httplib::Server::HandlerWithResponse defaultErrorBody = [](const httplib::Request&,
                                                                     httplib::Response& response) {
        // After a request that could not be read, where the next one begins is uncertain.
        if (response.status == 400) BoundedServer::CloseAfterReply(response);
        if (!response.body.empty()) {
            return httplib::Server::HandlerResponse::Unhandled;
        }
        response.set_content(DefaultErrorText(response.status), "text/plain; charset=utf-8");
        return httplib::Server::HandlerResponse::Handled;
    };
    server.set_error_handler(defaultErrorBody);
    server.set_exception_handler(
        [](const httplib::Request&, httplib::Response& response, std::exception_ptr) {
            response.status = 500;
            response.set_content(DefaultErrorText(500), "text/plain; charset=utf-8");
        });

    using PluginCall = PluginReply (PluginApi::*)(const FormFields&, const std::string&);
    const auto pluginRoute = [this, &server](const char* path, PluginCall call) {
        server.Post(
            path, [this, call](const httplib::Request& request, httplib::Response& response) {
                std::string charset;
                const auto form = ReadForm(request, response, kClientCharset, charset);
                if (!form) return;
                SendPluginReply(response, charset, ((*api_).*call)(*form, request.remote_addr));
            });
        server.Get(path, [](const httplib::Request&, httplib::Response& response) {
            response.status = 405;
            response.set_header("Allow", "POST");
            response.set_content("Send this request with POST", "text/plain; charset=utf-8");
        });
    };
    pluginRoute("/plugin/getcatagories.php", &PluginApi::Categories);
    pluginRoute("/plugin/addurl.php", &PluginApi::AddUrl);
    pluginRoute("/plugin/getwebpage.php", &PluginApi::WebPage);
    InstallWebRoutes();
}

void Service::InstallWebRoutes() {
    BoundedServer& server = *server_;
    server.Get("/zephlist/login.php", [this](const httplib::Request& request,
                                             httplib::Response& response) {
        response.set_header("Cache-Control", "no-store");
        const std::string token = CookieValue(request, kSessionCookie);
        std::optional<Account> account;
        if (!token.empty()) {
            const auto session = store_->SessionAccount(SessionTokenDigest(token), Now());
            if (!session.ok()) return SendStoreProblem(response, session.result);
            if (session.value) {
                auto found = store_->FindAccountById(*session.value);
                if (!found.ok()) return SendStoreProblem(response, found.result);
                account = std::move(found.value);
            }
        }
        if (!account) {
            SendHtml(response, 200, RenderLoginPage("", LoginFormToken(request, response)));
            return;
        }
        FavoritesView view;
        const StoreResult viewed = ViewOf(*store_, *account, true, view);
        if (viewed != StoreResult::kDone) return SendStoreProblem(response, viewed);
        SendHtml(response, 200,
                 RenderSignedInPage(account->email, view, formTokens_.For(FormBinding(token))));
    });

    server.Post("/zephlist/login.php", [this](const httplib::Request& request,
                                              httplib::Response& response) {
        response.set_header("Cache-Control", "no-store");
        std::string charset;
        const auto form = ReadForm(request, response, kPageCharset, charset);
        if (!form) return;
        // Only a reply that shows the form again needs its token (and maybe a login cookie).
        const auto loginToken = [&] { return LoginFormToken(request, response); };
        const std::string cookieTail = CookieAttributes();
        const std::string formToken = form->Get(kFormTokenField).value_or("");
        if (form->Get("action") == std::optional<std::string>("logout")) {
            const std::string token = CookieValue(request, kSessionCookie);
            if (!formTokens_.Matches(formToken, FormBinding(token))) {
                SendHtml(
                    response, 403,
                    RenderLoginPage("This page was out of date. Please try again.", loginToken()));
                return;
            }
            if (!token.empty()) {
                const StoreResult deleted = store_->DeleteSession(SessionTokenDigest(token));
                if (deleted != StoreResult::kDone) return SendStoreProblem(response, deleted);
            }
            response.set_header("Set-Cookie",
                                std::string(kSessionCookie) + "=" + cookieTail + "; Max-Age=0");
            response.set_redirect("login.php", 303);
            return;
        }
        if (!IsLoginFormToken(request, formToken)) {
            SendHtml(
                response, 403,
                RenderLoginPage("This page was out of date. Please log in again.", loginToken()));
            return;
        }
        const auto email = form->Get("email");
        const auto password = form->Get("password");
        if (!email || !password || email->empty()) {
            SendHtml(response, 400,
                     RenderLoginPage("Enter your e-mail address and password.", loginToken()));
            return;
        }
        const SignInOutcome signIn = api_->SignIn(*email, *password, request.remote_addr);
        switch (signIn.result) {
            case SignInResult::kSignedIn:
                break;
            case SignInResult::kRefused:
                SendHtml(response, 403,
                         RenderLoginPage(PluginApi::kWrongCredentials, loginToken()));
                return;
            case SignInResult::kBusy:
                return SendStoreProblem(response, StoreResult::kBusy, signIn.retryAfter);
            default:
                return SendStoreProblem(response, StoreResult::kFailed);
        }
        const std::string token = NewSessionToken();
        const int64_t now = Now();
        const StoreResult stored = store_->AddSession(SessionTokenDigest(token), signIn.account.id,
                                                      now, now + kSessionLifetimeSeconds);
        if (stored != StoreResult::kDone) return SendStoreProblem(response, stored);
        response.set_header("Set-Cookie",
                            std::string(kSessionCookie) + "=" + token + cookieTail +
                                "; Max-Age=" + std::to_string(kSessionLifetimeSeconds));
        response.set_redirect("login.php", 303);
    });

    server.Get("/plugin/zephlist.php", [this](const httplib::Request& request,
                                              httplib::Response& response) {
        // httplib decodes the query to bytes; our page addresses carry UTF-8.
        const std::string email = request.get_param_value("email");
        if (email.empty() || !IsValidUtf8(email)) {
            SendHtml(response, 404,
                     RenderMessagePage("Tavrello", "There is no page for this address."));
            return;
        }
        const auto found = store_->FindAccount(email);
        if (!found.ok()) return SendStoreProblem(response, found.result);
        // An unknown address gets the page of an account that shows nothing: the page does
        // not tell who has an account.
        FavoritesView view;
        view.title = "Favorites of " + email;
        if (found.value) {
            const std::string from = request.get_param_value("from");
            const int64_t after = !from.empty() && from.size() < 19 &&
                                          from.find_first_not_of("0123456789") == std::string::npos
                                      ? std::stoll(from)
                                      : 0;
            const StoreResult viewed =
                ViewOf(*store_, *found.value, false, view, after, kFavoritesPerPage + 1);
            if (viewed != StoreResult::kDone) return SendStoreProblem(response, viewed);
            if (view.favorites.size() > static_cast<size_t>(kFavoritesPerPage)) {
                view.favorites.pop_back();
                view.nextPage = "zephlist.php?email=" + PercentEncode(email) +
                                "&from=" + std::to_string(view.favorites.back().id);
            }
        }
        SendHtml(response, 200, RenderPublicPage(view));
    });

    server.Get("/help/plugin.htm", [this](const httplib::Request&, httplib::Response& response) {
        SendHtml(response, 200, RenderHelpPage(baseUrl_));
    });
    server.Get("/", [this](const httplib::Request&, httplib::Response& response) {
        SendHtml(response, 200, RenderSiteRoot(baseUrl_));
    });
}

bool Service::Run() {
    runEntered_ = true;
    if (stopRequested_) {
        runExited_ = true;
        return true;
    }
    const bool served = server_->listen_after_bind();
    runExited_ = true;
    return served || stopRequested_;
}

void Service::Stop() {
    stopRequested_ = true;
    // A service that failed half-way through Create has no server to stop.
    if (!server_) return;
    // Run may be between its check of the flag and the start of the accept loop, where the
    // server's stop would do nothing; wait for the loop to begin or for Run to end.
    while (runEntered_ && !runExited_ && !server_->is_running()) std::this_thread::yield();
    server_->stop();
}

}  // namespace service
