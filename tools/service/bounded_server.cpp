#include "tools/service/bounded_server.h"

#include "tools/service/text_encoding.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

namespace service {
namespace {

using Clock = std::chrono::steady_clock;
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

int PollFor(int sock, short events, Clock::duration wait) {
    pollfd polled = {sock, events, 0};
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(wait).count() + 1;
    int ready;
    do {
        ready = poll(&polled, 1, static_cast<int>(ms));
    } while (ready < 0 && errno == EINTR);
    return ready > 0 && (polled.revents & (POLLERR | POLLNVAL)) == 0 ? polled.revents : 0;
}

bool IsTokenChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) ||
           std::strchr("!#$%&'*+-.^_`|~", c) != nullptr;
}

// A byte a header line may hold: tab, visible ASCII, space, or any byte of 0x80 and up.
bool IsFieldByte(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte == '\t' || (byte >= 0x20 && byte != 0x7f);
}

// Checks a request head (without its final empty line) the way no two HTTP readers could take
// differently: lines end in CR LF, each header line is a token name, a colon and a value of
// visible text, one Host, no Transfer-Encoding, at most one Content-Length of plain digits,
// and a body only on a POST. Returns 0 and the body's length, or the status to refuse with.
int CheckHead(std::string_view head, size_t maxBody, size_t& bodyLength) {
    bodyLength = 0;
    size_t hosts = 0;
    size_t lengths = 0;
    bool range = false;
    size_t start = 0;
    std::string_view method;
    for (bool first = true; start <= head.size(); first = false) {
        size_t end = head.find("\r\n", start);
        if (end == std::string_view::npos) end = head.size();
        const std::string_view line = head.substr(start, end - start);
        start = end + 2;
        if (!std::all_of(line.begin(), line.end(), IsFieldByte)) return 400;
        if (first) {
            method = line.substr(0, line.find(' '));
            continue;
        }
        const size_t colon = line.find(':');
        if (colon == 0 || colon == std::string_view::npos ||
            !std::all_of(line.begin(), line.begin() + colon, IsTokenChar)) {
            return 400;
        }
        const std::string name = AsciiLower(line.substr(0, colon));
        std::string_view value = line.substr(colon + 1);
        while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) {
            value.remove_prefix(1);
        }
        while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) {
            value.remove_suffix(1);
        }
        if (name == "host") {
            ++hosts;
        } else if (name == "transfer-encoding") {
            return 400;
        } else if (name == "range") {
            range = true;
        } else if (name == "content-length") {
            if (++lengths > 1 || value.empty() || value.size() > 18 ||
                value.find_first_not_of("0123456789") != std::string_view::npos) {
                return 400;
            }
            bodyLength = std::strtoull(std::string(value).c_str(), nullptr, 10);
        }
    }
    if (hosts != 1 || (method != "POST" && bodyLength != 0)) return 400;
    if (bodyLength > maxBody) return 413;
    // Every part of a range would be a partial copy of a page; none is served.
    if (range) return 416;
    return 0;
}

const char* ReasonPhrase(int status) {
    switch (status) {
        case 408:
            return "Request Timeout";
        case 413:
            return "Payload Too Large";
        case 416:
            return "Range Not Satisfiable";
        default:
            return "Bad Request";
    }
}

}  // namespace

std::string ClientNetwork(const std::string& address) {
    unsigned char bytes[16];
    if (inet_pton(AF_INET, address.c_str(), bytes) == 1) {
        if (bytes[0] == 127) return "loopback";
        return std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." +
               std::to_string(bytes[2]) + ".0/24";
    }
    if (inet_pton(AF_INET6, address.c_str(), bytes) != 1) return address;
    static const unsigned char kLoopback6[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    // An IPv4 address mapped into IPv6 is the IPv4 client.
    static const unsigned char kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    if (std::memcmp(bytes, kLoopback6, 16) == 0) return "loopback";
    if (std::memcmp(bytes, kMapped, 12) == 0) {
        char v4[INET_ADDRSTRLEN];
        inet_ntop(AF_INET, bytes + 12, v4, sizeof v4);
        return ClientNetwork(v4);
    }
    std::memset(bytes + 8, 0, 8);
    char v6[INET6_ADDRSTRLEN];
    inet_ntop(AF_INET6, bytes, v6, sizeof v6);
    return std::string(v6) + "/64";
}

// One accepted connection: what has arrived of its next request, and, once that is whole, the
// library's stream over it and the socket for the reply.
class BoundedServer::Connection : public httplib::Stream {
public:
    Connection(int sock, const ConnectionLimits& limits) : sock_(sock), limits_(limits) {
        std::string ip;
        int port = 0;
        if (AddressOf(sock, true, ip, port)) network = ClientNetwork(ip);
    }
    ~Connection() override { close(sock_); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    std::string network;
    Clock::time_point since = Clock::now();
    size_t served = 0;
    std::string buffer;
    // Once whole: the bytes of the request at the start of the buffer, or the status it is
    // refused with.
    size_t requestBytes = 0;
    int refusal = 0;
    bool closeAfterReply = false;

    int sock() const { return sock_; }

    Clock::time_point Deadline(std::chrono::seconds keepAlive) const {
        // Between requests a connection with nothing of the next one waits a shorter while.
        if (served > 0 && buffer.empty())
            return since + std::min<Clock::duration>(keepAlive, limits_.requestTimeout);
        return since + limits_.requestTimeout;
    }

    // Takes what has arrived; false when the peer is gone.
    bool Receive() {
        char chunk[8192];
        const size_t room = limits_.maxHeadBytes + limits_.maxBodyBytes - buffer.size();
        const ssize_t n = recv(sock_, chunk, std::min(sizeof chunk, room + 1), MSG_DONTWAIT);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
            return false;
        }
        if (n > 0) buffer.append(chunk, static_cast<size_t>(n));
        return true;
    }

    // Whether a whole request, or a reason to refuse it, is in the buffer.
    bool Decided() {
        const size_t headEnd = buffer.find("\r\n\r\n");
        if (headEnd == std::string::npos) {
            // A bare LF ends no line here, and a head that cannot end in time is refused now.
            const size_t lf = buffer.find('\n');
            if ((lf != std::string::npos && (lf == 0 || buffer[lf - 1] != '\r')) ||
                buffer.size() > limits_.maxHeadBytes) {
                refusal = 400;
            }
            return refusal != 0;
        }
        if (headEnd > limits_.maxHeadBytes) {
            refusal = 400;
            return true;
        }
        size_t body = 0;
        refusal =
            CheckHead(std::string_view(buffer).substr(0, headEnd), limits_.maxBodyBytes, body);
        if (refusal != 0) return true;
        if (buffer.size() < headEnd + 4 + body) return false;
        requestBytes = headEnd + 4 + body;
        read_ = 0;
        return true;
    }

    // Drops the answered request from the buffer; what follows it is the next one.
    void NextRequest() {
        buffer.erase(0, requestBytes);
        requestBytes = 0;
        since = Clock::now();
        ++served;
    }

    void Close() {
        shutdown(sock_, SHUT_WR);
        const auto until = Clock::now() + kLingerTime;
        char discard[4096];
        size_t dropped = 0;
        for (auto now = Clock::now(); dropped < kLingerBytes && now < until; now = Clock::now()) {
            if (!PollFor(sock_, POLLIN, until - now)) break;
            const ssize_t n = recv(sock_, discard, sizeof discard, MSG_DONTWAIT);
            if (n <= 0) break;
            dropped += static_cast<size_t>(n);
        }
    }

    // The reply's deadline starts with its first write.
    void BeginReply() { replyDeadline_ = Clock::time_point::max(); }

    bool is_readable() const override { return read_ < requestBytes; }

    bool is_writable() const override {
        const auto now = Clock::now();
        if (replyDeadline_ == Clock::time_point::max()) {
            replyDeadline_ = now + limits_.responseTimeout;
        }
        const auto left = std::min<Clock::duration>(replyDeadline_ - now, limits_.writeTimeout);
        if (left <= Clock::duration::zero()) return false;
        return (PollFor(sock_, POLLOUT, left) & (POLLOUT | POLLHUP)) == POLLOUT;
    }

    ssize_t read(char* ptr, size_t size) override {
        const size_t n = std::min(size, requestBytes - read_);
        std::memcpy(ptr, buffer.data() + read_, n);
        read_ += n;
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
    const int sock_;
    const ConnectionLimits& limits_;
    size_t read_ = 0;
    mutable Clock::time_point replyDeadline_ = Clock::time_point::max();
};

namespace {

// The flag of the connection being served on this thread, for its handlers.
thread_local bool* closeCurrentAfterReply = nullptr;

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

// The reader thread and the workers. Connections whose request is still coming are read by
// the one thread; those with a whole request, or one to refuse, are queued for the workers.
class BoundedServer::Dispatch {
public:
    using Owned = std::unique_ptr<Connection>;

    Dispatch(BoundedServer& server, const ConnectionLimits& limits)
        : server_(server), limits_(limits), wake_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
        try {
            if (wake_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
            reader_ = std::thread([this] { Read(); });
            for (size_t i = 0; i < limits_.workers; ++i) workers_.emplace_back([this] { Work(); });
        } catch (...) {
            Stop();
            throw;
        }
    }

    ~Dispatch() { Stop(); }

    void Wait(Owned connection) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_) return;
        arrivals_.push_back(std::move(connection));
        Wake();
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
        if (reader_.joinable()) reader_.join();
        for (auto& worker : workers_) worker.join();
        arrivals_.clear();
        queue_.clear();
        if (wake_ >= 0) close(wake_);
    }

private:
    void Wake() {
        const uint64_t one = 1;
        if (write(wake_, &one, sizeof one) < 0) {
            // Already signalled: the counter is not read yet.
        }
    }

    // Closes the oldest connections beyond the bounds, per client network and in all.
    void Bound(std::vector<Owned>& reading) const {
        std::map<std::string, size_t> perClient;
        for (const Owned& connection : reading) ++perClient[connection->network];
        size_t total = reading.size();
        std::vector<Owned> kept;
        for (Owned& connection : reading) {  // oldest first
            size_t& count = perClient[connection->network];
            if (total > limits_.maxWaiting || count > limits_.maxWaitingPerClient) {
                --count;
                --total;
                continue;
            }
            kept.push_back(std::move(connection));
        }
        reading.swap(kept);
    }

    void Read() {
        std::vector<Owned> reading;  // oldest first
        std::vector<pollfd> polled;
        const std::chrono::seconds keepAlive(server_.keep_alive_timeout_sec_);
        for (;;) {
            // One that comes back with its next request already buffered is looked at at once.
            bool buffered = false;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (stopping_) break;
                for (Owned& connection : arrivals_) {
                    buffered = buffered || !connection->buffer.empty();
                    reading.push_back(std::move(connection));
                }
                arrivals_.clear();
            }
            auto now = Clock::now();
            auto next = buffered ? now : now + std::chrono::seconds(1);
            polled.assign(1, pollfd{wake_, POLLIN, 0});
            for (const Owned& connection : reading) {
                next = std::min(next, connection->Deadline(keepAlive));
                polled.push_back(pollfd{connection->sock(), POLLIN, 0});
            }
            const auto timeout = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::max<Clock::duration>(next - now, Clock::duration::zero()));
            if (poll(polled.data(), polled.size(), static_cast<int>(timeout.count())) < 0 &&
                errno != EINTR) {
                break;
            }
            uint64_t count;
            if (polled[0].revents && read(wake_, &count, sizeof count) < 0) {
                // Nothing to read after all.
            }
            now = Clock::now();
            std::vector<Owned> decided;
            std::vector<Owned> still;
            for (size_t i = 0; i < reading.size(); ++i) {
                Owned& connection = reading[i];
                if (polled[i + 1].revents && !connection->Receive()) continue;
                if (connection->Decided()) {
                    decided.push_back(std::move(connection));
                } else if (now >= connection->Deadline(keepAlive)) {
                    // Nothing yet: closed silently; part of a request: told why.
                    if (connection->buffer.empty()) continue;
                    connection->refusal = 408;
                    decided.push_back(std::move(connection));
                } else {
                    still.push_back(std::move(connection));
                }
            }
            reading.swap(still);
            Bound(reading);
            if (decided.empty()) continue;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                for (Owned& connection : decided) {
                    if (queue_.size() < limits_.maxQueued) queue_.push_back(std::move(connection));
                }
            }
            ready_.notify_all();
        }
    }

    void Work() {
        for (;;) {
            Owned connection;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                ready_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
                if (stopping_) return;
                connection = std::move(queue_.front());
                queue_.pop_front();
            }
            if (server_.Serve(*connection)) Wait(std::move(connection));
        }
    }

    BoundedServer& server_;
    const ConnectionLimits& limits_;
    const int wake_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::vector<Owned> arrivals_;  // for the reader to take over
    std::deque<Owned> queue_;      // for the workers
    bool stopping_ = false;
    std::thread reader_;
    std::vector<std::thread> workers_;
};

BoundedServer::BoundedServer(const ConnectionLimits& limits,
                             std::function<const char*(int)> refusalText)
    : limits_(limits),
      refusalText_(std::move(refusalText)),
      dispatch_(std::make_unique<Dispatch>(*this, limits_)) {
    new_task_queue = [this] { return new Handoff([this] { dispatch_->Stop(); }); };
    set_write_timeout(limits_.writeTimeout);
    set_keep_alive_max_count(limits_.maxRequestsPerConnection);
    set_payload_max_length(limits_.maxBodyBytes);
}

BoundedServer::~BoundedServer() {
    dispatch_->Stop();
}

void BoundedServer::CloseAfterReply(httplib::Response& response) {
    response.set_header("Connection", "close");
    if (closeCurrentAfterReply) *closeCurrentAfterReply = true;
}

void BoundedServer::WidenListenBacklog() {
    const socket_t listener = svr_sock_;
    if (listener != INVALID_SOCKET) ::listen(listener, SOMAXCONN);
}

bool BoundedServer::process_and_close_socket(socket_t sock) {
    auto connection = std::make_unique<Connection>(sock, limits_);
    dispatch_->Wait(std::move(connection));
    return true;
}

bool BoundedServer::Serve(Connection& connection) {
    connection.BeginReply();
    if (connection.refusal != 0) {
        const std::string text = refusalText_(connection.refusal);
        const std::string reply = "HTTP/1.1 " + std::to_string(connection.refusal) + " " +
                                  ReasonPhrase(connection.refusal) +
                                  "\r\nContent-Type: text/plain; charset=utf-8\r\n"
                                  "Content-Length: " +
                                  std::to_string(text.size()) + "\r\nConnection: close\r\n\r\n" +
                                  text;
        for (size_t sent = 0; sent < reply.size();) {
            const ssize_t n = connection.write(reply.data() + sent, reply.size() - sent);
            if (n <= 0) break;
            sent += static_cast<size_t>(n);
        }
        connection.Close();
        return false;
    }
    closeCurrentAfterReply = &connection.closeAfterReply;
    bool closed = false;
    const bool last = connection.served + 1 >= limits_.maxRequestsPerConnection;
    const bool served = process_request(connection, last, closed, nullptr);
    closeCurrentAfterReply = nullptr;
    connection.NextRequest();
    if (!served || closed || connection.closeAfterReply || last) {
        connection.Close();
        return false;
    }
    return true;
}

}  // namespace service
