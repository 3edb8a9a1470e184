#include "plugin/client/form_body.h"

namespace corvane {

namespace {

bool IsKept(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '*' ||
           c == '-' || c == '.' || c == '_';
}

// Appends "&name=value" (no '&' for the first field) with the value encoded.
void AppendField(std::string& body, std::string_view name, std::string_view value) {
    if (!body.empty()) body += '&';
    body.append(name);
    body += '=';
    body += FormEncode(value);
}

}  // namespace

std::string FormEncode(std::string_view value) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(value.size());
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (IsKept(byte)) {
            encoded += c;
        } else if (byte == ' ') {
            encoded += '+';
        } else {
            encoded += '%';
            encoded += kHex[byte >> 4];
            encoded += kHex[byte & 0x0F];
        }
    }
    return encoded;
}

std::string CategoryListBody(std::string_view email, std::string_view password) {
    std::string body;
    AppendField(body, "email", email);
    AppendField(body, "password", password);
    AppendField(body, "version", kClientVersion);
    return body;
}

std::string AddPageBody(std::string_view email, std::string_view password, std::string_view name,
                        std::string_view url, int parent) {
    std::string body;
    AppendField(body, "email", email);
    AppendField(body, "password", password);
    AppendField(body, "name", name);
    AppendField(body, "url", url);
    AppendField(body, "parent", std::to_string(parent));
    return body;
}

std::string WebPageBody(std::string_view email, std::string_view password) {
    std::string body;
    AppendField(body, "email", email);
    AppendField(body, "password", password);
    return body;
}

}  // namespace corvane
