// The HTTP side of the service: routes, form and cookie handling, security headers.
#pragma once

#include "tools/service/bounded_server.h"
#include "tools/service/credentials.h"
#include "tools/service/plugin_api.h"
#include "tools/service/store.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>

namespace service {

struct ServiceOptions {
    std::string listenAddress = "127.0.0.1";
    int port = 8765;  // 0 picks a free port
    std::string databasePath;
    std::string baseUrl;  // empty: http://<listen address>:<port>/
    Notice notice;
    bool demoAccount = true;
    bool logRequests = true;
    ConnectionLimits limits;
    int busyTimeoutMs = kDefaultBusyTimeoutMs;
    unsigned hashSlots = 0;  // 0: one per core, at least two
    // Checks that may wait (three seconds at most) for a slot; one per worker by default, so
    // a burst waits its turn and only a flood that outlasts the wait is refused.
    unsigned hashWaiting = 16;
    LoginThrottleSettings loginThrottle;
    AccountQuota quota;
    std::function<void()> whileHashing{};  // see PluginApiSettings
};

constexpr const char kSessionCookie[] = "tavrello_session";
// Given with the login form: its token is bound to this browser, not shared by everyone.
constexpr const char kLoginCookie[] = "tavrello_login";

class Service {
public:
    // Opens the store, creates the demo account, binds the socket and starts the threads;
    // nothing (and error filled) when any of that fails.
    static std::unique_ptr<Service> Create(const ServiceOptions& options, std::string& error);
    ~Service();
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;

    int port() const { return port_; }
    const std::string& baseUrl() const { return baseUrl_; }

    // Serves until Stop; false when the accept loop fails.
    bool Run();
    // Safe from any thread, also before Run.
    void Stop();

private:
    Service() = default;
    void InstallRoutes();
    void InstallWebRoutes();
    // Host names this service answers for: loopback names, the listen address and the host of
    // the base URL. Anything else is a page of another site reaching us through its own name
    // (DNS rebinding).
    bool ServesHost(const std::string& hostHeader) const;
    // A browser names the site a request comes from in Origin, or else in Referer; the desktop
    // plug-in sends neither. True unless one of them names another site.
    bool FromOwnSite(const httplib::Request& request) const;
    // The token for a login form shown in reply to this request, bound to the browser's login
    // cookie, which is given with the reply when the browser has none.
    std::string LoginFormToken(const httplib::Request& request, httplib::Response& response);
    bool IsLoginFormToken(const httplib::Request& request, const std::string& token) const;
    std::string CookieAttributes() const;

    std::unique_ptr<Store> store_;
    std::unique_ptr<PluginApi> api_;
    std::unique_ptr<BoundedServer> server_;
    FormTokens formTokens_;
    std::string listenAddress_;
    std::string baseUrl_;
    std::string baseOrigin_;  // lower case, "scheme://host[:port]"
    std::string baseHost_;    // lower case
    int port_ = 0;
    bool secureCookies_ = false;
    std::atomic<bool> runEntered_{false};
    std::atomic<bool> runExited_{false};
    std::atomic<bool> stopRequested_{false};
};

}  // namespace service
