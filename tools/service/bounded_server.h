// The HTTP server with bounds on what one connection can take: a request must arrive whole
// before its deadline, no single read may wait longer than the read timeout, and a request
// may bring only so many bytes. A slow or endless sender thus holds a worker for a bounded
// time, and the other requests still get served.
#pragma once

#include <httplib.h>

#include <chrono>
#include <cstddef>

namespace service {

struct ConnectionLimits {
    std::chrono::milliseconds readTimeout{5000};
    // From the moment the server starts waiting for a request until all of it has been read.
    std::chrono::milliseconds requestTimeout{10000};
    std::chrono::milliseconds writeTimeout{5000};
    // Head and body as they come over the wire; bodies have their own, smaller limit.
    size_t maxRequestBytes = 256 * 1024;
    size_t maxRequestsPerConnection = 5;
    size_t workers = 16;
};

class BoundedServer : public httplib::Server {
public:
    explicit BoundedServer(const ConnectionLimits& limits);

    // For handlers, about the connection being served on the calling thread: whether reading
    // the request ran out of time, and a way to close the connection after this reply (the
    // rest of a refused body is not read).
    static bool RequestTimedOut();
    static void CloseAfterReply(httplib::Response& response);

    // Once bound: the library listens with a backlog of 5, and a burst of clients beyond it
    // gets its connections dropped or reset by the kernel.
    void WidenListenBacklog();

private:
    bool process_and_close_socket(socket_t sock) override;

    const ConnectionLimits limits_;
};

}  // namespace service
