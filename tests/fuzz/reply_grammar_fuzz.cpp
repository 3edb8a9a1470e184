// The service's reply text as the network delivers it: any bytes at all.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "plugin/client/reply_grammar.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

// The number the grammar should read, worked out with a wider type and clamped to int.
int ReferenceLeadingNumber(std::string_view text) {
    size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || (text[at] >= '\t' && text[at] <= '\r'))) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    __int128 value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        if (value < (static_cast<__int128>(1) << 64)) value = value * 10 + (text[at] - '0');
    }
    if (negative) value = -value;
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int>(value);
}

void CheckCategoryLine(std::string_view line) {
    const plugin::CategoryLine category = plugin::SplitCategoryLine(line);
    // The name is the line's own tail: the tree takes its text where the line ends.
    FUZZ_CHECK(category.name.data() + category.name.size() == line.data() + line.size());
    const size_t blank = line.find(' ');
    if (blank == std::string_view::npos || blank == 0) {
        FUZZ_CHECK(category.id == -1);
        FUZZ_CHECK(category.name == line);
        return;
    }
    // The text before the blank, the blank and the name give the line back; the id is read
    // from the start of the line as the status code is.
    const std::string_view idText = line.substr(0, blank);
    FUZZ_CHECK(std::string(idText) + " " + std::string(category.name) == line);
    FUZZ_CHECK(category.id == ReferenceLeadingNumber(line));
    // A line as the service writes it (a plain decimal id) is rebuilt from id and name alone.
    if (std::to_string(ReferenceLeadingNumber(idText)) == idText) {
        FUZZ_CHECK(std::to_string(category.id) + " " + std::string(category.name) == line);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view reply(reinterpret_cast<const char*>(data), size);
    const plugin::CategoryReply parsed = plugin::ParseCategoryReply(reply);

    std::string_view rest = reply;
    const std::string_view statusLine = plugin::TakeLine(rest);
    FUZZ_CHECK(parsed.status.code == ReferenceLeadingNumber(statusLine));
    const size_t blank = statusLine.find(' ');
    FUZZ_CHECK(parsed.status.message == (blank == std::string_view::npos || blank == 0
                                             ? statusLine
                                             : statusLine.substr(blank + 1)));
    if (!parsed.Succeeded()) {
        FUZZ_CHECK(parsed.lines.empty() && !parsed.notice);
        return 0;
    }
    FUZZ_CHECK(parsed.notice == (parsed.status.code == plugin::kNoticeStatus));
    if (parsed.notice) {
        FUZZ_CHECK(parsed.noticePage == plugin::TakeLine(rest));
        const std::string_view control = plugin::TakeLine(rest);
        FUZZ_CHECK(parsed.stop == (control == plugin::kStopControl));
        if (parsed.stop) {
            FUZZ_CHECK(parsed.lines.empty());
            return 0;
        }
    }
    // Every piece of the text after the status (and notice) lines between line feeds is one
    // category line, less one carriage return at its end; a final line feed ends the last line
    // and starts none.
    std::vector<std::string_view> pieces;
    for (size_t start = 0; start < rest.size();) {
        const size_t feed = rest.find('\n', start);
        const size_t end = feed == std::string_view::npos ? rest.size() : feed;
        std::string_view piece = rest.substr(start, end - start);
        if (!piece.empty() && piece.back() == '\r') piece.remove_suffix(1);
        pieces.push_back(piece);
        start = end + 1;
    }
    FUZZ_CHECK(parsed.lines.size() == pieces.size());
    for (size_t i = 0; i < parsed.lines.size(); ++i) {
        const std::string& line = parsed.lines[i];
        FUZZ_CHECK(line.find('\n') == std::string::npos);
        FUZZ_CHECK(line == pieces[i]);
        CheckCategoryLine(line);
    }
    return 0;
}
