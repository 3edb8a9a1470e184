#include "tools/service/bounded_server.h"

#include <netdb.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

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

    void BeginRequest(Clock::time_point deadline) {
        deadline_ = deadline;
        replyDeadline_ = Clock::time_point::max();
        budget_ = limits_.maxRequestBytes;
        timedOut_ = false;
    }

    // Bytes of a next request already read along with this one.
    bool HasBuffered() const { return begin_ < end_; }

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

    // The reply's deadline starts with its first write.
    bool is_writable() const override {
        const auto now = Clock::now();
        if (replyDeadline_ == Clock::time_point::max()) {
            replyDeadline_ = now + limits_.responseTimeout;
        }
        const auto left = std::min<Clock::duration>(replyDeadline_ - now, limits_.writeTimeout);
        if (left <= Clock::duration::zero()) return false;
        pollfd wait = {sock_, POLLOUT, 0};
        int ready;
        do {
            ready =
                poll(&wait, 1,
                     static_cast<int>(
                         std::chrono::duration_cast<std::chrono::milliseconds>(left).count() + 1));
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

    // Sends what the socket takes now, so that no send outlasts the reply's deadline.
    ssize_t write(const char* ptr, size_t size) override {
        for (;;) {
            if (!is_writable()) return -1;
            const ssize_t sent = send(sock_, ptr, size, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (sent >= 0 || (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) {
                return sent;
            }
        }
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
    mutable Clock::time_point replyDeadline_;
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

// The library's accept loop hands each connection to a task queue; this one passes it on at
// once, so accepting never waits for a worker.
class Handoff : public httplib::TaskQueue {
public:
    explicit Handoff(std::function<void()> onShutdown) : onShutdown_(std::move(onShutdown)) {}
    void enqueue(std::function<void()> fn) override { fn(); }
    void shutdown() override { onShutdown_(); }

private:
    std::function<void()> onShutdown_;
};

}  // namespace

// Connections waiting for their next request are watched by one thread, without a worker;
// those whose request begins to arrive are queued for the workers.
class BoundedServer::Dispatch {
public:
    Dispatch(BoundedServer& server, const ConnectionLimits& limits)
        : server_(server), limits_(limits), wake_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
        watcher_ = std::thread([this] { Watch(); });
        for (size_t i = 0; i < limits_.workers; ++i) workers_.emplace_back([this] { Work(); });
    }

    ~Dispatch() { Stop(); }

    void Wait(const Idle& connection) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!stopping_) {
                arrivals_.push_back(connection);
                Wake();
                return;
            }
        }
        close(connection.sock);
    }

    // Closes every connection not being served and waits for the threads.
    void Stop() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_) return;
            stopping_ = true;
            Wake();
        }
        ready_.notify_all();
        watcher_.join();
        for (auto& worker : workers_) worker.join();
        for (const Idle& connection : arrivals_) close(connection.sock);
        for (const Idle& connection : queue_) close(connection.sock);
        if (wake_ >= 0) close(wake_);
    }

private:
    void Wake() {
        const uint64_t one = 1;
        if (write(wake_, &one, sizeof one) < 0) {
            // Already signalled: the counter is not read yet.
        }
    }

    std::chrono::milliseconds IdleLimit(const Idle& connection) const {
        if (connection.served == 0) return limits_.requestTimeout;
        return std::min<std::chrono::milliseconds>(
            std::chrono::seconds(server_.keep_alive_timeout_sec_), limits_.requestTimeout);
    }

    void Watch() {
        std::vector<Idle> waiting;  // oldest first
        std::vector<pollfd> polled;
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (stopping_) break;
                waiting.insert(waiting.end(), arrivals_.begin(), arrivals_.end());
                arrivals_.clear();
            }
            while (waiting.size() > limits_.maxWaiting) {
                close(waiting.front().sock);
                waiting.erase(waiting.begin());
            }
            auto now = Clock::now();
            auto next = now + kStopCheckInterval * 10;
            polled.assign(1, pollfd{wake_, POLLIN, 0});
            for (const Idle& connection : waiting) {
                next = std::min(next, connection.since + IdleLimit(connection));
                polled.push_back(pollfd{connection.sock, POLLIN, 0});
            }
            const auto timeout = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::max<Clock::duration>(next - now, Clock::duration::zero()));
            if (poll(polled.data(), polled.size(), static_cast<int>(timeout.count()) + 1) < 0 &&
                errno != EINTR) {
                break;
            }
            uint64_t count;
            if (polled[0].revents && read(wake_, &count, sizeof count) < 0) {
                // Nothing to read after all.
            }
            now = Clock::now();
            std::vector<Idle> ready;
            std::vector<Idle> still;
            for (size_t i = 0; i < waiting.size(); ++i) {
                const Idle& connection = waiting[i];
                if (polled[i + 1].revents) {
                    ready.push_back(connection);
                } else if (now >= connection.since + IdleLimit(connection)) {
                    close(connection.sock);
                } else {
                    still.push_back(connection);
                }
            }
            waiting.swap(still);
            if (ready.empty()) continue;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                for (const Idle& connection : ready) {
                    if (queue_.size() < limits_.maxQueued) {
                        queue_.push_back(connection);
                    } else {
                        close(connection.sock);
                    }
                }
            }
            ready_.notify_all();
        }
        for (const Idle& connection : waiting) close(connection.sock);
    }

    void Work() {
        for (;;) {
            Idle connection{};
            {
                std::unique_lock<std::mutex> lock(mutex_);
                ready_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
                if (stopping_) return;
                connection = queue_.front();
                queue_.pop_front();
            }
            if (server_.Serve(connection)) Wait(connection);
        }
    }

    BoundedServer& server_;
    const ConnectionLimits& limits_;
    const int wake_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::vector<Idle> arrivals_;  // for the watcher to take over
    std::deque<Idle> queue_;      // for the workers
    bool stopping_ = false;
    std::thread watcher_;
    std::vector<std::thread> workers_;
};

BoundedServer::BoundedServer(const ConnectionLimits& limits) : limits_(limits) {
    new_task_queue = [this] {
        dispatch_ = std::make_unique<Dispatch>(*this, limits_);
        return new Handoff([this] { dispatch_->Stop(); });
    };
    set_read_timeout(limits_.readTimeout);
    set_write_timeout(limits_.writeTimeout);
    set_keep_alive_max_count(limits_.maxRequestsPerConnection);
}

BoundedServer::~BoundedServer() {
    if (dispatch_) dispatch_->Stop();
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
    if (dispatch_) {
        dispatch_->Wait(Idle{sock, Clock::now(), 0});
    } else {
        close(sock);
    }
    return true;
}

bool BoundedServer::Serve(Idle& idle) {
    Connection connection(idle.sock, limits_, svr_sock_);
    CurrentConnection current(&connection);
    for (;;) {
        // Until its first byte the request's time counted in the waiting room; from here it
        // has the whole request timeout, whatever it waited in the queue for a worker.
        connection.BeginRequest(Clock::now() + limits_.requestTimeout);
        bool closed = false;
        const bool last = idle.served + 1 >= limits_.maxRequestsPerConnection;
        const bool served = process_request(connection, last, closed, nullptr);
        ++idle.served;
        if (!served || closed || connection.closeAfterReply || last) break;
        if (!connection.HasBuffered()) {
            idle.since = Clock::now();
            return true;
        }
    }
    connection.Close();
    return false;
}

}  // namespace service
