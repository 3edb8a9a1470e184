#include "tools/service/service.h"

#include "tools/service/credentials.h"
#include "tools/service/demo_account.h"
#include "tools/service/form_body.h"
#include "tools/service/pages.h"
#include "tools/service/text_encoding.h"
#include "tools/service/text_limits.h"

#include <httplib.h>

#include <cctype>
#include <cstdio>
#include <ctime>
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
    std::string lower;
    for (char c : charset) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower == "utf-8" || lower == "utf8";
}

// Reads a form request in the charset it declares, or in the given default. On failure the
// response already holds the error.
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
                     const std::string& utf8Reply) {
    if (IsUtf8Label(charset)) {
        response.set_content(utf8Reply, "text/plain; charset=utf-8");
    } else {
        response.set_content(Utf8ToWindows1252(utf8Reply), "text/plain; charset=windows-1252");
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

FavoritesView ViewOf(Store& store, const Account& account, bool includePrivate) {
    FavoritesView view;
    view.title = "Favorites of " + account.email;
    view.categories = store.Categories(account.id);
    view.favorites = store.Favorites(account.id);
    view.includePrivate = includePrivate;
    return view;
}

const char* DefaultErrorText(int status) {
    switch (status) {
        case 400:
            return "Bad request";
        case 404:
            return "Not found";
        case 405:
            return "Method not allowed";
        case 413:
            return "The request is too large";
        case 414:
            return "The address is too long";
        default:
            return status >= 500 ? "Internal error" : "Request refused";
    }
}

}  // namespace

std::unique_ptr<Service> Service::Create(const ServiceOptions& options, std::string& error) {
    std::unique_ptr<Service> service(new Service());
    service->store_ = Store::Open(options.databasePath, error);
    if (!service->store_) {
        error = "cannot open the database " + options.databasePath + ": " + error;
        return nullptr;
    }
    if (options.demoAccount && !EnsureDemoAccount(*service->store_)) {
        error = "cannot create the demo account";
        return nullptr;
    }
    service->server_ = std::make_unique<httplib::Server>();
    httplib::Server& server = *service->server_;
    server.set_payload_max_length(kMaxBodyBytes);
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
    service->baseUrl_ = options.baseUrl;
    if (service->baseUrl_.empty()) {
        service->baseUrl_ =
            "http://" + options.listenAddress + ":" + std::to_string(service->port_) + "/";
    } else if (service->baseUrl_.back() != '/') {
        service->baseUrl_ += '/';
    }
    service->secureCookies_ = service->baseUrl_.rfind("https://", 0) == 0;
    service->api_ = std::make_unique<PluginApi>(
        *service->store_, PluginApiSettings{service->baseUrl_, options.notice});
    if (options.logRequests) {
        server.set_logger([](const httplib::Request& request, const httplib::Response& response) {
            // The path only: query strings carry e-mail addresses.
            std::fprintf(stderr, "%s %s %d\n", request.method.c_str(), request.path.c_str(),
                         response.status);
        });
    }
    service->InstallRoutes();
    return service;
}

Service::~Service() {
    Stop();
    // A bound socket that never served is closed with the server object.
}

void Service::InstallRoutes() {
    httplib::Server& server = *server_;
    server.set_default_headers({
        {"X-Content-Type-Options", "nosniff"},
        {"Referrer-Policy", "no-referrer"},
        {"Content-Security-Policy",
         "default-src 'none'; style-src 'unsafe-inline'; form-action 'self'"},
    });
    const httplib::Server::HandlerWithResponse defaultErrorBody = [](const httplib::Request&,
                                                                     httplib::Response& response) {
        if (!response.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
        response.set_content(DefaultErrorText(response.status), "text/plain; charset=utf-8");
        return httplib::Server::HandlerResponse::Handled;
    };
    server.set_error_handler(defaultErrorBody);
    server.set_exception_handler(
        [](const httplib::Request&, httplib::Response& response, std::exception_ptr) {
            response.status = 500;
            response.set_content(DefaultErrorText(500), "text/plain; charset=utf-8");
        });

    using PluginCall = std::string (PluginApi::*)(const FormFields&);
    const auto pluginRoute = [this, &server](const char* path, PluginCall call) {
        server.Post(path,
                    [this, call](const httplib::Request& request, httplib::Response& response) {
                        std::string charset;
                        const auto form = ReadForm(request, response, kClientCharset, charset);
                        if (!form) return;
                        SendPluginReply(response, charset, ((*api_).*call)(*form));
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

    server.Get("/zephlist/login.php",
               [this](const httplib::Request& request, httplib::Response& response) {
                   response.set_header("Cache-Control", "no-store");
                   const std::string token = CookieValue(request, kSessionCookie);
                   std::optional<Account> account;
                   if (!token.empty()) {
                       if (auto id = store_->SessionAccount(SessionTokenDigest(token), Now())) {
                           account = store_->FindAccountById(*id);
                       }
                   }
                   if (!account) {
                       SendHtml(response, 200, RenderLoginPage(""));
                       return;
                   }
                   SendHtml(response, 200,
                            RenderSignedInPage(account->email, ViewOf(*store_, *account, true)));
               });

    server.Post("/zephlist/login.php", [this](const httplib::Request& request,
                                              httplib::Response& response) {
        response.set_header("Cache-Control", "no-store");
        std::string charset;
        const auto form = ReadForm(request, response, kPageCharset, charset);
        if (!form) return;
        const std::string cookieTail =
            std::string("; Path=/; HttpOnly; SameSite=Lax") + (secureCookies_ ? "; Secure" : "");
        if (form->Get("action") == std::optional<std::string>("logout")) {
            const std::string token = CookieValue(request, kSessionCookie);
            if (!token.empty()) store_->DeleteSession(SessionTokenDigest(token));
            response.set_header("Set-Cookie",
                                std::string(kSessionCookie) + "=" + cookieTail + "; Max-Age=0");
            response.set_redirect("login.php", 303);
            return;
        }
        const auto email = form->Get("email");
        const auto password = form->Get("password");
        if (!email || !password || email->empty()) {
            SendHtml(response, 400, RenderLoginPage("Enter your e-mail address and password."));
            return;
        }
        std::string error;
        const auto account = api_->SignIn(*email, *password, error);
        if (!account) {
            SendHtml(response, 403, RenderLoginPage(PluginApi::kWrongCredentials));
            return;
        }
        const std::string token = NewSessionToken();
        const int64_t now = Now();
        if (store_->AddSession(SessionTokenDigest(token), account->id, now,
                               now + kSessionLifetimeSeconds) != StoreResult::kDone) {
            SendHtml(response, 500,
                     RenderMessagePage("Tavrello", "The session could not be stored."));
            return;
        }
        response.set_header("Set-Cookie",
                            std::string(kSessionCookie) + "=" + token + cookieTail +
                                "; Max-Age=" + std::to_string(kSessionLifetimeSeconds));
        response.set_redirect("login.php", 303);
    });

    server.Get("/plugin/zephlist.php", [this](const httplib::Request& request,
                                              httplib::Response& response) {
        // httplib decodes the query to bytes; our page addresses carry UTF-8.
        const std::string email = request.get_param_value("email");
        std::optional<Account> account;
        if (!email.empty() && IsValidUtf8(email)) account = store_->FindAccount(email);
        if (!account) {
            SendHtml(response, 404,
                     RenderMessagePage("Tavrello", "There is no page for this address."));
            return;
        }
        SendHtml(response, 200, RenderPublicPage(ViewOf(*store_, *account, false)));
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
    // Run may be between its check of the flag and the start of the accept loop, where the
    // server's stop would do nothing; wait for the loop to begin or for Run to end.
    while (runEntered_ && !runExited_ && !server_->is_running()) std::this_thread::yield();
    server_->stop();
}

}  // namespace service
