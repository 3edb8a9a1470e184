#include "tools/service/bounded_server.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace service {
namespace {

using Clock = std::chrono::steady_clock;
// How often a wait looks whether the server is stopping.
constexpr auto kStopCheckInterval = std::chrono::milliseconds(100);
// After the reply, what the client still sends is read and dropped for a moment, so that
// closing does not reset the connection before the client has read the reply.
constexpr auto kLingerTime = std::chrono::milliseconds(200);
constexpr size_t kLingerBytes = 1024 * 1024;

bool AddressOf(int sock, bool peer, std::string& ip, int& port) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    auto* raw = reinterpret_cast<sockaddr*>(&address);
    if ((peer ? getpeername(sock, raw, &length) : getsockname(sock, raw, &length)) != 0) {
        return false;
    }
    char host[NI_MAXHOST];
    char service[NI_MAXSERV];
    if (getnameinfo(raw, length, host, sizeof host, service, sizeof service,
                    NI_NUMERICHOST | NI_NUMERICSERV) != 0) {
        return false;
    }
    ip = host;
    port = std::atoi(service);
    return true;
}

// One accepted connection as the library's stream, with the deadline and byte budget of the
// request being read.
class Connection : public httplib::Stream {
public:
    Connection(int sock, const ConnectionLimits& limits, const std::atomic<socket_t>& listener)
        : sock_(sock), limits_(limits), listener_(listener) {}

    void BeginRequest() {
        deadline_ = Clock::now() + limits_.requestTimeout;
        budget_ = limits_.maxRequestBytes;
        timedOut_ = false;
    }

    // Waits up to idle (and the deadline) for the first byte of the next request.
    bool WaitForRequest(std::chrono::milliseconds idle) {
        if (begin_ < end_) return true;
        return WaitReadable(std::min(deadline_, Clock::now() + idle));
    }

    bool timedOut() const { return timedOut_; }
    bool closeAfterReply = false;

    void Close() {
        shutdown(sock_, SHUT_WR);
        const auto until = Clock::now() + kLingerTime;
        char discard[4096];
        size_t dropped = 0;
        while (dropped < kLingerBytes && WaitReadable(until)) {
            const ssize_t n = recv(sock_, discard, sizeof discard, 0);
            if (n <= 0) break;
            dropped += static_cast<size_t>(n);
        }
        close(sock_);
    }

    bool is_readable() const override { return begin_ < end_ || WaitReadable(ReadLimit()); }

    bool is_writable() const override {
        pollfd wait = {sock_, POLLOUT, 0};
        int ready;
        do {
            ready = poll(&wait, 1, static_cast<int>(limits_.writeTimeout.count()));
        } while (ready < 0 && errno == EINTR);
        return ready > 0 && (wait.revents & (POLLERR | POLLHUP | POLLNVAL)) == 0;
    }

    ssize_t read(char* ptr, size_t size) override {
        if (budget_ == 0) return -1;
        if (begin_ == end_) {
            if (!WaitReadable(ReadLimit())) return -1;
            ssize_t received;
            do {
                received = recv(sock_, buffer_, sizeof buffer_, 0);
            } while (received < 0 && errno == EINTR);
            if (received <= 0) return received;
            begin_ = 0;
            end_ = static_cast<size_t>(received);
        }
        const size_t n = std::min({size, end_ - begin_, budget_});
        std::memcpy(ptr, buffer_ + begin_, n);
        begin_ += n;
        budget_ -= n;
        return static_cast<ssize_t>(n);
    }

    ssize_t write(const char* ptr, size_t size) override {
        if (!is_writable()) return -1;
        ssize_t sent;
        do {
            sent = send(sock_, ptr, size, MSG_NOSIGNAL);
        } while (sent < 0 && errno == EINTR);
        return sent;
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        AddressOf(sock_, true, ip, port);
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        AddressOf(sock_, false, ip, port);
    }
    socket_t socket() const override { return sock_; }

private:
    Clock::time_point ReadLimit() const {
        return std::min(deadline_, Clock::now() + limits_.readTimeout);
    }

    // True when data (or the end of the stream) is there before the given time; a wait cut
    // short by the request's deadline marks the request as timed out.
    bool WaitReadable(Clock::time_point until) const {
        for (;;) {
            if (listener_ == INVALID_SOCKET) return false;
            const auto now = Clock::now();
            if (now >= until) {
                if (now >= deadline_) timedOut_ = true;
                return false;
            }
            const auto slice = std::min<Clock::duration>(until - now, kStopCheckInterval);
            pollfd wait = {sock_, POLLIN, 0};
            const int ready =
                poll(&wait, 1,
                     static_cast<int>(
                         std::chrono::duration_cast<std::chrono::milliseconds>(slice).count() + 1));
            if (ready > 0) return true;
            if (ready < 0 && errno != EINTR) return false;
        }
    }

    const int sock_;
    const ConnectionLimits& limits_;
    const std::atomic<socket_t>& listener_;
    Clock::time_point deadline_;
    size_t budget_ = 0;
    mutable bool timedOut_ = false;
    char buffer_[4096];
    size_t begin_ = 0;
    size_t end_ = 0;
};

thread_local Connection* currentConnection = nullptr;

class CurrentConnection {
public:
    explicit CurrentConnection(Connection* connection) { currentConnection = connection; }
    ~CurrentConnection() { currentConnection = nullptr; }
};

}  // namespace

BoundedServer::BoundedServer(const ConnectionLimits& limits) : limits_(limits) {
    const size_t workers = limits_.workers;
    new_task_queue = [workers] { return new httplib::ThreadPool(workers); };
    set_read_timeout(limits_.readTimeout);
    set_write_timeout(limits_.writeTimeout);
    set_keep_alive_max_count(limits_.maxRequestsPerConnection);
}

bool BoundedServer::RequestTimedOut() {
    return currentConnection && currentConnection->timedOut();
}

void BoundedServer::CloseAfterReply(httplib::Response& response) {
    response.set_header("Connection", "close");
    if (currentConnection) currentConnection->closeAfterReply = true;
}

void BoundedServer::WidenListenBacklog() {
    const socket_t listener = svr_sock_;
    if (listener != INVALID_SOCKET) ::listen(listener, SOMAXCONN);
}

bool BoundedServer::process_and_close_socket(socket_t sock) {
    Connection connection(sock, limits_, svr_sock_);
    CurrentConnection current(&connection);
    const auto keepAlive = std::min<std::chrono::milliseconds>(
        std::chrono::seconds(keep_alive_timeout_sec_), limits_.requestTimeout);
    bool served = false;
    for (size_t count = 0; count < limits_.maxRequestsPerConnection; ++count) {
        connection.BeginRequest();
        if (!connection.WaitForRequest(count == 0 ? limits_.requestTimeout : keepAlive)) break;
        bool closed = false;
        const bool last = count + 1 == limits_.maxRequestsPerConnection;
        served = process_request(connection, last, closed, nullptr);
        if (!served || closed || connection.closeAfterReply) break;
    }
    connection.Close();
    return served;
}

}  // namespace service
