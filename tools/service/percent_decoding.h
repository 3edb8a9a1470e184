// Percent-decoding of form bodies and query values. Header-only, so that the fuzz targets
// check the plug-in's form encoding against the decoder the service itself reads it with.
#pragma once

#include <string>
#include <string_view>

namespace service {

// '+' is a blank (when plusIsSpace) and %XX a byte; a '%' not followed by two hex digits stays
// as it is, which keeps bodies from clients that do not escape a lone percent sign readable.
inline std::string PercentDecode(std::string_view text, bool plusIsSpace) {
    const auto hex = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+' && plusIsSpace) {
            out += ' ';
        } else if (c == '%' && i + 2 < text.size() && hex(text[i + 1]) >= 0 &&
                   hex(text[i + 2]) >= 0) {
            out += static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2]));
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace service
