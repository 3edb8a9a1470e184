// The reply grammar on its own: lines, numbers, status lines, category lines, whole replies.
#include "plugin/client/reply_grammar.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

using namespace plugin;

namespace {

TEST(TakeLine, SplitsAtLineFeedsAndDropsOneCarriageReturnBeforeThem) {
    std::string_view text = "one\ntwo\nthree";
    EXPECT_EQ(TakeLine(text), "one");
    EXPECT_EQ(text, "two\nthree");

    text = "no line feed";
    EXPECT_EQ(TakeLine(text), "no line feed");
    EXPECT_TRUE(text.empty());

    text = "crlf\r\nnext";
    EXPECT_EQ(TakeLine(text), "crlf");
    EXPECT_EQ(text, "next");

    text = "last\r";
    EXPECT_EQ(TakeLine(text), "last");
    EXPECT_TRUE(text.empty());

    text = "two\r\r\n\r\nin\rside\n";
    EXPECT_EQ(TakeLine(text), "two\r") << "only the last carriage return ends the line";
    EXPECT_EQ(TakeLine(text), "");
    EXPECT_EQ(TakeLine(text), "in\rside");
    EXPECT_TRUE(text.empty());

    text = "";
    EXPECT_EQ(TakeLine(text), "");
    EXPECT_TRUE(text.empty());

    text = "\n\nx";
    EXPECT_EQ(TakeLine(text), "");
    EXPECT_EQ(TakeLine(text), "");
    EXPECT_EQ(TakeLine(text), "x");
}

TEST(TakeLine, AdvancesAViewWithoutCopyingTheRest) {
    const std::string reply = "a\nbb\n";
    std::string_view text = reply;
    const std::string_view first = TakeLine(text);
    EXPECT_EQ(first.data(), reply.data());
    EXPECT_EQ(text.data(), reply.data() + 2);
}

TEST(LeadingNumber, ReadsSignAndDigitsAfterWhiteSpace) {
    const struct {
        const char* text;
        int expected;
    } cases[] = {
        {"200 OK", 200},
        {"  42abc", 42},
        {"\t-17 name", -17},
        {"+5", 5},
        {"abc", 0},
        {"", 0},
        {"-", 0},
        {"- 3", 0},
        {"007", 7},
        {"12\r", 12},
        {"99999999999", INT_MAX},
        {"-99999999999", INT_MIN},
        {"2147483647", INT_MAX},
        {"-2147483648", INT_MIN},
    };
    for (const auto& c : cases) EXPECT_EQ(LeadingNumber(c.text), c.expected) << c.text;
}

TEST(StatusLine, CodeAndMessageAfterTheFirstBlank) {
    const struct {
        const char* line;
        int code;
        const char* message;
    } cases[] = {
        {"200 OK", 200, "OK"},
        {"403 Wrong password, try again", 403, "Wrong password, try again"},
        {"201 Please read this\r", 201, "Please read this\r"},
        {" 200 starts with a blank", 200, " 200 starts with a blank"},
        {"500", 500, "500"},
        {"Server error", 0, "error"},
        {"", 0, ""},
    };
    for (const auto& c : cases) {
        const StatusLine status = ParseStatusLine(c.line);
        EXPECT_EQ(status.code, c.code) << c.line;
        EXPECT_EQ(status.message, c.message) << c.line;
    }
}

TEST(CategoryLine, IdAndNameOrMinusOneAndTheWholeLine) {
    const struct {
        const char* line;
        int id;
        const char* name;
    } cases[] = {
        {"12 Work", 12, "Work"},
        {"7 News and weather", 7, "News and weather"},
        {"-3 Archive", -3, "Archive"},
        {"Loose", -1, "Loose"},
        {" 5 Leading blank", -1, " 5 Leading blank"},
        {"", -1, ""},
        {"x Name", 0, "Name"},
        {"9 Ends in CR\r", 9, "Ends in CR\r"},
    };
    for (const auto& c : cases) {
        const CategoryLine category = SplitCategoryLine(c.line);
        EXPECT_EQ(category.id, c.id) << c.line;
        EXPECT_EQ(category.name, c.name) << c.line;
    }
}

struct ReplyCase {
    const char* name;
    std::string reply;
    int code;
    bool notice;
    const char* page;
    bool stop;
    std::vector<std::string> lines;
};

TEST(CategoryReply, EveryReplyRule) {
    const ReplyCase cases[] = {
        {"two categories", "200 OK\n12 Work\n7 Fun\n", 200, false, "", false, {"12 Work", "7 Fun"}},
        {"final line feed gives no empty last line",
         "200 OK\n1 A\n",
         200,
         false,
         "",
         false,
         {"1 A"}},
        {"no final line feed", "200 OK\n1 A\n2 B", 200, false, "", false, {"1 A", "2 B"}},
        {"empty lines in the middle are kept",
         "200 OK\n1 A\n\n2 B\n",
         200,
         false,
         "",
         false,
         {"1 A", "", "2 B"}},
        {"status line only", "200 OK", 200, false, "", false, {}},
        {"status line and line feed only", "200 OK\n", 200, false, "", false, {}},
        {"CRLF lines read as LF lines",
         "200 OK\r\n1 A\r\n\r\n2 B\r\n",
         200,
         false,
         "",
         false,
         {"1 A", "", "2 B"}},
        {"CR at the very end", "200 OK\n1 A\r", 200, false, "", false, {"1 A"}},
        {"notice with page",
         "201 Read this\nhttp://x/news\ngo on\n1 A\n",
         201,
         true,
         "http://x/news",
         false,
         {"1 A"}},
        {"notice with empty page", "201 Read this\n\nmore\n1 A\n", 201, true, "", false, {"1 A"}},
        {"notice with STOP",
         "201 Stopped\nhttp://x/p\nSTOP\n1 A\n",
         201,
         true,
         "http://x/p",
         true,
         {}},
        {"STOP with CR LF stops",
         "201 N\r\nhttp://x/p\r\nSTOP\r\n1 A\r\n",
         201,
         true,
         "http://x/p",
         true,
         {}},
        {"STOP followed by two CRs does not stop",
         "201 N\nhttp://x/p\nSTOP\r\r\n1 A\n",
         201,
         true,
         "http://x/p",
         false,
         {"1 A"}},
        {"lower-case stop does not stop", "201 N\n\nstop\n1 A\n", 201, true, "", false, {"1 A"}},
        {"notice cut short", "201 N\n", 201, true, "", false, {}},
        {"other 2xx code", "204 fine\n1 A\n", 204, false, "", false, {"1 A"}},
        {"refusal carries no lines", "403 Wrong password\n1 A\n", 403, false, "", false, {}},
        {"server error", "500 Broken\n", 500, false, "", false, {}},
        {"first line without digits", "<html>\n1 A\n", 0, false, "", false, {}},
    };
    for (const auto& c : cases) {
        const CategoryReply parsed = ParseCategoryReply(c.reply);
        EXPECT_EQ(parsed.status.code, c.code) << c.name;
        EXPECT_EQ(parsed.notice, c.notice) << c.name;
        EXPECT_EQ(parsed.noticePage, c.page) << c.name;
        EXPECT_EQ(parsed.stop, c.stop) << c.name;
        EXPECT_EQ(parsed.lines, c.lines) << c.name;
    }
}

TEST(CategoryReply, SuccessAndRefusalRanges) {
    const struct {
        const char* reply;
        bool succeeded;
        bool refused;
    } cases[] = {
        {"199 x", false, false}, {"200 x", true, false},  {"299 x", true, false},
        {"300 x", false, false}, {"399 x", false, false}, {"400 x", false, true},
        {"499 x", false, true},  {"500 x", false, false}, {"x", false, false},
    };
    for (const auto& c : cases) {
        const CategoryReply parsed = ParseCategoryReply(c.reply);
        EXPECT_EQ(parsed.Succeeded(), c.succeeded) << c.reply;
        EXPECT_EQ(parsed.Refused(), c.refused) << c.reply;
    }
}

}  // namespace
