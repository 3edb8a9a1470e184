// The transport half of CTavrello: one synchronous form POST over WinInet per call, every
// handle in an InetHandle so each path out closes request, connection and root in that order.
#include "plugin/client/tavrello.h"

#include <cstring>
#include <vector>

#include "framework/handles.h"
#include "plugin/client/inet_handle.h"
#include "plugin/client/reply_grammar.h"

namespace plugin {

namespace {

constexpr char kUserAgent[] = "Tavrello";
constexpr char kFormContentType[] = "Content-Type: application/x-www-form-urlencoded";
constexpr DWORD kFormContentTypeLength = sizeof kFormContentType - 1;
static_assert(kFormContentTypeLength == 47, "the header is sent with its exact length");

// Buffer sizes of the URL split, terminating NUL included.
constexpr DWORD kHostBufferSize = 128;
constexpr DWORD kPathBufferSize = 255;

struct UrlParts {
    char host[kHostBufferSize] = {};
    char path[kPathBufferSize] = {};
    INTERNET_PORT port = 0;
    bool secure = false;
};

bool SplitUrl(const char* url, UrlParts& parts) {
    URL_COMPONENTSA components{};
    components.dwStructSize = sizeof components;
    components.lpszHostName = parts.host;
    components.dwHostNameLength = kHostBufferSize;
    components.lpszUrlPath = parts.path;
    components.dwUrlPathLength = kPathBufferSize;
    if (!InternetCrackUrlA(url, 0, 0, &components) || parts.host[0] == '\0') return false;
    parts.port = components.nPort;
    parts.secure = components.nScheme == INTERNET_SCHEME_HTTPS;
    return true;
}

// The system's text for an error code: network-management codes from netmsg.dll, WinInet
// codes from wininet.dll, the system table for the rest and as the fallback. The text is kept
// exactly as the message table has it, line end included.
std::string SystemErrorText(DWORD code) {
    DWORD flags =
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;
    framework::LibraryHandle networkMessages;
    HMODULE source = nullptr;
    if (code >= 2100 && code <= 2999) {
        networkMessages.Reset(LoadLibraryExA("netmsg.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE));
        if (networkMessages) {
            source = networkMessages.Get();
            flags |= FORMAT_MESSAGE_FROM_HMODULE;
        }
    }
    if (code >= 12000) {
        if (HMODULE wininet = GetModuleHandleA("wininet.dll")) {
            source = wininet;
            flags |= FORMAT_MESSAGE_FROM_HMODULE;
        }
    }
    char* text = nullptr;
    FormatMessageA(flags, source, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                   reinterpret_cast<char*>(&text), 0, nullptr);
    framework::LocalMemory owner(text);
    return text ? std::string(text) : std::string();
}

// The body length the server announced, when it announced a plain decimal one.
std::optional<unsigned long long> AnnouncedLength(const std::optional<std::string>& header) {
    if (!header || header->empty()) return std::nullopt;
    unsigned long long length = 0;
    for (const char c : *header) {
        if (c < '0' || c > '9') return std::nullopt;
        if (length > kMaxReplyBytes) continue;  // already too large; stop growing
        length = length * 10 + static_cast<unsigned>(c - '0');
    }
    return length;
}

}  // namespace

int CTavrello::PostForm(const char* url, const char* body, std::string& reply) {
    lastAnswered = false;
    UrlParts parts;
    if (!SplitUrl(url, parts)) {
        lastFailure = std::string("\"") + url + "\" is not a usable service address.";
        return 0;
    }
    InetHandle root(InternetOpenA(kUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!root) {
        lastFailure = "The Internet functions of the system could not be started.";
        return 0;
    }
    InetHandle connection(
        InternetConnectA(root.Get(), parts.host, parts.port, "", "", INTERNET_SERVICE_HTTP, 0, 0));
    // https goes over TLS, never in clear text.
    DWORD flags = INTERNET_FLAG_RELOAD;
    if (parts.secure) flags |= INTERNET_FLAG_SECURE;
    InetHandle request(HttpOpenRequestA(connection.Get(), "POST", parts.path, "HTTP/1.0", nullptr,
                                        nullptr, flags, 0));
    if (!request) {
        lastFailure = std::string("No request to ") + parts.host + " could be opened.";
        return 0;
    }
    if (!HttpAddRequestHeadersA(request.Get(), kFormContentType, kFormContentTypeLength,
                                HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE)) {
        lastFailure = "The request could not be prepared.";
        return 0;
    }
    if (!HttpSendRequestA(request.Get(), nullptr, 0, const_cast<char*>(body),
                          static_cast<DWORD>(std::strlen(body)))) {
        const DWORD code = GetLastError();
        lastError = SystemErrorText(code);
        lastFailure = lastError.empty()
                          ? "The request could not be sent (error " + std::to_string(code) + ")."
                          : lastError;
        return 0;
    }
    lastAnswered = true;
    const std::optional<std::string> statusText = QueryInfo(request.Get(), HTTP_QUERY_STATUS_CODE);
    const int status = statusText ? LeadingNumber(*statusText) : 0;
    // WinInet reports a status line it cannot read as status 0.
    if (status < 100 || status > 599) {
        lastFailure = "The service's answer carried no readable HTTP status.";
        return 0;
    }
    if (status != HTTP_STATUS_OK) {
        lastFailure = "The service answered with HTTP status " + std::to_string(status) + ".";
        return 0;
    }
    return ReadReply(request.Get(), reply) ? 1 : 0;
}

std::optional<std::string> CTavrello::QueryInfo(HINTERNET request, DWORD infoLevel) {
    std::vector<char> buffer;
    DWORD length = 0;
    while (!HttpQueryInfoA(request, infoLevel, buffer.empty() ? nullptr : buffer.data(), &length,
                           nullptr)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return std::nullopt;
        buffer.assign(length + 1, '\0');
        length = static_cast<DWORD>(buffer.size());
    }
    return buffer.empty() ? std::string() : std::string(buffer.data());
}

int CTavrello::ReadReply(HINTERNET request, std::string& reply) {
    if (!request) return 0;
    reply.clear();
    const std::optional<unsigned long long> announced =
        AnnouncedLength(QueryInfo(request, HTTP_QUERY_CONTENT_LENGTH));
    const std::string tooLarge = "The service's reply is larger than 16 MiB.";
    if (announced && *announced > kMaxReplyBytes) {
        lastFailure = tooLarge;
        return 0;
    }
    if (announced) reply.reserve(static_cast<size_t>(*announced));
    std::vector<char> chunk;
    for (;;) {
        DWORD available = 0;
        if (!InternetQueryDataAvailable(request, &available, 0, 0)) {
            lastFailure = "The service's reply could not be read.";
            return 0;
        }
        if (available == 0) break;
        if (available > kMaxReplyBytes - reply.size()) {
            lastFailure = tooLarge;
            return 0;
        }
        chunk.resize(available);
        DWORD read = 0;
        if (!InternetReadFile(request, chunk.data(), available, &read)) {
            lastFailure = "The service's reply could not be read.";
            return 0;
        }
        if (read == 0) break;
        reply.append(chunk.data(), read);
    }
    // A connection that closes early ends the body without an error from WinInet.
    if (announced && reply.size() != *announced) {
        lastFailure = "The service's reply ended after " + std::to_string(reply.size()) + " of " +
                      std::to_string(*announced) + " bytes.";
        return 0;
    }
    // The reply is a text: it ends at its first NUL, as a C string would, so "OK\0" is "OK".
    const std::size_t textEnd = reply.find('\0');
    if (textEnd != std::string::npos) reply.erase(textEnd);
    return 1;
}

std::string& CTavrello::ReadLine(std::string& line, std::string_view& text) {
    line.assign(TakeLine(text));
    return line;
}

}  // namespace plugin
