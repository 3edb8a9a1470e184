#include "plugin/client/reply_grammar.h"

#include <climits>

namespace plugin {

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The text after the first blank when that blank is not the first character.
bool SplitAtFirstBlank(std::string_view line, std::string_view& rest) {
    const size_t blank = line.find(' ');
    if (blank == std::string_view::npos || blank == 0) return false;
    rest = line.substr(blank + 1);
    return true;
}

}  // namespace

std::string_view TakeLine(std::string_view& text) {
    const size_t feed = text.find('\n');
    std::string_view line;
    if (feed == std::string_view::npos) {
        line = text;
        text = std::string_view();
    } else {
        line = text.substr(0, feed);
        text.remove_prefix(feed + 1);
    }
    // A reply written with CR LF line ends reads like one written with LF.
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

int LeadingNumber(std::string_view text) {
    size_t at = 0;
    while (at < text.size() && IsSpace(text[at])) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        negative = text[at] == '-';
        ++at;
    }
    long long value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        if (value <= static_cast<long long>(INT_MAX) + 1) value = value * 10 + (text[at] - '0');
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

StatusLine ParseStatusLine(std::string_view line) {
    StatusLine status;
    status.code = LeadingNumber(line);
    std::string_view message = line;
    SplitAtFirstBlank(line, message);
    status.message.assign(message);
    return status;
}

CategoryLine SplitCategoryLine(std::string_view line) {
    CategoryLine category;
    category.name = line;
    if (SplitAtFirstBlank(line, category.name)) category.id = LeadingNumber(line);
    return category;
}

CategoryReply ParseCategoryReply(std::string_view reply) {
    CategoryReply parsed;
    parsed.status = ParseStatusLine(TakeLine(reply));
    if (!parsed.Succeeded()) return parsed;
    if (parsed.status.code == kNoticeStatus) {
        parsed.notice = true;
        parsed.noticePage.assign(TakeLine(reply));
        parsed.stop = TakeLine(reply) == kStopControl;
        if (parsed.stop) return parsed;
    }
    // A final line feed ends the last line; it does not start an empty one.
    while (!reply.empty()) parsed.lines.emplace_back(TakeLine(reply));
    return parsed;
}

}  // namespace plugin
