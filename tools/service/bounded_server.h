// The HTTP server with bounds on what one connection can take. A connection that has sent
// nothing waits without a worker, in a waiting room of bounded size, and is closed when its
// first byte has not come within the request timeout of its accept (or of the previous reply):
// idle connections cost the others nothing. Once a worker takes it, the request must arrive
// whole within the request timeout, no single read may wait longer than the read timeout, a
// request may bring only so many bytes, and its reply must be taken within the response
// timeout; a slow sender or reader thus holds a worker for a bounded time.
#pragma once

#include <httplib.h>

#include <chrono>
#include <cstddef>
#include <memory>

namespace service {

struct ConnectionLimits {
    std::chrono::milliseconds readTimeout{5000};
    // From the moment the server starts waiting for a request until all of it has been read.
    std::chrono::milliseconds requestTimeout{10000};
    std::chrono::milliseconds writeTimeout{5000};
    // A whole reply, however slowly the client takes it.
    std::chrono::milliseconds responseTimeout{10000};
    // Head and body as they come over the wire; bodies have their own, smaller limit.
    size_t maxRequestBytes = 256 * 1024;
    size_t maxRequestsPerConnection = 5;
    size_t workers = 16;
    // Connections that have sent nothing yet; beyond this many, the one waiting longest is
    // closed.
    size_t maxWaiting = 128;
    // Connections whose request has begun to arrive, waiting for a worker; beyond this many,
    // the new one is closed.
    size_t maxQueued = 64;
};

class BoundedServer : public httplib::Server {
public:
    explicit BoundedServer(const ConnectionLimits& limits);
    ~BoundedServer() override;

    // For handlers, about the connection being served on the calling thread: whether reading
    // the request ran out of time, and a way to close the connection after this reply (the
    // rest of a refused body is not read).
    static bool RequestTimedOut();
    static void CloseAfterReply(httplib::Response& response);

    // Once bound: the library listens with a backlog of 5, and a burst of clients beyond it
    // gets its connections dropped or reset by the kernel.
    void WidenListenBacklog();

private:
    using Clock = std::chrono::steady_clock;
    // A connection between requests: since when it waits, and how many it has had.
    struct Idle {
        socket_t sock;
        Clock::time_point since;
        size_t served;
    };
    class Dispatch;

    // Called by the library's accept loop for every connection.
    bool process_and_close_socket(socket_t sock) override;
    // Serves requests while they keep arriving; true when the connection, updated, is to wait
    // for its next request without a worker. Otherwise it has been closed.
    bool Serve(Idle& connection);

    const ConnectionLimits limits_;
    std::unique_ptr<Dispatch> dispatch_;
};

}  // namespace service
