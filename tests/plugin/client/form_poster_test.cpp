// The form poster of CTavrello: real WinInet against the scripted peer on 127.0.0.1.
// The test peer needs winsock2.h ahead of windows.h.
#include <winsock2.h>

#include "plugin/client/tavrello.h"

#include "tests/plugin/client/client_fixture.h"
#include "tests/support/http_peer.h"
#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

using client_testing::UiScript;
using testing_support::HttpPeer;
using testing_support::ScriptedReply;

namespace {

ScriptedReply Reply(int status, const std::string& body) {
    ScriptedReply reply;
    reply.status = status;
    reply.body = body;
    return reply;
}

class FormPoster : public ::testing::Test {
protected:
    FormPoster() : client_(std::make_unique<client_testing::ScriptedUi>(script_)) {}

    std::string Url(const char* path) const { return peer_.BaseUrl() + path; }

    testing_support::RegistrySandbox sandbox_;
    HttpPeer peer_;
    UiScript script_;
    plugin::CTavrello client_;
};

TEST_F(FormPoster, SendsOnePostWithTheFixedRequestShapeAndTheBodyUnchanged) {
    peer_.Route("/plugin/form.php", Reply(200, "the reply\nsecond line\n"));
    const std::string body = std::string("a=1&b=c d%2B&e=\xE6\xF8\xE5");
    std::string reply = "caller's";
    ASSERT_EQ(client_.PostForm(Url("plugin/form.php").c_str(), body.c_str(), reply), 1);
    EXPECT_EQ(reply, "the reply\nsecond line\n");

    const auto requests = peer_.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].requestLine, "POST /plugin/form.php HTTP/1.0");
    EXPECT_EQ(requests[0].Header("User-Agent"), "Tavrello");
    EXPECT_EQ(requests[0].Header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(requests[0].Header("Content-Length"), std::to_string(body.size()));
    EXPECT_EQ(requests[0].body, body) << "the poster encodes nothing";
    EXPECT_EQ(client_.lastError, "");
}

TEST_F(FormPoster, EveryPostReachesTheServerNeverTheCache) {
    peer_.Route("/p", Reply(200, "same"));
    for (int i = 0; i < 3; ++i) {
        std::string reply;
        EXPECT_EQ(client_.PostForm(Url("p").c_str(), "x=1", reply), 1);
        EXPECT_EQ(reply, "same");
    }
    EXPECT_EQ(peer_.RequestCount(), 3u);
}

TEST_F(FormPoster, EmptyBodyOf200IsSuccessWithAnEmptyReply) {
    peer_.Route("/p", Reply(200, ""));
    std::string reply = "caller's";
    EXPECT_EQ(client_.PostForm(Url("p").c_str(), "", reply), 1);
    EXPECT_EQ(reply, "");
}

struct StatusCase {
    const char* name;
    ScriptedReply reply;
    const char* failure;
};

TEST_F(FormPoster, AnswersOtherThan200FailAndKeepReplyAndLastError) {
    ScriptedReply garbage;
    garbage.raw = "HTTP/1.0 abc Weird\r\nContent-Length: 0\r\n\r\n";
    const StatusCase cases[] = {
        {"404", Reply(404, "not here"), "The service answered with HTTP status 404."},
        {"500", Reply(500, "broken"), "The service answered with HTTP status 500."},
        {"201", Reply(201, "created"), "The service answered with HTTP status 201."},
        {"status that is no number", garbage,
         "The service's answer carried no readable HTTP status."},
    };
    for (const auto& c : cases) {
        peer_.Queue("/p", c.reply);
        client_.lastError = "earlier text";
        client_.lastFailure.clear();
        std::string reply = "caller's";
        EXPECT_EQ(client_.PostForm(Url("p").c_str(), "x=1", reply), 0) << c.name;
        EXPECT_EQ(reply, "caller's") << c.name;
        EXPECT_EQ(client_.lastError, "earlier text") << c.name;
        EXPECT_EQ(client_.lastFailure, c.failure) << c.name;
    }
}

TEST_F(FormPoster, FailedSendPutsTheWinInetTextIntoLastError) {
    client_testing::RefusingPort refusing;
    const struct {
        const char* name;
        std::string url;
        DWORD code;
    } cases[] = {
        {"unresolvable host", "http://" + client_testing::UnresolvableHost() + "/p", 12007},
        {"refused port", refusing.BaseUrl() + "p", 12029},
    };
    for (const auto& c : cases) {
        const std::string expected = client_testing::WinInetText(c.code);
        ASSERT_FALSE(expected.empty()) << c.name;
        client_.lastError = "earlier text";
        std::string reply = "caller's";
        EXPECT_EQ(client_.PostForm(c.url.c_str(), "x=1", reply), 0) << c.name;
        EXPECT_EQ(client_.lastError, expected) << c.name;
        EXPECT_EQ(client_.lastFailure, expected) << c.name;
        EXPECT_EQ(reply, "caller's") << c.name;
    }
}

TEST_F(FormPoster, AddressesThatCannotBeSplitFailWithoutAnyRequest) {
    const std::string cases[] = {
        "",
        "plugin/getcatagories.php",
        "http://" + std::string(130, 'h') + "/p",
        peer_.BaseUrl() + std::string(300, 'p'),
    };
    for (const auto& url : cases) {
        client_.lastFailure.clear();
        std::string reply = "caller's";
        EXPECT_EQ(client_.PostForm(url.c_str(), "x=1", reply), 0) << url;
        EXPECT_EQ(reply, "caller's") << url;
        EXPECT_FALSE(client_.lastFailure.empty()) << url;
        EXPECT_EQ(client_.lastError, "") << url;
    }
    EXPECT_EQ(peer_.RequestCount(), 0u);
}

TEST_F(FormPoster, HttpsIsNeverSentInClearText) {
    const std::string path = "plugin/getcatagories.php";
    std::string reply = "caller's";
    const std::string atPeer = "https://127.0.0.1:" + std::to_string(peer_.Port()) + "/" + path;
    EXPECT_EQ(client_.PostForm(atPeer.c_str(), "email=a&password=secret", reply), 0);
    EXPECT_EQ(peer_.RequestCount(), 0u) << "no clear-text request may reach the server";
    EXPECT_EQ(reply, "caller's");

    client_testing::FirstBytesListener listener;
    const std::string atListener =
        "https://127.0.0.1:" + std::to_string(listener.Port()) + "/" + path;
    EXPECT_EQ(client_.PostForm(atListener.c_str(), "email=a&password=secret", reply), 0);
    const std::string received = listener.Received();
    ASSERT_FALSE(received.empty()) << "the client must have opened a connection and spoken first";
    EXPECT_EQ(received[0], '\x16') << "a TLS handshake record comes first";
    EXPECT_EQ(received.find("secret"), std::string::npos);
    EXPECT_EQ(received.find("POST"), std::string::npos);
}

TEST_F(FormPoster, BodyThatEndsBeforeItsContentLengthFails) {
    ScriptedReply cut = Reply(200, std::string(5000, 'c'));
    cut.closeAfterBodyBytes = 1200;
    peer_.Route("/p", cut);
    std::string reply = "caller's";
    EXPECT_EQ(client_.PostForm(Url("p").c_str(), "x=1", reply), 0);
    EXPECT_EQ(client_.lastFailure, "The service's reply ended after 1200 of 5000 bytes.");
    EXPECT_EQ(client_.lastError, "");
}

TEST_F(FormPoster, BodyWithoutContentLengthEndsWithTheConnection) {
    ScriptedReply open = Reply(200, "200 OK\n1 A\n");
    open.omitContentLength = true;
    peer_.Route("/p", open);
    std::string reply;
    EXPECT_EQ(client_.PostForm(Url("p").c_str(), "x=1", reply), 1);
    EXPECT_EQ(reply, "200 OK\n1 A\n");
}

TEST_F(FormPoster, RepliesBeyond16MiBFail) {
    const long long limit = static_cast<long long>(plugin::kMaxReplyBytes);
    const struct {
        const char* name;
        long long bytes;
        bool announced;
        int result;
    } cases[] = {
        {"announced, one byte over", limit + 1, true, 0},
        {"unannounced, one byte over", limit + 1, false, 0},
        {"announced, exactly the limit", limit, true, 1},
    };
    for (const auto& c : cases) {
        ScriptedReply big;
        big.generatedBodyBytes = c.bytes;
        big.omitContentLength = !c.announced;
        peer_.Queue("/big", big);
        std::string reply;
        EXPECT_EQ(client_.PostForm(Url("big").c_str(), "x=1", reply), c.result) << c.name;
        if (c.result == 1) {
            EXPECT_EQ(reply.size(), static_cast<size_t>(c.bytes)) << c.name;
        } else {
            EXPECT_EQ(client_.lastFailure, "The service's reply is larger than 16 MiB.") << c.name;
        }
    }
}

TEST_F(FormPoster, ReadReplyWithoutRequestLeavesTheReplyAlone) {
    std::string reply = "untouched";
    EXPECT_EQ(client_.ReadReply(nullptr, reply), 0);
    EXPECT_EQ(reply, "untouched");
}

TEST_F(FormPoster, ReadLineTakesTheFirstLineOffTheText) {
    std::string line;
    std::string_view text = "first\nsecond\nthird";
    EXPECT_EQ(client_.ReadLine(line, text), "first");
    EXPECT_EQ(text, "second\nthird");

    text = "only";
    EXPECT_EQ(client_.ReadLine(line, text), "only");
    EXPECT_EQ(text, "");
    EXPECT_EQ(client_.ReadLine(line, text), "");

    // A CR LF line end is one line end.
    text = "crlf\r\nrest";
    EXPECT_EQ(client_.ReadLine(line, text), "crlf");
    EXPECT_EQ(line, "crlf");
    EXPECT_EQ(text, "rest");
}

}  // namespace
