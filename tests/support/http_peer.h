// A scripted HTTP server on 127.0.0.1 (ephemeral port) inside the test process. Real WinInet
// talks to it; each test scripts the replies and reads back every raw request it received.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <thread>
#include <vector>

namespace testing_support {

struct ScriptedReply {
    int status = 200;
    std::string body;
    // When set, sent verbatim instead of a status line, headers and body (garbage, no status).
    std::string raw;
    // Closes the connection after this many body bytes although Content-Length promised more.
    long long closeAfterBodyBytes = -1;
    // Sends this many bytes of body without holding them in memory ('x' bytes).
    long long generatedBodyBytes = 0;
    // Leaves out the Content-Length header; the body ends when the connection closes.
    bool omitContentLength = false;
};

// A reply with status 200 and the given body.
inline ScriptedReply Ok(std::string body) {
    ScriptedReply reply;
    reply.body = std::move(body);
    return reply;
}

struct RecordedRequest {
    std::string requestLine;
    std::string method;
    std::string target;  // path with query, as sent
    std::string head;    // everything before the blank line, request line included
    std::string body;

    // The value of the first header with this name (case-insensitive), or "" when absent.
    std::string Header(const std::string& name) const;
    // The path of target without its query string.
    std::string Path() const;
};

// Decodes an application/x-www-form-urlencoded body into its fields (later duplicates win).
std::map<std::string, std::string> DecodeForm(const std::string& body);

class HttpPeer {
public:
    HttpPeer();
    ~HttpPeer();
    HttpPeer(const HttpPeer&) = delete;
    HttpPeer& operator=(const HttpPeer&) = delete;

    unsigned short Port() const { return port_; }
    // "http://127.0.0.1:PORT/": a base URL that ends with '/'.
    std::string BaseUrl() const;

    // The reply for every request to this path (query ignored), until replaced.
    void Route(const std::string& path, const ScriptedReply& reply);
    // A one-time reply for the next request to this path; taken before the route's reply.
    void Queue(const std::string& path, const ScriptedReply& reply);
    // Requests that match nothing get 404 with an empty body.

    std::vector<RecordedRequest> Requests() const;
    size_t RequestCount() const;
    // Requests to this path, in the order they arrived.
    std::vector<RecordedRequest> RequestsTo(const std::string& path) const;
    // Waits until at least count requests arrived; false on time-out.
    bool WaitForRequests(size_t count, DWORD timeoutMs) const;

private:
    void Serve();
    void HandleConnection(SOCKET client);
    ScriptedReply TakeReply(const std::string& path);

    SOCKET listener_ = INVALID_SOCKET;
    unsigned short port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread thread_;

    mutable std::mutex mutex_;
    mutable std::condition_variable arrived_;
    std::map<std::string, ScriptedReply> routes_;
    std::map<std::string, std::deque<ScriptedReply>> queued_;
    std::vector<RecordedRequest> requests_;
};

// Plays the service for a whole command: it lists these categories ("<id> <name>\n" lines)
// and stores every page added.
void RouteAcceptingService(HttpPeer& peer, const std::string& categoryLines);

}  // namespace testing_support
