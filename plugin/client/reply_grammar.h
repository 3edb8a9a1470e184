// The service's plain-text reply grammar: lines, status lines, notice replies and category
// lines. No Win32 here, so the rules can be built and fuzzed anywhere.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace plugin {

// Takes the first line off text: everything before the first line feed, which is dropped with
// it, less one carriage return at its end (a CR LF line end). Without a line feed the line is
// all of text and text becomes empty. The result points into the old text.
std::string_view TakeLine(std::string_view& text);

// The leading decimal number: white space skipped, an optional sign, then digits up to the
// first non-digit. No digits give 0; a number beyond int saturates.
int LeadingNumber(std::string_view text);

struct StatusLine {
    int code = 0;
    // The line after its first blank, unless that blank starts the line (then the whole line).
    std::string message;
};
StatusLine ParseStatusLine(std::string_view line);

struct CategoryLine {
    int id = -1;
    // The tail of the line itself, not a copy: it lives as long as the line does.
    std::string_view name;
};
// "<id> <name>"; a line without a blank, or starting with one, is id -1 named by the whole line.
CategoryLine SplitCategoryLine(std::string_view line);

// Notice replies (status 201) carry a page address and a control line after the status line.
constexpr int kNoticeStatus = 201;
constexpr std::string_view kStopControl = "STOP";

struct CategoryReply {
    StatusLine status;
    bool notice = false;
    std::string noticePage;
    // The control line of a notice was exactly "STOP": the fetch ends after the notice.
    bool stop = false;
    // The category lines, each exactly as received; only filled for a 2xx status.
    std::vector<std::string> lines;

    bool Succeeded() const { return status.code >= 200 && status.code <= 299; }
    bool Refused() const { return status.code >= 400 && status.code <= 499; }
};

// Parses a whole category-list reply in one pass over its bytes.
CategoryReply ParseCategoryReply(std::string_view reply);

}  // namespace plugin
