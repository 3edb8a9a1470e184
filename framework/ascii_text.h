// Letter case and blanks of 8-bit text as the command lines, switches and registration scripts
// use them. Only ASCII letters fold: bytes of other characters pass unchanged, so no byte of a
// multibyte character is ever altered, whatever the locale. No Win32 here.
#pragma once

#include <cstddef>
#include <string_view>

namespace framework {

constexpr char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// A blank between the words of a command line: space or tab.
constexpr bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// A blank or a line end, which separate the words of a script.
constexpr bool IsBlankOrLineEnd(char c) {
    return IsBlank(c) || c == '\r' || c == '\n';
}

constexpr bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (LowerAscii(text[i]) != LowerAscii(prefix[i])) return false;
    }
    return true;
}

constexpr bool EqualsIgnoringCase(std::string_view text, std::string_view word) {
    return text.size() == word.size() && StartsWithIgnoringCase(text, word);
}

// The first position of needle in text, or npos.
constexpr std::size_t FindIgnoringCase(std::string_view text, std::string_view needle) {
    for (std::size_t at = 0; at + needle.size() <= text.size(); ++at) {
        if (StartsWithIgnoringCase(text.substr(at), needle)) return at;
    }
    return std::string_view::npos;
}

}  // namespace framework
