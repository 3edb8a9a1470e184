// The one percent-encoding loop, and the form encoding on top of it.
#include "common/form_encoding.h"

#include <algorithm>

namespace common {

namespace {

bool IsKept(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '*' ||
           c == '-' || c == '.' || c == '_';
}

}  // namespace

std::string PercentEncode(std::string_view text, bool (*needsEncoding)(unsigned char byte)) {
    static const char kHexDigits[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (needsEncoding(byte)) {
            encoded += '%';
            encoded += kHexDigits[byte >> 4];
            encoded += kHexDigits[byte & 0x0F];
        } else {
            encoded += c;
        }
    }
    return encoded;
}

std::string FormEncode(std::string_view value) {
    std::string encoded =
        PercentEncode(value, [](unsigned char c) { return !IsKept(c) && c != ' '; });
    // '+' itself was encoded above, so every '+' now stands for a blank.
    std::replace(encoded.begin(), encoded.end(), ' ', '+');
    return encoded;
}

}  // namespace common
