// The HTTP server with bounds on what one connection can take. One reader thread reads every
// connection's request, head and body, without a worker, and checks its framing strictly
// before the library parses anything: a worker only ever answers a request that is whole and
// plainly framed. A request must arrive within the request timeout of its accept (or of the
// previous reply); the connections being read are bounded per client network and in all, the
// oldest closed beyond either bound. A reply must be taken within the response timeout.
#pragma once

#include <httplib.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace service {

struct ConnectionLimits {
    // From accept (or the previous reply) until the whole request has been read.
    std::chrono::milliseconds requestTimeout{10000};
    std::chrono::milliseconds writeTimeout{5000};
    // A whole reply, however slowly the client takes it.
    std::chrono::milliseconds responseTimeout{10000};
    // Head and body as they come over the wire.
    size_t maxHeadBytes = 16 * 1024;
    size_t maxBodyBytes = 64 * 1024;
    size_t maxRequestsPerConnection = 5;
    size_t workers = 16;
    // Connections whose request is still being read, per client network and in all.
    size_t maxWaitingPerClient = 32;
    size_t maxWaiting = 256;
    // Whole requests waiting for a worker; beyond this many, the new one is closed.
    size_t maxQueued = 64;
};

// The network a peer address counts as one client by: all of loopback (127.0.0.0/8, ::1),
// the /24 of other IPv4 addresses, the /64 of IPv6 ones.
std::string ClientNetwork(const std::string& address);

class BoundedServer : public httplib::Server {
public:
    // refusalText gives the body of a refusal made before the library parses (400, 408, 413,
    // 416). Starts the reader and the workers; throws std::system_error when it cannot.
    BoundedServer(const ConnectionLimits& limits, std::function<const char*(int)> refusalText);
    ~BoundedServer() override;

    // For handlers: closes the connection being served on the calling thread after this reply.
    static void CloseAfterReply(httplib::Response& response);

    // Once bound: the library listens with a backlog of 5, and a burst of clients beyond it
    // gets its connections dropped or reset by the kernel.
    void WidenListenBacklog();

private:
    class Connection;
    class Dispatch;

    // Called by the library's accept loop for every connection.
    bool process_and_close_socket(socket_t sock) override;
    // Answers the one whole request buffered; true when the connection is to wait for its
    // next request. Otherwise it has been closed.
    bool Serve(Connection& connection);

    const ConnectionLimits limits_;
    const std::function<const char*(int)> refusalText_;
    std::unique_ptr<Dispatch> dispatch_;
};

}  // namespace service
