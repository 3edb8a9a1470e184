// The HTTP side of the service: routes, form and cookie handling, security headers.
#pragma once

#include "tools/service/plugin_api.h"
#include "tools/service/store.h"

#include <atomic>
#include <memory>
#include <string>

namespace httplib {
class Server;
}

namespace service {

struct ServiceOptions {
    std::string listenAddress = "127.0.0.1";
    int port = 8765;  // 0 picks a free port
    std::string databasePath;
    std::string baseUrl;  // empty: http://<listen address>:<port>/
    Notice notice;
    bool demoAccount = true;
    bool logRequests = true;
};

constexpr const char kSessionCookie[] = "tavrello_session";

class Service {
public:
    // Opens the store, creates the demo account and binds the socket; nothing (and error
    // filled) when any of that fails.
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

    std::unique_ptr<Store> store_;
    std::unique_ptr<PluginApi> api_;
    std::unique_ptr<httplib::Server> server_;
    std::string baseUrl_;
    int port_ = 0;
    bool secureCookies_ = false;
    std::atomic<bool> runEntered_{false};
    std::atomic<bool> runExited_{false};
    std::atomic<bool> stopRequested_{false};
};

}  // namespace service
