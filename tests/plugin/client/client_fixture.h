// Shared pieces of the client tests: a ClientUi double that records every call and answers
// from a script, and a listener that only records the first bytes a client sends.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <deque>
#include <functional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "plugin/client/client_ui.h"

namespace client_testing {

inline void StartWinsock() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    (void)started;
}

struct UiCall {
    std::string kind;  // "message", "retry", "options", "add", "open"
    std::string text;
    std::string caption;

    bool operator==(const UiCall& other) const {
        return kind == other.kind && text == other.text && caption == other.caption;
    }
};

inline std::ostream& operator<<(std::ostream& out, const UiCall& call) {
    return out << "{" << call.kind << ", \"" << call.text << "\", \"" << call.caption << "\"}";
}

// What the user does, step by step; an exhausted script cancels.
struct UiScript {
    std::vector<UiCall> calls;
    std::deque<bool> retryAnswers;
    std::deque<std::function<bool()>> optionsAnswers;
    std::deque<std::function<bool(plugin::AddFavoriteChoice&)>> addAnswers;
    std::vector<plugin::AddFavoriteChoice> addPresets;
    // Runs after each message has been recorded, as the user closes it.
    std::function<void()> onMessage;

    std::vector<UiCall> CallsOf(const std::string& kind) const {
        std::vector<UiCall> matching;
        for (const auto& call : calls) {
            if (call.kind == kind) matching.push_back(call);
        }
        return matching;
    }
};

class ScriptedUi : public plugin::ClientUi {
public:
    explicit ScriptedUi(UiScript& script) : script_(script) {}

    void ShowMessage(const std::string& text, const char* caption) override {
        script_.calls.push_back({"message", text, caption});
        if (script_.onMessage) script_.onMessage();
    }
    bool AskRetry(const std::string& text, const char* caption) override {
        script_.calls.push_back({"retry", text, caption});
        return Take(script_.retryAnswers, false);
    }
    bool RunOptionsDialog() override {
        script_.calls.push_back({"options", "", ""});
        if (script_.optionsAnswers.empty()) return false;
        auto answer = script_.optionsAnswers.front();
        script_.optionsAnswers.pop_front();
        return answer();
    }
    bool RunAddFavoriteDialog(plugin::CTavrello&, plugin::AddFavoriteChoice& choice) override {
        script_.calls.push_back({"add", choice.description, choice.pageUrl});
        script_.addPresets.push_back(choice);
        if (script_.addAnswers.empty()) return false;
        auto answer = script_.addAnswers.front();
        script_.addAnswers.pop_front();
        return answer(choice);
    }
    void OpenInBrowser(const std::string& url) override {
        script_.calls.push_back({"open", url, ""});
    }

private:
    template <typename T>
    static T Take(std::deque<T>& answers, T fallback) {
        if (answers.empty()) return fallback;
        T answer = answers.front();
        answers.pop_front();
        return answer;
    }

    UiScript& script_;
};

// Listens on 127.0.0.1 and keeps the first bytes that the first connection sends.
class FirstBytesListener {
public:
    FirstBytesListener() {
        StartWinsock();
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(listener_, 1);
        int length = sizeof address;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~FirstBytesListener() {
        stopping_ = true;
        if (thread_.joinable()) thread_.join();
        closesocket(listener_);
    }
    unsigned short Port() const { return port_; }
    // Valid after the client's call returned.
    std::string Received() {
        stopping_ = true;
        if (thread_.joinable()) thread_.join();
        return received_;
    }

private:
    // Every connection is closed at once: a client that tries again must not wait on a backlog.
    void Serve() {
        while (!stopping_) {
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(listener_, &readable);
            timeval wait{0, 50000};
            if (select(0, &readable, nullptr, nullptr, &wait) <= 0) continue;
            SOCKET client = accept(listener_, nullptr, nullptr);
            if (client == INVALID_SOCKET) continue;
            DWORD timeout = 3000;
            setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
                       sizeof timeout);
            char chunk[4096];
            const int got = recv(client, chunk, sizeof chunk, 0);
            if (got > 0 && received_.empty()) received_.assign(chunk, static_cast<size_t>(got));
            closesocket(client);
        }
    }

    SOCKET listener_ = INVALID_SOCKET;
    unsigned short port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
    std::string received_;
};

// A 127.0.0.1 port that refuses connections: bound, never listening, for as long as it lives.
class RefusingPort {
public:
    RefusingPort() {
        StartWinsock();
        socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        int length = sizeof address;
        getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~RefusingPort() { closesocket(socket_); }
    std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }

private:
    SOCKET socket_ = INVALID_SOCKET;
    unsigned short port_ = 0;
};

// The WinInet message table's text for an error code, as the system formats it.
inline std::string WinInetText(DWORD code) {
    char* text = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                       FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_FROM_HMODULE,
                   GetModuleHandleA("wininet.dll"), code, 0, reinterpret_cast<char*>(&text), 0,
                   nullptr);
    std::string result = text ? text : "";
    LocalFree(text);
    return result;
}

// A host name that fails to resolve without any name-server query leaving the machine: a
// label longer than DNS allows is refused before a query is built.
inline std::string UnresolvableHost() {
    return std::string(70, 'x') + ".invalid";
}

}  // namespace client_testing
