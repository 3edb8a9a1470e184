// The service client: requests, replies, cache and messages against the scripted peer, with
// the settings in a sandboxed registry and the modal steps answered by a script.
// The test peer needs winsock2.h ahead of windows.h.
#include <winsock2.h>

#include "plugin/client/tavrello.h"

#include "common/settings.h"
#include "tests/plugin/client/client_fixture.h"
#include "tests/support/http_peer.h"
#include "tests/support/service_wire.h"
#include "tests/support/registry_sandbox.h"
#include "tests/support/settings_paths.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using client_testing::UiCall;
using client_testing::UiScript;
using testing_support::DecodeForm;
using testing_support::HttpPeer;
using testing_support::kAddUrlPath;
using testing_support::kCategoriesPath;
using testing_support::kWebPagePath;
using testing_support::Ok;
using testing_support::ScriptedReply;

namespace {

ScriptedReply Reply(int status, const std::string& body) {
    ScriptedReply reply;
    reply.status = status;
    reply.body = body;
    return reply;
}

void StoreSetting(const char* name, const std::string& value) {
    common::WriteRegistryString(HKEY_CURRENT_USER, testing_support::kSettingsPath, name,
                                value.c_str());
}

// What the Retry question adds when the service answered the add.
constexpr char kMayBeStored[] = "\n\nThe page may already be stored, so Retry may store it twice.";

UiCall Message(const std::string& text, const char* caption) {
    return {"message", text, caption};
}
UiCall Retry(const std::string& text) {
    return {"retry", text, "Error"};
}
UiCall Options() {
    return {"options", "", ""};
}
UiCall Open(const std::string& url) {
    return {"open", url, ""};
}

class ServiceClient : public ::testing::Test {
protected:
    void SetUp() override {
        StoreSetting("email", "ann@example.com");
        StoreSetting("password", "secret");
        StoreSetting("Tavrello", peer_.BaseUrl());
    }

    plugin::CTavrello& Client() {
        if (!client_)
            client_ = std::make_unique<plugin::CTavrello>(
                std::make_unique<client_testing::ScriptedUi>(script_));
        return *client_;
    }

    // The options dialog's OK: it stores what the user typed, then ends with OK.
    std::function<bool()> OptionsOk(const std::string& email, const std::string& password) {
        return [email, password] {
            StoreSetting("email", email);
            StoreSetting("password", password);
            return true;
        };
    }

    // The add-favorite dialog's OK with what the user picked.
    void ConfirmAdd(const std::string& description, const std::string& url, int id) {
        script_.addAnswers.push_back([=](plugin::AddFavoriteChoice& choice) {
            choice.description = description;
            choice.pageUrl = url;
            choice.selectedId = id;
            return true;
        });
    }

    testing_support::RegistrySandbox sandbox_;
    HttpPeer peer_;
    UiScript script_;
    std::unique_ptr<plugin::CTavrello> client_;
};

TEST_F(ServiceClient, ConstructionPublishesTheClientAndLoadsTheSettings) {
    EXPECT_EQ(plugin::CTavrello::Current(), nullptr);
    plugin::CTavrello& client = Client();
    EXPECT_EQ(plugin::CTavrello::Current(), &client);
    EXPECT_EQ(client.email, "ann@example.com");
    EXPECT_EQ(client.password, "secret");
    EXPECT_EQ(client.baseUrl, peer_.BaseUrl());
    EXPECT_TRUE(client.categoryLines.empty());
    EXPECT_EQ(client.lastError, "");
    client_.reset();
    EXPECT_EQ(plugin::CTavrello::Current(), nullptr);
}

TEST_F(ServiceClient, MissingSettingsLoadAsEmptyTexts) {
    testing_support::RegistrySandbox empty;
    plugin::CTavrello client(std::make_unique<client_testing::ScriptedUi>(script_));
    EXPECT_EQ(client.email, "");
    EXPECT_EQ(client.password, "");
    EXPECT_EQ(client.baseUrl, "");
}

#if defined(__GNUC__)
// Under the Itanium C++ ABI of our compilers a pointer to a virtual member function holds one
// plus the function's byte offset in the virtual table.
template <typename MemberFunction>
std::ptrdiff_t VirtualSlot(MemberFunction member) {
    struct Representation {
        std::uintptr_t pointer;
        std::ptrdiff_t adjustment;
    };
    static_assert(sizeof(MemberFunction) == sizeof(Representation), "unexpected member layout");
    Representation representation;
    std::memcpy(&representation, &member, sizeof representation);
    EXPECT_EQ(representation.pointer & 1u, 1u) << "not a virtual function";
    return static_cast<std::ptrdiff_t>((representation.pointer - 1) / sizeof(void*));
}

TEST(ServiceClientLayout, VirtualOperationsKeepTheirSlotOrderWithTheDestructorSixth) {
    const std::ptrdiff_t slots[] = {
        VirtualSlot(&plugin::CTavrello::PostForm),
        VirtualSlot(&plugin::CTavrello::QueryInfo),
        VirtualSlot(&plugin::CTavrello::ReadReply),
        VirtualSlot(&plugin::CTavrello::ReadLine),
        VirtualSlot(&plugin::CTavrello::FetchCategories),
        VirtualSlot(&plugin::CTavrello::AddPage),
        VirtualSlot(&plugin::CTavrello::CreateCategory),
        VirtualSlot(&plugin::CTavrello::EditOptions),
        VirtualSlot(&plugin::CTavrello::RefreshCategories),
        VirtualSlot(&plugin::CTavrello::OpenWebPage),
        VirtualSlot(&plugin::CTavrello::OpenHelp),
        VirtualSlot(&plugin::CTavrello::CopyCategories),
    };
    // This ABI gives the destructor two entries (complete and deleting) between the fetch and
    // the add.
    constexpr std::ptrdiff_t kDestructorEntries = 2;
    for (std::ptrdiff_t i = 0; i < 12; ++i) {
        const std::ptrdiff_t expected = i < 5 ? i : i + kDestructorEntries;
        EXPECT_EQ(slots[i], expected) << "operation " << i;
    }
}
#endif

TEST_F(ServiceClient, CategoryRequestBodyAndAddress) {
    StoreSetting("password", "p%+=&\xE6");
    peer_.Route(kCategoriesPath, Ok("200 OK\n12 Work\n"));
    EXPECT_EQ(Client().FetchCategories(), 1);
    const auto requests = peer_.RequestsTo(kCategoriesPath);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].requestLine, "POST /plugin/getcatagories.php HTTP/1.0");
    EXPECT_EQ(requests[0].body, "email=ann%40example.com&password=p%25%2B%3D%26%E6&version=1.05");
    const auto fields = DecodeForm(requests[0].body);
    EXPECT_EQ(fields.at("email"), "ann@example.com");
    EXPECT_EQ(fields.at("password"), "p%+=&\xE6");
    EXPECT_EQ(fields.at("version"), "1.05");
}

struct FetchCase {
    const char* name;
    std::string reply;
    int result;
    std::vector<std::string> lines;
    std::vector<UiCall> calls;
};

TEST_F(ServiceClient, CategoryRepliesFillTheCacheOrShowTheirMessages) {
    const std::string page = "http://127.0.0.1:1/news.htm";
    const FetchCase cases[] = {
        {"two categories", "200 OK\n12 Work\n7 Fun\n", 1, {"12 Work", "7 Fun"}, {}},
        {"empty lines in the middle kept, final line feed no line",
         "200 OK\n1 A\n\n2 B\n",
         1,
         {"1 A", "", "2 B"},
         {}},
        {"CRLF lines read as LF lines", "200 OK\r\n1 A\r\n-4 B c\r\n", 1, {"1 A", "-4 B c"}, {}},
        {"status only: success with nothing cached", "200 OK\n", 1, {}, {}},
        {"notice with page",
         "201 Read the news\n" + page + "\nGO\n3 C\n",
         1,
         {"3 C"},
         {Message("Read the news", "Tavrello"), Open(page)}},
        {"notice with empty page",
         "201 Hello\n\nGO\n3 C\n",
         1,
         {"3 C"},
         {Message("Hello", "Tavrello")}},
        {"notice with STOP",
         "201 Account closed\n" + page + "\nSTOP\n3 C\n",
         0,
         {},
         {Message("Account closed", "Tavrello"), Open(page)}},
        {"notice with STOP and CR LF stops",
         "201 N\r\n" + page + "\r\nSTOP\r\n3 C\r\n",
         0,
         {},
         {Message("N", "Tavrello"), Open(page)}},
        {"notice with CR LF goes on past another control line",
         "201 N\r\n\r\nGO\r\n3 C\r\n\r\n4 D\r\n",
         1,
         {"3 C", "", "4 D"},
         {Message("N", "Tavrello")}},
        {"status line beginning with a blank",
         " 201 odd\n\nGO\n",
         1,
         {},
         {Message(" 201 odd", "Tavrello")}},
        {"500 fails without retry",
         "500 Service down\n1 A\n",
         0,
         {},
         {Message("Service down", "Tavrello Error")}},
        {"first line without digits fails without retry",
         "<html> page\n1 A\n",
         0,
         {},
         {Message("page", "Tavrello Error")}},
    };
    for (const auto& c : cases) {
        script_.calls.clear();
        peer_.Queue(kCategoriesPath, Ok(c.reply));
        plugin::CTavrello& client = Client();
        client.categoryLines.clear();
        const size_t before = peer_.RequestCount();
        EXPECT_EQ(client.FetchCategories(), c.result) << c.name;
        EXPECT_EQ(peer_.RequestCount(), before + 1) << c.name;
        EXPECT_EQ(client.categoryLines, c.lines) << c.name;
        EXPECT_EQ(script_.calls, c.calls) << c.name;
    }
}

TEST_F(ServiceClient, CachedListServesTheSecondAddWithoutARequest) {
    peer_.Route(kCategoriesPath, Ok("200 OK\n12 Work\n7 Fun\n"));
    Client().AddPage("Title", "http://page/");
    Client().AddPage("Title 2", "http://page/2");
    EXPECT_EQ(peer_.RequestsTo(kCategoriesPath).size(), 1u);
    ASSERT_EQ(script_.addPresets.size(), 2u);
    EXPECT_EQ(script_.addPresets[1].description, "Title 2");
    EXPECT_EQ(script_.addPresets[1].pageUrl, "http://page/2");
    std::vector<std::string> copy = {"stale"};
    EXPECT_EQ(Client().CopyCategories(copy), (std::vector<std::string>{"12 Work", "7 Fun"}));
    EXPECT_EQ(copy, (std::vector<std::string>{"12 Work", "7 Fun"}));
}

TEST_F(ServiceClient, EmptyListIsAskedForAgainOnTheNextAdd) {
    peer_.Route(kCategoriesPath, Ok("200 OK\n"));
    Client().AddPage("T", "http://p/");
    Client().AddPage("T", "http://p/");
    EXPECT_EQ(peer_.RequestsTo(kCategoriesPath).size(), 2u);
    EXPECT_EQ(script_.CallsOf("add").size(), 2u) << "an empty list still opens the dialog";
}

TEST_F(ServiceClient, RefusalAsksForCredentialsAndRetriesWithTheReloadedSettings) {
    peer_.Queue(kCategoriesPath, Reply(200, "403 Wrong password\n"));
    peer_.Route(kCategoriesPath, Ok("200 OK\n5 Five\n"));
    script_.optionsAnswers.push_back(OptionsOk("bob@example.com", "new pass"));
    EXPECT_EQ(Client().FetchCategories(), 1);
    EXPECT_EQ(script_.calls,
              (std::vector<UiCall>{Message("Wrong password", "Tavrello Error"), Options()}));
    const auto requests = peer_.RequestsTo(kCategoriesPath);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(DecodeForm(requests[1].body).at("email"), "bob@example.com");
    EXPECT_EQ(DecodeForm(requests[1].body).at("password"), "new pass");
    EXPECT_EQ(Client().categoryLines, std::vector<std::string>{"5 Five"});
}

TEST_F(ServiceClient, RefusalThenCancelledOptionsEndsWithFailureAndForgetsCredentials) {
    peer_.Route(kCategoriesPath, Ok("401 Who are you\n"));
    EXPECT_EQ(Client().FetchCategories(), 0);
    EXPECT_EQ(script_.calls,
              (std::vector<UiCall>{Message("Who are you", "Tavrello Error"), Options()}));
    EXPECT_EQ(peer_.RequestCount(), 1u);
    EXPECT_EQ(Client().email, "");
    EXPECT_EQ(Client().password, "");
    EXPECT_EQ(testing_support::ReadText(HKEY_CURRENT_USER, "Software\\Orvek\\Tavrello", "email"),
              "ann@example.com")
        << "the stored settings stay";
}

TEST_F(ServiceClient, EmptyEmailRunsTheOptionsDialogBeforeAnyRequest) {
    StoreSetting("email", "");
    Client().AddPage("T", "http://p/");
    EXPECT_EQ(script_.calls, std::vector<UiCall>{Options()});
    EXPECT_EQ(peer_.RequestCount(), 0u);

    script_.calls.clear();
    script_.optionsAnswers.push_back(OptionsOk("", "x"));
    script_.optionsAnswers.push_back(OptionsOk("cy@example.com", "pw"));
    peer_.Route(kCategoriesPath, Ok("200 OK\n1 A\n"));
    EXPECT_EQ(Client().FetchCategories(), 1);
    EXPECT_EQ(script_.calls, (std::vector<UiCall>{Options(), Options()}));
    ASSERT_EQ(peer_.RequestCount(), 1u);
    EXPECT_EQ(DecodeForm(peer_.Requests()[0].body).at("email"), "cy@example.com");
}

TEST_F(ServiceClient, CategoryFailuresSayWhatHappened) {
    client_testing::RefusingPort refusing;
    ScriptedReply garbage;
    garbage.raw = "HTTP/1.0 abc Weird\r\nContent-Length: 0\r\n\r\n";
    ScriptedReply cut = Ok("200 OK\n1 A\n2 B\n");
    cut.closeAfterBodyBytes = 5;
    const struct {
        const char* name;
        std::string baseUrl;
        std::optional<ScriptedReply> reply;  // none when no request reaches the peer
        std::string text;
        bool sendFailure;
    } cases[] = {
        {"send failure", refusing.BaseUrl(), {}, client_testing::WinInetText(12029), true},
        {"HTTP status", peer_.BaseUrl(), Reply(500, ""),
         "The service answered with HTTP status 500.", false},
        {"unreadable status", peer_.BaseUrl(), garbage,
         "The service's answer carried no readable HTTP status.", false},
        {"body cut short", peer_.BaseUrl(), cut, "The service's reply ended after 5 of 15 bytes.",
         false},
        {"no base URL",
         "",
         {},
         "\"plugin/getcatagories.php\" is not a usable service address.",
         false},
    };
    for (const auto& c : cases) {
        script_.calls.clear();
        plugin::CTavrello& client = Client();
        client.baseUrl = c.baseUrl;
        client.lastError = c.sendFailure ? "" : "stale text";
        if (c.reply) peer_.Queue(kCategoriesPath, *c.reply);
        EXPECT_EQ(client.FetchCategories(), 0) << c.name;
        ASSERT_EQ(script_.calls.size(), 1u) << c.name;
        EXPECT_EQ(script_.calls[0].kind, "message") << c.name;
        EXPECT_EQ(script_.calls[0].caption, "Error") << c.name;
        EXPECT_EQ(script_.calls[0].text, c.text) << c.name;
        if (c.sendFailure) {
            EXPECT_EQ(client.lastError, c.text) << c.name;
        } else {
            EXPECT_NE(script_.calls[0].text, "stale text") << c.name;
            EXPECT_EQ(client.lastError, "stale text") << "only a failed send writes lastError";
        }
    }
}

TEST_F(ServiceClient, AddSendsWhatTheUserConfirmedFormEncoded) {
    StoreSetting("email", "\xF8le@example.com");
    StoreSetting("password", "p%+=");
    peer_.Route(kCategoriesPath, Ok("200 OK\n12 Work\n"));
    peer_.Route(kAddUrlPath, Ok("OK"));
    ConfirmAdd("Tom & Jerry", "http://x/?a=1&b=2", 12);
    Client().AddPage("Page title", "http://x/");
    ASSERT_EQ(script_.addPresets.size(), 1u);
    EXPECT_EQ(script_.addPresets[0].description, "Page title");
    EXPECT_EQ(script_.addPresets[0].pageUrl, "http://x/");
    const auto adds = peer_.RequestsTo(kAddUrlPath);
    ASSERT_EQ(adds.size(), 1u);
    EXPECT_EQ(adds[0].body,
              "email=%F8le%40example.com&password=p%25%2B%3D&name=Tom+%26+Jerry"
              "&url=http%3A%2F%2Fx%2F%3Fa%3D1%26b%3D2&parent=12");
    const auto fields = DecodeForm(adds[0].body);
    EXPECT_EQ(fields.at("email"), "\xF8le@example.com");
    EXPECT_EQ(fields.at("password"), "p%+=");
    EXPECT_EQ(fields.at("name"), "Tom & Jerry");
    EXPECT_EQ(fields.at("url"), "http://x/?a=1&b=2");
    EXPECT_EQ(fields.at("parent"), "12");
    EXPECT_EQ(script_.CallsOf("message").size(), 0u);
}

TEST_F(ServiceClient, AddRepliesOtherThanOkAreShown) {
    peer_.Route(kCategoriesPath, Ok("200 OK\n12 Work\n"));
    // The reply is a text that ends at its first NUL.
    using namespace std::string_literals;
    const struct {
        std::string reply;
        bool shown;
        const char* said = nullptr;  // when not the reply itself
    } cases[] = {{"OK", false},        {"OK\n", true},
                 {"ok", true},         {"Duplicate favorite", true},
                 {"", true},           {"OK\0"s, false},
                 {"OK\0junk"s, false}, {"Duplicate\0 favorite"s, true, "Duplicate"}};
    for (const auto& c : cases) {
        script_.calls.clear();
        peer_.Queue(kAddUrlPath, Ok(c.reply));
        ConfirmAdd("D", "http://u/", -10);
        Client().AddPage("T", "http://u/");
        const auto messages = script_.CallsOf("message");
        if (c.shown) {
            EXPECT_EQ(messages, std::vector<UiCall>{Message(c.said ? c.said : c.reply, "Tavrello")})
                << c.reply;
        } else {
            EXPECT_TRUE(messages.empty()) << c.reply;
        }
    }
    EXPECT_EQ(DecodeForm(peer_.RequestsTo(kAddUrlPath).back().body).at("parent"), "-10");
}

TEST_F(ServiceClient, CancelledAddDialogSendsNothing) {
    peer_.Route(kCategoriesPath, Ok("200 OK\n12 Work\n"));
    Client().AddPage("T", "http://u/");
    EXPECT_EQ(peer_.RequestsTo(kAddUrlPath).size(), 0u);
    EXPECT_TRUE(script_.CallsOf("message").empty());
}

TEST_F(ServiceClient, FailedFetchShowsNoAddDialog) {
    peer_.Route(kCategoriesPath, Ok("500 down\n"));
    Client().AddPage("T", "http://u/");
    EXPECT_TRUE(script_.CallsOf("add").empty());
}

// A failed add asks whether to send it again, and a retry sends the same request. An add that was
// answered, however unusably, may have been stored already: the question says so. Where nothing
// was answered, the failure alone is asked about, and Cancel ends the add with it.
TEST_F(ServiceClient, FailedAddAsksToRetryAndSaysWhenThePageMayAlreadyBeStored) {
    ScriptedReply cut = Ok("OK and more");
    cut.closeAfterBodyBytes = 2;
    const std::string stored = kMayBeStored;
    const std::string refused = client_testing::WinInetText(12029);
    const struct {
        const char* name;
        std::vector<ScriptedReply> replies;  // one per request; none: the connection is refused
        std::deque<bool> retries;
        std::vector<std::string> questions;
    } cases[] = {
        {"retried twice",
         {Reply(500, "oops"), Reply(503, ""), Ok("OK")},
         {true, true},
         {"The service answered with HTTP status 500." + stored,
          "The service answered with HTTP status 503." + stored}},
        {"HTTP status 502",
         {Reply(502, "Bad gateway")},
         {},
         {"The service answered with HTTP status 502." + stored}},
        {"body cut short", {cut}, {}, {"The service's reply ended after 2 of 11 bytes." + stored}},
        {"connection refused", {}, {}, {refused}},
    };
    peer_.Route(kCategoriesPath, Ok("200 OK\n12 Work\n"));
    Client().FetchCategories();
    client_testing::RefusingPort refusingPort;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        script_.calls.clear();
        script_.retryAnswers = c.retries;
        Client().baseUrl = c.replies.empty() ? refusingPort.BaseUrl() : peer_.BaseUrl();
        for (const auto& reply : c.replies) peer_.Queue(kAddUrlPath, reply);
        const size_t before = peer_.RequestsTo(kAddUrlPath).size();
        ConfirmAdd("D", "http://u/", 12);
        Client().AddPage("T", "http://u/");
        std::vector<UiCall> asked;
        for (const auto& question : c.questions) asked.push_back(Retry(question));
        EXPECT_EQ(script_.CallsOf("retry"), asked);
        EXPECT_TRUE(script_.CallsOf("message").empty());
        const auto adds = peer_.RequestsTo(kAddUrlPath);
        ASSERT_EQ(adds.size() - before, c.replies.size());
        for (size_t i = before + 1; i < adds.size(); ++i)
            EXPECT_EQ(adds[i].body, adds[before].body);
        if (c.replies.empty()) {
            EXPECT_EQ(Client().lastError, refused);
        }
    }
}

TEST_F(ServiceClient, CreateCategoryPostsDashUnderHomeThenRefreshes) {
    peer_.Route(kCategoriesPath, Ok("200 OK\n12 Work\n"));
    peer_.Route(kAddUrlPath, Ok("OK"));
    Client().FetchCategories();
    Client().CreateCategory("Kids & Games");
    const auto adds = peer_.RequestsTo(kAddUrlPath);
    ASSERT_EQ(adds.size(), 1u);
    EXPECT_EQ(adds[0].body,
              "email=ann%40example.com&password=secret&name=Kids+%26+Games&url=-&parent=0");
    EXPECT_EQ(peer_.RequestsTo(kCategoriesPath).size(), 2u) << "the list is fetched again";
    EXPECT_TRUE(script_.calls.empty());
}

TEST_F(ServiceClient, CreateCategoryErrorReplyIsShownAndNothingRefreshed) {
    peer_.Route(kCategoriesPath, Ok("200 OK\n12 Work\n"));
    peer_.Route(kAddUrlPath, Ok("Name taken"));
    Client().FetchCategories();
    Client().CreateCategory("Work");
    EXPECT_EQ(script_.calls, std::vector<UiCall>{Message("Name taken", "Tavrello")});
    EXPECT_EQ(peer_.RequestsTo(kCategoriesPath).size(), 1u);
    EXPECT_EQ(Client().categoryLines, std::vector<std::string>{"12 Work"});
}

// A failed create is said once and the list is fetched again either way; a refresh that meets
// the same refusal does not say it a second time, and one that succeeds brings the new list.
TEST_F(ServiceClient, CreateCategoryFailureIsReportedOnceAndTheListRefreshed) {
    client_testing::RefusingPort refusing;
    ScriptedReply garbage;
    garbage.raw = "HTTP/1.0 abc Weird\r\nContent-Length: 0\r\n\r\n";
    const std::vector<std::string> both = {"12 Work", "13 New"};
    const struct {
        const char* name;
        std::optional<ScriptedReply> reply;  // none: the connection is refused
        bool backAfterMessage;               // the service is back once the message is read
        std::vector<UiCall> calls;
        std::vector<std::string> lines;
    } cases[] = {
        {"send failure", {}, false, {Message(client_testing::WinInetText(12029), "Error")}, {}},
        {"send failure, then the service is back",
         {},
         true,
         {Message(client_testing::WinInetText(12029), "Error")},
         both},
        {"status 500",
         Reply(500, "Name taken"),
         false,
         {Message("The service answered with HTTP status 500.", "Error")},
         both},
        {"status 404",
         Reply(404, ""),
         false,
         {Message("The service answered with HTTP status 404.", "Error")},
         both},
        {"unreadable status",
         garbage,
         false,
         {Message("The service's answer carried no readable HTTP status.", "Error")},
         both},
    };
    peer_.Route(kCategoriesPath, Ok("200 OK\n12 Work\n13 New\n"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        script_.calls.clear();
        plugin::CTavrello& client = Client();
        client.baseUrl = c.reply ? peer_.BaseUrl() : refusing.BaseUrl();
        script_.onMessage = [&] {
            if (c.backAfterMessage) client.baseUrl = peer_.BaseUrl();
        };
        if (c.reply) peer_.Queue(kAddUrlPath, *c.reply);
        const size_t fetchesBefore = peer_.RequestsTo(kCategoriesPath).size();
        client.CreateCategory("New");
        EXPECT_EQ(script_.calls, c.calls);
        EXPECT_EQ(client.categoryLines, c.lines);
        if (c.reply) {
            EXPECT_EQ(peer_.RequestsTo(kCategoriesPath).size(), fetchesBefore + 1) << "refreshed";
        }
    }
    script_.onMessage = nullptr;
}

TEST_F(ServiceClient, EditOptionsOkDropsTheCacheAndReloadsTheSettings) {
    peer_.Route(kCategoriesPath, Ok("200 OK\n12 Work\n"));
    Client().FetchCategories();
    StoreSetting("Tavrello", "http://127.0.0.1:9/other/");
    script_.optionsAnswers.push_back(OptionsOk("dan@example.com", "pw2"));
    EXPECT_EQ(Client().EditOptions(), 1);
    EXPECT_TRUE(Client().categoryLines.empty());
    EXPECT_EQ(Client().email, "dan@example.com");
    EXPECT_EQ(Client().password, "pw2");
    EXPECT_EQ(Client().baseUrl, "http://127.0.0.1:9/other/");
}

TEST_F(ServiceClient, EditOptionsCancelKeepsCacheAndFields) {
    peer_.Route(kCategoriesPath, Ok("200 OK\n12 Work\n"));
    Client().FetchCategories();
    StoreSetting("email", "changed@example.com");
    EXPECT_EQ(Client().EditOptions(), 0);
    EXPECT_EQ(Client().categoryLines, std::vector<std::string>{"12 Work"});
    EXPECT_EQ(Client().email, "ann@example.com");
}

TEST_F(ServiceClient, RefreshDropsTheCacheAndFetchesAgain) {
    peer_.Queue(kCategoriesPath, Ok("200 OK\n1 Old\n"));
    peer_.Queue(kCategoriesPath, Ok("200 OK\n2 New\n3 Newer\n"));
    Client().FetchCategories();
    EXPECT_EQ(Client().RefreshCategories(), 1);
    EXPECT_EQ(Client().categoryLines, (std::vector<std::string>{"2 New", "3 Newer"}));
    peer_.Queue(kCategoriesPath, Ok("500 down\n"));
    EXPECT_EQ(Client().RefreshCategories(), 0);
    EXPECT_TRUE(Client().categoryLines.empty());
}

TEST_F(ServiceClient, OpenWebPageOpensARepliedAddressBelowTheBaseUrl) {
    const std::string base = peer_.BaseUrl();
    const struct {
        const char* name;
        std::string reply;
        UiCall call;
    } cases[] = {
        {"address below the base URL", base + "user/ann", Open(base + "user/ann")},
        {"the base URL itself", base, Open(base)},
        {"one line feed ends the address", base + "user/ann\n", Open(base + "user/ann")},
        {"so does one CR LF", base + "user/ann\r\n", Open(base + "user/ann")},
        {"only one line end is dropped", base + "user/ann\n\n", Open(base + "user/ann\n")},
        {"letter case differs", "HTTP://127.0.0.1:" + std::to_string(peer_.Port()) + "/user",
         Message("HTTP://127.0.0.1:" + std::to_string(peer_.Port()) + "/user", "Tavrello")},
        {"error text", "Unknown user", Message("Unknown user", "Tavrello")},
        {"shorter than the base URL", "http", Message("http", "Tavrello")},
    };
    for (const auto& c : cases) {
        script_.calls.clear();
        peer_.Queue(kWebPagePath, Ok(c.reply));
        Client().OpenWebPage();
        EXPECT_EQ(script_.calls, std::vector<UiCall>{c.call}) << c.name;
    }
    EXPECT_EQ(peer_.RequestsTo(kWebPagePath).back().body,
              "email=ann%40example.com&password=secret");
}

TEST_F(ServiceClient, OpenWebPageTransportFailureIsShownAsAnError) {
    client_testing::RefusingPort refusing;
    Client().baseUrl = refusing.BaseUrl();
    Client().OpenWebPage();
    EXPECT_EQ(script_.calls,
              std::vector<UiCall>{Message(client_testing::WinInetText(12029), "Error")});
}

TEST_F(ServiceClient, OpenHelpOpensTheHelpPageWithoutARequest) {
    Client().OpenHelp();
    EXPECT_EQ(script_.calls, std::vector<UiCall>{Open(peer_.BaseUrl() + "help/plugin.htm")});
    EXPECT_EQ(peer_.RequestCount(), 0u);
}

}  // namespace
