// The pure text handling of the service: charsets, form bodies, HTML escaping, command line.
#include "tools/service/form_body.h"
#include "tools/service/options.h"
#include "tools/service/pages.h"
#include "tools/service/text_encoding.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(TextEncoding, EveryWindows1252ByteSurvivesTheRoundTripThroughUtf8) {
    std::string all;
    for (int byte = 1; byte < 256; ++byte) all += static_cast<char>(byte);
    const std::string utf8 = service::Windows1252ToUtf8(all);
    EXPECT_TRUE(service::IsValidUtf8(utf8));
    EXPECT_EQ(service::Utf8ToWindows1252(utf8), all);
    EXPECT_EQ(service::Windows1252ToUtf8("\x80\x99\xE6"), "\xE2\x82\xAC\xE2\x84\xA2\xC3\xA6");
}

TEST(TextEncoding, CharactersOutsideWindows1252BecomeQuestionMarks) {
    EXPECT_EQ(service::Utf8ToWindows1252("a\xE2\x98\x83z"), "a?z");  // a snowman
    EXPECT_EQ(service::Utf8ToWindows1252("\xF0\x9F\x98\x80"), "?");
}

TEST(TextEncoding, MalformedUtf8IsRecognised) {
    for (const std::string& bad :
         {std::string("\xC3"), std::string("\xC0\xAF"), std::string("\xED\xA0\x80"),
          std::string("\xFF"), std::string("a\x80")}) {
        EXPECT_FALSE(service::IsValidUtf8(bad));
        EXPECT_FALSE(service::ToUtf8(bad, "utf-8").has_value());
    }
    EXPECT_FALSE(service::ToUtf8("abc", "shift_jis").has_value());
}

TEST(FormBody, FieldsAreSplitAndDecoded) {
    const auto form = service::FormFields::Parse("a=1&b=Tom+%26+Jerry&&c&d=%zz%4&e=x%3Dy&a=second");
    EXPECT_EQ(form.Get("a"), std::optional<std::string>("1")) << "the first value counts";
    EXPECT_EQ(form.Get("b"), std::optional<std::string>("Tom & Jerry"));
    EXPECT_EQ(form.Get("c"), std::optional<std::string>(""));
    EXPECT_EQ(form.Get("d"), std::optional<std::string>("%zz%4"));
    EXPECT_EQ(form.Get("e"), std::optional<std::string>("x=y"));
    EXPECT_FALSE(form.Get("f").has_value());
}

TEST(FormBody, ContentTypeGivesMediaTypeAndCharset) {
    struct Case {
        const char* header;
        const char* mediaType;
        const char* charset;
    };
    const std::vector<Case> cases = {
        {"application/x-www-form-urlencoded", "application/x-www-form-urlencoded", ""},
        {"Application/X-WWW-Form-Urlencoded; Charset=UTF-8", "application/x-www-form-urlencoded",
         "UTF-8"},
        {"application/x-www-form-urlencoded ; boundary=x; charset=\"windows-1252\"",
         "application/x-www-form-urlencoded", "windows-1252"},
        {"text/plain", "text/plain", ""},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        const auto type = service::ContentType::Parse(c.header);
        EXPECT_EQ(type.mediaType, c.mediaType) << c.header;
        EXPECT_EQ(type.charset, c.charset) << c.header;
    }
}

TEST(FormBody, PercentEncodingKeepsOnlyUnreservedCharacters) {
    EXPECT_EQ(service::PercentEncode("demo@tavrello.test"), "demo%40tavrello.test");
    EXPECT_EQ(service::PercentEncode("a b&c=d+e~_-."), "a%20b%26c%3Dd%2Be~_-.");
    EXPECT_EQ(service::PercentDecode(service::PercentEncode("\xC3\xA6\x01%"), false),
              "\xC3\xA6\x01%");
}

TEST(HtmlText, MarkupCharactersAreEscapedAndOnlyWebSchemesAreLinks) {
    EXPECT_EQ(service::EscapeHtml("<a href=\"x\">'&'</a>"),
              "&lt;a href=&quot;x&quot;&gt;&#39;&amp;&#39;&lt;/a&gt;");
    for (const char* url : {"http://a", "HTTPS://a", "ftp://a"}) {
        EXPECT_TRUE(service::IsLinkableUrl(url)) << url;
    }
    for (const char* url : {"javascript:alert(1)", "JavaScript:x", "data:text/html,x", "vbscript:x",
                            "no-scheme", "-"}) {
        EXPECT_FALSE(service::IsLinkableUrl(url)) << url;
    }
}

TEST(CommandLine, OptionsAreReadInBothSpellings) {
    const auto command = service::ParseCommandLine(
        {"--port", "9000", "--db=/tmp/x.db", "--base-url", "http://127.0.0.1:9000/t/", "--notice",
         "Hello there", "--notice-page=http://127.0.0.1:9000/n", "--notice-stop", "--no-demo",
         "--quiet"});
    ASSERT_EQ(command.action, service::CommandLine::Action::kServe) << command.error;
    EXPECT_EQ(command.options.port, 9000);
    EXPECT_EQ(command.options.listenAddress, "127.0.0.1");
    EXPECT_EQ(command.options.databasePath, "/tmp/x.db");
    EXPECT_EQ(command.options.baseUrl, "http://127.0.0.1:9000/t/");
    EXPECT_EQ(command.options.notice.message, "Hello there");
    EXPECT_EQ(command.options.notice.page, "http://127.0.0.1:9000/n");
    EXPECT_TRUE(command.options.notice.stop);
    EXPECT_FALSE(command.options.demoAccount);
    EXPECT_FALSE(command.options.logRequests);
}

TEST(CommandLine, DefaultsListenOnTheLoopbackAddressWithTheDemoAccount) {
    const auto command = service::ParseCommandLine({});
    EXPECT_EQ(command.action, service::CommandLine::Action::kServe);
    EXPECT_EQ(command.options.listenAddress, "127.0.0.1");
    EXPECT_EQ(command.options.port, 8765);
    EXPECT_TRUE(command.options.demoAccount);
    EXPECT_TRUE(command.options.notice.message.empty());
    EXPECT_TRUE(command.options.databasePath.empty());
}

TEST(CommandLine, MistakesAreReported) {
    const std::vector<std::vector<std::string>> cases = {
        {"--port"},
        {"--port", "x1"},
        {"--port", "65536"},
        {"--bogus"},
        {"--quiet=yes"},
        {"--base-url", "ftp://x/"},
        {"--notice-stop"},
        {"--notice-page", "http://127.0.0.1/"},
        {"--add-account", "not-an-address"},
        {"--notice", "two\nlines"},
    };
    for (const auto& arguments : cases) {
        const auto command = service::ParseCommandLine(arguments);
        EXPECT_EQ(command.action, service::CommandLine::Action::kInvalid) << arguments[0];
        EXPECT_FALSE(command.error.empty());
    }
    EXPECT_EQ(service::ParseCommandLine({"--help"}).action, service::CommandLine::Action::kHelp);
    EXPECT_EQ(service::ParseCommandLine({"--add-account", "a@b.test"}).action,
              service::CommandLine::Action::kAddAccount);
}

}  // namespace
