#include "tests/fuzz/form_decoding.h"

namespace fuzz_support {
namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string DecodeFormComponent(std::string_view text) {
    std::string decoded;
    decoded.reserve(text.size());
    for (size_t at = 0; at < text.size(); ++at) {
        const char c = text[at];
        if (c == '+') {
            decoded += ' ';
        } else if (c == '%' && at + 2 < text.size() && HexValue(text[at + 1]) >= 0 &&
                   HexValue(text[at + 2]) >= 0) {
            decoded += static_cast<char>(HexValue(text[at + 1]) * 16 + HexValue(text[at + 2]));
            at += 2;
        } else {
            decoded += c;
        }
    }
    return decoded;
}

std::vector<std::pair<std::string, std::string>> DecodeFormFields(std::string_view body) {
    std::vector<std::pair<std::string, std::string>> fields;
    if (body.empty()) return fields;
    size_t start = 0;
    for (;;) {
        const size_t end = body.find('&', start);
        const std::string_view pair = body.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        const size_t equals = pair.find('=');
        if (equals == std::string_view::npos) {
            fields.emplace_back(DecodeFormComponent(pair), std::string());
        } else {
            fields.emplace_back(DecodeFormComponent(pair.substr(0, equals)),
                                DecodeFormComponent(pair.substr(equals + 1)));
        }
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return fields;
}

}  // namespace fuzz_support
