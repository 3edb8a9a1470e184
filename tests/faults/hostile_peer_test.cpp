// A local peer that misbehaves in every way a network can: the client ends each request with
// the documented message or failure, without a crash or a hang, and leaves the cached list and
// the stored settings as they were. Replies that form_poster_test and tavrello_test already
// cover (a body cut short, one byte over 16 MiB, an unreadable status) are not repeated here.
// The test peer needs winsock2.h ahead of windows.h.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "common/settings.h"
#include "plugin/client/tavrello.h"
#include "tests/plugin/client/client_fixture.h"
#include "tests/support/http_peer.h"
#include "tests/support/service_wire.h"
#include "tests/support/registry_sandbox.h"
#include "tests/support/settings_paths.h"

using client_testing::ScriptedUi;
using client_testing::UiCall;
using client_testing::UiScript;
using testing_support::HttpPeer;
using testing_support::kAddUrlPath;
using testing_support::kCategoriesPath;
using testing_support::kSettingsKey;
using testing_support::Ok;
using testing_support::ScriptedReply;

namespace {

ScriptedReply Raw(const std::string& bytes) {
    ScriptedReply reply;
    reply.raw = bytes;
    return reply;
}

// Bytes no server would send: every value, NULs and line ends included, in a fixed order.
std::string BinaryGarbage(size_t size) {
    std::string bytes;
    unsigned state = 0x2545F491u;
    for (size_t i = 0; i < size; ++i) {
        state = state * 1103515245u + 12345u;
        bytes += static_cast<char>(state >> 24);
    }
    return bytes;
}

std::string ManyCategoryLines(int count) {
    std::string body = "200 OK\n";
    for (int id = 1; id <= count; ++id)
        body += std::to_string(id) + " Category " + std::to_string(id) + "\n";
    return body;
}

class HostilePeer : public ::testing::Test {
protected:
    void SetUp() override {
        Store("email", "ann@example.com");
        Store("password", "secret");
        Store("Tavrello", peer_.BaseUrl());
        client_ = std::make_unique<plugin::CTavrello>(std::make_unique<ScriptedUi>(script_));
    }

    static void Store(const char* name, const std::string& value) {
        common::WriteRegistryString(HKEY_CURRENT_USER, testing_support::kSettingsPath, name,
                                    value.c_str());
    }
    static std::string Stored(const char* name) {
        return testing_support::ReadText(HKEY_CURRENT_USER, kSettingsKey, name);
    }
    void ExpectSettingsUnchanged(const std::string& context) {
        EXPECT_EQ(Stored("email"), "ann@example.com") << context;
        EXPECT_EQ(Stored("password"), "secret") << context;
        EXPECT_EQ(Stored("Tavrello"), peer_.BaseUrl()) << context;
    }

    testing_support::RegistrySandbox sandbox_;
    HttpPeer peer_;
    UiScript script_;
    std::unique_ptr<plugin::CTavrello> client_;
};

struct HostileCase {
    const char* name;
    ScriptedReply reply;
    int result;
    const char* caption;  // of the one message shown
    std::string message;  // "" when any text will do
};

TEST_F(HostilePeer, CategoryRequestEndsWithItsMessageAndAnEmptyCache) {
    ScriptedReply cutMidBody = Ok("200 OK\n" + std::string(4000, 'c'));
    cutMidBody.closeAfterBodyBytes = 2000;
    ScriptedReply seventeenMiB;
    seventeenMiB.generatedBodyBytes = 17LL * 1024 * 1024;
    ScriptedReply seventeenMiBUnannounced = seventeenMiB;
    seventeenMiBUnannounced.omitContentLength = true;
    const std::string fortyDigits(40, '9');
    const HostileCase cases[] = {
        {"connection closed mid-body", cutMidBody, 0, "Error",
         "The service's reply ended after 2000 of 4007 bytes."},
        {"17 MiB announced", seventeenMiB, 0, "Error",
         "The service's reply is larger than 16 MiB."},
        {"17 MiB without a length", seventeenMiBUnannounced, 0, "Error",
         "The service's reply is larger than 16 MiB."},
        {"HTTP status of 40 digits",
         Raw("HTTP/1.0 " + fortyDigits + " Huge\r\nContent-Length: 9\r\n\r\n200 OK\n1 A"), 0,
         "Error", "The service's answer carried no readable HTTP status."},
        {"reply status of 40 digits", Ok(fortyDigits + " Too big\n1 A\n"), 0, "Tavrello Error",
         "Too big"},
        {"binary garbage instead of HTTP", Raw(BinaryGarbage(3000)), 0, "either", ""},
        {"binary garbage as the body", Ok(BinaryGarbage(3000)), 0, "Tavrello Error", ""},
    };
    for (const HostileCase& c : cases) {
        script_.calls.clear();
        client_->categoryLines.clear();
        peer_.Queue(kCategoriesPath, c.reply);
        const size_t before = peer_.RequestCount();
        EXPECT_EQ(client_->FetchCategories(), c.result) << c.name;
        EXPECT_EQ(peer_.RequestCount(), before + 1) << c.name << ": no retry on its own";
        EXPECT_TRUE(client_->categoryLines.empty()) << c.name;
        ASSERT_EQ(script_.calls.size(), 1u) << c.name;
        EXPECT_EQ(script_.calls[0].kind, "message") << c.name;
        if (std::string(c.caption) == "either") {
            EXPECT_TRUE(script_.calls[0].caption == "Error" ||
                        script_.calls[0].caption == "Tavrello Error")
                << c.name << ": " << script_.calls[0].caption;
        } else {
            EXPECT_EQ(script_.calls[0].caption, c.caption) << c.name;
        }
        if (!c.message.empty()) {
            EXPECT_EQ(script_.calls[0].text, c.message) << c.name;
        }
        ExpectSettingsUnchanged(c.name);
    }
}

// Without a status line WinInet takes the bytes for an HTTP/0.9 answer; whatever it makes of
// them, the client must end with one message or with the bytes read as a reply. (Wine reads
// the first line as a status line and the rest as the body.)
TEST_F(HostilePeer, ReplyWithoutAnyStatusLineEndsWithOneMessageOrTheList) {
    peer_.Queue(kCategoriesPath, Raw("200 OK\n3 Three\n"));
    const int result = client_->FetchCategories();
    std::printf("[hostile] no status line: result %d, %zu cached lines, %zu messages%s%s\n", result,
                client_->categoryLines.size(), script_.calls.size(),
                script_.calls.empty() ? "" : ": ",
                script_.calls.empty() ? "" : script_.calls[0].text.c_str());
    if (result == 1) {
        EXPECT_EQ(client_->categoryLines, std::vector<std::string>{"3 Three"});
        EXPECT_TRUE(script_.calls.empty());
    } else {
        EXPECT_TRUE(client_->categoryLines.empty());
        ASSERT_EQ(script_.calls.size(), 1u);
        EXPECT_TRUE(script_.calls[0].caption == "Error" ||
                    script_.calls[0].caption == "Tavrello Error")
            << script_.calls[0].caption;
    }
    ExpectSettingsUnchanged("no status line");
}

TEST_F(HostilePeer, AHundredThousandCategoryLinesAreAllCached) {
    peer_.Queue(kCategoriesPath, Ok(ManyCategoryLines(100000)));
    const DWORD start = GetTickCount();
    EXPECT_EQ(client_->FetchCategories(), 1);
    std::printf("[hostile] 100000 category lines fetched and cached in %lu ms\n",
                static_cast<unsigned long>(GetTickCount() - start));
    ASSERT_EQ(client_->categoryLines.size(), 100000u);
    EXPECT_EQ(client_->categoryLines.front(), "1 Category 1");
    EXPECT_EQ(client_->categoryLines.back(), "100000 Category 100000");
    EXPECT_TRUE(script_.calls.empty());
}

TEST_F(HostilePeer, HostileAddRepliesLeaveTheCachedListAndTheSettingsAlone) {
    peer_.Route(kCategoriesPath, Ok("200 OK\n12 Work\n7 Fun\n"));
    ASSERT_EQ(client_->FetchCategories(), 1);
    const std::vector<std::string> cached = client_->categoryLines;
    ScriptedReply cut = Ok("OK but longer");
    cut.closeAfterBodyBytes = 2;
    ScriptedReply huge;
    huge.generatedBodyBytes = 17LL * 1024 * 1024;
    const struct {
        const char* name;
        ScriptedReply reply;
        // "retry" after a failed request, "message" for a reply shown; "either" for garbage
        // that WinInet may take for an HTTP/0.9 answer.
        const char* kind;
    } cases[] = {
        {"cut after OK", cut, "retry"},
        {"17 MiB", huge, "retry"},
        {"garbage", Raw(BinaryGarbage(500)), "either"},
        {"binary body", Ok(BinaryGarbage(500)), "message"},
    };
    for (const auto& c : cases) {
        script_.calls.clear();
        peer_.Queue(kAddUrlPath, c.reply);
        script_.addAnswers.push_back([](plugin::AddFavoriteChoice&) { return true; });
        client_->AddPage("Title", "http://127.0.0.1/page.htm");
        EXPECT_EQ(client_->categoryLines, cached) << c.name;
        EXPECT_EQ(peer_.RequestsTo(kCategoriesPath).size(), 1u) << c.name;
        ASSERT_EQ(script_.calls.size(), 2u) << c.name;
        if (std::string(c.kind) == "either") {
            EXPECT_TRUE(script_.calls[1].kind == "retry" || script_.calls[1].kind == "message")
                << c.name;
        } else {
            EXPECT_EQ(script_.calls[1].kind, c.kind) << c.name;
        }
        ExpectSettingsUnchanged(c.name);
    }
}

// The service refuses the credentials every time and the user keeps pressing OK: each OK
// costs one request and one message, and the first Cancel ends the fetch.
TEST_F(HostilePeer, RefusalForeverEndsWhenTheUserCancels) {
    constexpr int kOkPresses = 40;
    peer_.Route(kCategoriesPath, Ok("401 Unknown account\n"));
    for (int i = 0; i < kOkPresses; ++i) script_.optionsAnswers.push_back([] { return true; });
    EXPECT_EQ(client_->FetchCategories(), 0);
    EXPECT_EQ(peer_.RequestsTo(kCategoriesPath).size(), static_cast<size_t>(kOkPresses + 1));
    EXPECT_EQ(script_.CallsOf("options").size(), static_cast<size_t>(kOkPresses + 1));
    const auto messages = script_.CallsOf("message");
    ASSERT_EQ(messages.size(), static_cast<size_t>(kOkPresses + 1));
    for (const UiCall& message : messages) {
        EXPECT_EQ(message, (UiCall{"message", "Unknown account", "Tavrello Error"}));
    }
    EXPECT_TRUE(client_->categoryLines.empty());
    EXPECT_EQ(client_->email, "") << "forgotten in memory after the refusal";
    ExpectSettingsUnchanged("refusal forever");
    // Every retry used the settings as stored, read again after each OK.
    for (const auto& request : peer_.RequestsTo(kCategoriesPath)) {
        EXPECT_EQ(testing_support::DecodeForm(request.body).at("email"), "ann@example.com");
    }
}

}  // namespace
