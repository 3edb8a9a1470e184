#include "tests/support/http_peer.h"
#include "tests/support/service_wire.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <stdexcept>

namespace testing_support {

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool SendAll(SOCKET socket, const char* data, size_t length) {
    while (length > 0) {
        const int sent = send(socket, data, static_cast<int>(std::min<size_t>(length, 65536)), 0);
        if (sent <= 0) return false;
        data += sent;
        length -= static_cast<size_t>(sent);
    }
    return true;
}

const char* ReasonPhrase(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 201:
            return "Created";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 500:
            return "Internal Server Error";
        default:
            return "Status";
    }
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string DecodeComponent(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            out += ' ';
        } else if (text[i] == '%' && i + 2 < text.size() + 0 && HexValue(text[i + 1]) >= 0 &&
                   HexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

struct WinsockStartup {
    WinsockStartup() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
};

}  // namespace

std::string RecordedRequest::Header(const std::string& name) const {
    const std::string wanted = Lower(name) + ":";
    size_t lineStart = head.find("\r\n");
    while (lineStart != std::string::npos) {
        lineStart += 2;
        const size_t lineEnd = head.find("\r\n", lineStart);
        const std::string line = head.substr(lineStart, lineEnd - lineStart);
        if (Lower(line.substr(0, wanted.size())) == wanted) {
            const size_t valueStart = line.find_first_not_of(' ', wanted.size());
            return valueStart == std::string::npos ? std::string() : line.substr(valueStart);
        }
        lineStart = lineEnd;
    }
    return "";
}

std::string RecordedRequest::Path() const {
    return target.substr(0, target.find('?'));
}

std::map<std::string, std::string> DecodeForm(const std::string& body) {
    std::map<std::string, std::string> fields;
    size_t start = 0;
    while (start <= body.size()) {
        size_t end = body.find('&', start);
        if (end == std::string::npos) end = body.size();
        const std::string pair = body.substr(start, end - start);
        const size_t equals = pair.find('=');
        if (!pair.empty()) {
            fields[DecodeComponent(pair.substr(0, equals))] =
                equals == std::string::npos ? "" : DecodeComponent(pair.substr(equals + 1));
        }
        start = end + 1;
    }
    return fields;
}

HttpPeer::HttpPeer() {
    static WinsockStartup winsock;
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);  // 127.0.0.1 only, never another address
    address.sin_port = 0;
    if (listener_ == INVALID_SOCKET ||
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, 16) != 0) {
        throw std::runtime_error("the HTTP peer cannot listen on 127.0.0.1");
    }
    int length = sizeof address;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
}

HttpPeer::~HttpPeer() {
    stopping_ = true;
    closesocket(listener_);
    if (thread_.joinable()) thread_.join();
}

std::string HttpPeer::BaseUrl() const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/";
}

void HttpPeer::Route(const std::string& path, const ScriptedReply& reply) {
    std::lock_guard<std::mutex> lock(mutex_);
    routes_[path] = reply;
}

void RouteAcceptingService(HttpPeer& peer, const std::string& categoryLines) {
    ScriptedReply categories;
    categories.body = "200 OK\n" + categoryLines;
    peer.Route(kCategoriesPath, categories);
    ScriptedReply added;
    added.body = "OK";
    peer.Route(kAddUrlPath, added);
}

void HttpPeer::Queue(const std::string& path, const ScriptedReply& reply) {
    std::lock_guard<std::mutex> lock(mutex_);
    queued_[path].push_back(reply);
}

std::vector<RecordedRequest> HttpPeer::Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

size_t HttpPeer::RequestCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_.size();
}

std::vector<RecordedRequest> HttpPeer::RequestsTo(const std::string& path) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<RecordedRequest> matching;
    for (const auto& request : requests_) {
        if (request.Path() == path) matching.push_back(request);
    }
    return matching;
}

bool HttpPeer::WaitForRequests(size_t count, DWORD timeoutMs) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return requests_.size() >= count; });
}

ScriptedReply HttpPeer::TakeReply(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto queued = queued_.find(path);
    if (queued != queued_.end() && !queued->second.empty()) {
        ScriptedReply reply = queued->second.front();
        queued->second.pop_front();
        return reply;
    }
    auto route = routes_.find(path);
    if (route != routes_.end()) return route->second;
    ScriptedReply notFound;
    notFound.status = 404;
    return notFound;
}

void HttpPeer::Serve() {
    while (!stopping_) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(listener_, &readable);
        timeval wait{0, 100000};
        if (select(0, &readable, nullptr, nullptr, &wait) <= 0) continue;
        SOCKET client = accept(listener_, nullptr, nullptr);
        if (client == INVALID_SOCKET) continue;
        HandleConnection(client);
        closesocket(client);
    }
}

void HttpPeer::HandleConnection(SOCKET client) {
    DWORD timeout = 5000;
    setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
               sizeof timeout);
    std::string received;
    char chunk[8192];
    size_t headEnd;
    while ((headEnd = received.find("\r\n\r\n")) == std::string::npos) {
        const int got = recv(client, chunk, sizeof chunk, 0);
        if (got <= 0) return;
        received.append(chunk, static_cast<size_t>(got));
    }
    RecordedRequest request;
    request.head = received.substr(0, headEnd);
    request.requestLine = request.head.substr(0, request.head.find("\r\n"));
    const size_t firstBlank = request.requestLine.find(' ');
    const size_t secondBlank = request.requestLine.find(' ', firstBlank + 1);
    request.method = request.requestLine.substr(0, firstBlank);
    request.target = request.requestLine.substr(firstBlank + 1, secondBlank - firstBlank - 1);
    const size_t contentLength =
        std::strtoul(request.Header("Content-Length").c_str(), nullptr, 10);
    request.body = received.substr(headEnd + 4);
    while (request.body.size() < contentLength) {
        const int got = recv(client, chunk, sizeof chunk, 0);
        if (got <= 0) break;
        request.body.append(chunk, static_cast<size_t>(got));
    }
    const ScriptedReply reply = TakeReply(request.Path());
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(request);
    }
    arrived_.notify_all();

    if (!reply.raw.empty()) {
        SendAll(client, reply.raw.data(), reply.raw.size());
    } else {
        const long long bodyLength = reply.generatedBodyBytes > 0
                                         ? reply.generatedBodyBytes
                                         : static_cast<long long>(reply.body.size());
        std::string head = "HTTP/1.0 " + std::to_string(reply.status) + " " +
                           ReasonPhrase(reply.status) + "\r\nContent-Type: text/plain\r\n";
        if (!reply.omitContentLength) {
            head += "Content-Length: " + std::to_string(bodyLength) + "\r\n";
        }
        head += "Connection: close\r\n\r\n";
        SendAll(client, head.data(), head.size());
        long long toSend = bodyLength;
        if (reply.closeAfterBodyBytes >= 0) toSend = std::min(toSend, reply.closeAfterBodyBytes);
        if (reply.generatedBodyBytes > 0) {
            const std::string filler(65536, 'x');
            while (toSend > 0) {
                const size_t part = static_cast<size_t>(std::min<long long>(toSend, 65536));
                if (!SendAll(client, filler.data(), part)) break;
                toSend -= static_cast<long long>(part);
            }
        } else {
            SendAll(client, reply.body.data(), static_cast<size_t>(toSend));
        }
    }
    shutdown(client, SD_SEND);
    // Drain until the client closes, so the close is orderly and the reply is not reset.
    while (recv(client, chunk, sizeof chunk, 0) > 0) {
    }
}

}  // namespace testing_support
