#include "tools/service/text_encoding.h"

#include <cctype>
#include <cstdint>

namespace service {
namespace {

// The 0x80..0x9F block is where Windows-1252 differs from Latin-1. Its five unassigned bytes
// map to the C1 control of the same value, as browsers do.
constexpr char32_t kHighBlock[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Decodes one character at position i and advances i; gives nothing on a malformed sequence.
std::optional<char32_t> NextCodePoint(std::string_view text, size_t& i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    size_t length = 0;
    char32_t c = 0;
    if (lead < 0x80) {
        ++i;
        return lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        c = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        c = lead & 0x07;
    } else {
        return std::nullopt;
    }
    if (i + length > text.size()) return std::nullopt;
    for (size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) return std::nullopt;
        c = (c << 6) | (next & 0x3F);
    }
    const char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < smallest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
    i += length;
    return c;
}

}  // namespace

std::string AsciiLower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

std::string Windows1252ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char byte : text) {
        const auto b = static_cast<unsigned char>(byte);
        if (b < 0x80) {
            out += byte;
        } else if (b < 0xA0) {
            AppendUtf8(out, kHighBlock[b - 0x80]);
        } else {
            AppendUtf8(out, b);
        }
    }
    return out;
}

std::string Utf8ToWindows1252(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const auto c = NextCodePoint(text, i);
        if (!c) {
            out += '?';
            ++i;
            continue;
        }
        if (*c < 0x80 || (*c >= 0xA0 && *c <= 0xFF)) {
            out += static_cast<char>(*c);
            continue;
        }
        char mapped = '?';
        for (int k = 0; k < 32; ++k) {
            if (kHighBlock[k] == *c) mapped = static_cast<char>(0x80 + k);
        }
        out += mapped;
    }
    return out;
}

bool IsValidUtf8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        if (!NextCodePoint(text, i)) return false;
    }
    return true;
}

std::optional<std::string> ToUtf8(std::string_view text, std::string_view charset) {
    const std::string name = AsciiLower(charset);
    if (name == "utf-8" || name == "utf8") {
        if (!IsValidUtf8(text)) return std::nullopt;
        return std::string(text);
    }
    // Latin-1 is labelled where Windows-1252 is meant often enough that browsers treat the two
    // labels alike; so do we.
    if (name == "windows-1252" || name == "cp1252" || name == "iso-8859-1" || name == "latin1" ||
        name == "us-ascii") {
        return Windows1252ToUtf8(text);
    }
    return std::nullopt;
}

}  // namespace service
