// The three form requests of the browser plug-in, sent over HTTP to a running service.
#include "tests/service/running_service.h"

#include "tools/service/demo_account.h"
#include "tools/service/store.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <thread>
#include <vector>

using service_testing::Credentials;
using service_testing::RunningService;
using service_testing::ScratchFolder;

namespace {

constexpr const char kCategories[] = "/plugin/getcatagories.php";
constexpr const char kAddUrl[] = "/plugin/addurl.php";
constexpr const char kWebPage[] = "/plugin/getwebpage.php";

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

struct CategoryLine {
    long long id;
    std::string name;
};

class PluginRequests : public ::testing::Test {
protected:
    PluginRequests() : database_(folder_.path() + "/favorites.db") {}

    RunningService& Service(service::ServiceOptions options = service::ServiceOptions()) {
        if (!service_) service_ = std::make_unique<RunningService>(database_, options);
        return *service_;
    }

    static std::string Demo() { return Credentials(service::kDemoEmail, service::kDemoPassword); }

    // The status line and the parsed category lines of a category reply.
    std::string FetchCategories(const std::string& credentials,
                                std::vector<CategoryLine>* categories = nullptr) {
        const std::string reply = Service().PluginReply(kCategories, credentials + "&version=1.05");
        const auto lines = Lines(reply);
        if (lines.empty()) return std::string();
        if (categories) {
            categories->clear();
            for (size_t i = 1; i < lines.size(); ++i) {
                const size_t blank = lines[i].find(' ');
                EXPECT_NE(blank, std::string::npos) << lines[i];
                categories->push_back(
                    {std::stoll(lines[i].substr(0, blank)), lines[i].substr(blank + 1)});
            }
        }
        return lines[0];
    }

    std::optional<long long> CategoryId(const std::string& name) {
        std::vector<CategoryLine> categories;
        FetchCategories(Demo(), &categories);
        for (const auto& category : categories) {
            if (category.name == name) return category.id;
        }
        return std::nullopt;
    }

    std::string Add(const std::string& credentials, const std::string& encodedName,
                    const std::string& encodedUrl, const std::string& parent) {
        return Service().PluginReply(kAddUrl, credentials + "&name=" + encodedName +
                                                  "&url=" + encodedUrl + "&parent=" + parent);
    }

    // What the database file holds, once the service has created it.
    std::vector<service::Favorite> StoredFavorites(const std::string& email) {
        Service();
        std::string error;
        auto store = service::Store::Open(database_, error);
        EXPECT_TRUE(store) << error;
        const auto account = store->FindAccount(email);
        EXPECT_TRUE(account.has_value());
        return account ? store->Favorites(account->id) : std::vector<service::Favorite>();
    }

    size_t StoredCategoryCount(const std::string& email) {
        Service();
        std::string error;
        auto store = service::Store::Open(database_, error);
        const auto account = store->FindAccount(email);
        return account ? store->Categories(account->id).size() : 0;
    }

    ScratchFolder folder_;
    std::string database_;
    std::unique_ptr<RunningService> service_;
};

TEST_F(PluginRequests, DemoAccountGetsStatusLineThenItsCategoriesInCreationOrder) {
    std::vector<CategoryLine> categories;
    EXPECT_EQ(FetchCategories(Demo(), &categories), "200 OK");
    ASSERT_EQ(categories.size(), 2u);
    EXPECT_EQ(categories[0].name, "News");
    EXPECT_EQ(categories[1].name, "Reference");
    EXPECT_GT(categories[0].id, 0);
    EXPECT_GT(categories[1].id, categories[0].id);
    const std::string reply = Service().PluginReply(kCategories, Demo() + "&version=1.05");
    EXPECT_EQ(reply.find('\r'), std::string::npos) << "lines end in a line feed only";
    EXPECT_EQ(reply.back(), '\n');
}

TEST_F(PluginRequests, RefusedCredentialsGiveA4xxStatusLineAndNoCategories) {
    struct Case {
        const char* what;
        std::string body;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"wrong password", Credentials(service::kDemoEmail, "not-the-password"),
         "403 Wrong e-mail address or password\n"},
        {"unknown account", Credentials("nobody@tavrello.test", service::kDemoPassword),
         "403 Wrong e-mail address or password\n"},
        {"empty password", Credentials(service::kDemoEmail, ""),
         "403 Wrong e-mail address or password\n"},
        {"no email field", "password=tavrello-demo", "400 Missing field: email\n"},
        {"empty email", Credentials("", service::kDemoPassword), "400 Missing field: email\n"},
        {"no password field", "email=demo%40tavrello.test", "400 Missing field: password\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Service().PluginReply(kCategories, c.body + "&version=1.05"), c.expected)
            << c.what;
    }
}

TEST_F(PluginRequests, EmailAddressIsMatchedWithoutRegardToCase) {
    EXPECT_EQ(FetchCategories(Credentials("Demo@Tavrello.TEST", service::kDemoPassword)), "200 OK");
}

TEST_F(PluginRequests, CreatedCategoryAppearsInTheNextList) {
    EXPECT_EQ(Add(Demo(), "Recipes", "-", "0"), "OK");
    std::vector<CategoryLine> categories;
    FetchCategories(Demo(), &categories);
    ASSERT_EQ(categories.size(), 3u);
    EXPECT_EQ(categories.back().name, "Recipes");
    EXPECT_GT(categories.back().id, categories[1].id);
}

TEST_F(PluginRequests, CategoryCreationRefusesBadNamesAndStoresNothing) {
    struct Case {
        const char* what;
        std::string name;
        std::string parent;
        std::string expectedStart;
    };
    const std::vector<Case> cases = {
        {"below another category", "Sub", "-1", "Categories can only be created at the top"},
        {"empty name", "", "0", "The category name is empty"},
        {"blank name", "+++", "0", "The category name is empty"},
        {"line feed in the name", "Two%0ALines", "0", "The category name must be one line"},
        {"duplicate name", "News", "0", "There is already a category named News"},
        {"name too long", std::string(201, 'x'), "0", "The category name is too long"},
    };
    for (const auto& c : cases) {
        const std::string reply = Add(Demo(), c.name, "-", c.parent);
        EXPECT_EQ(reply.rfind(c.expectedStart, 0), 0u) << c.what << ": " << reply;
    }
    Service().Stop();
    EXPECT_EQ(StoredCategoryCount(service::kDemoEmail), 2u);
}

TEST_F(PluginRequests, FavoriteIsStoredUnderEachFixedParentAndUnderOwnCategory) {
    const auto news = CategoryId("News");
    ASSERT_TRUE(news.has_value());
    struct Case {
        long long parent;
        const char* name;
    };
    const std::vector<Case> cases = {
        {-1, "Uncategorised"}, {0, "At home"}, {-10, "Private"}, {*news, "In news"}};
    const size_t before = StoredFavorites(service::kDemoEmail).size();
    for (const auto& c : cases) {
        EXPECT_EQ(Add(Demo(), c.name, "https%3A%2F%2Fexample.com%2F" + std::string(c.name),
                      std::to_string(c.parent)),
                  "OK")
            << c.parent;
    }
    const auto favorites = StoredFavorites(service::kDemoEmail);
    ASSERT_EQ(favorites.size(), before + cases.size());
    for (size_t i = 0; i < cases.size(); ++i) {
        const auto& stored = favorites[before + i];
        EXPECT_EQ(stored.parent, cases[i].parent);
        EXPECT_EQ(stored.name, cases[i].name);
        EXPECT_EQ(stored.url, "https://example.com/" + std::string(cases[i].name));
    }
}

TEST_F(PluginRequests, ParentThatIsNotTheUsersOwnIsRefusedAndNothingIsStored) {
    service_testing::CreateAccount(database_, "other@tavrello.test", "other-secret");
    const std::string other = Credentials("other@tavrello.test", "other-secret");
    ASSERT_EQ(Add(other, "Mine", "-", "0"), "OK");
    std::vector<CategoryLine> otherCategories;
    FetchCategories(other, &otherCategories);
    ASSERT_EQ(otherCategories.size(), 1u);
    const std::string foreign = std::to_string(otherCategories[0].id);

    const size_t before = StoredFavorites(service::kDemoEmail).size();
    struct Case {
        std::string parent;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {foreign, "There is no category " + foreign + " in your favorites"},
        {"999999", "There is no category 999999 in your favorites"},
        {"-2", "There is no category -2 in your favorites"},
        {"abc", "The category id is not a number: abc"},
        {"", "The category id is not a number: "},
        {"12x", "The category id is not a number: 12x"},
        {"99999999999999999999", "The category id is not a number: 99999999999999999999"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Add(Demo(), "Sneaky", "https%3A%2F%2Fexample.com%2F", c.parent), c.expected);
    }
    EXPECT_EQ(StoredFavorites(service::kDemoEmail).size(), before);
    EXPECT_TRUE(StoredFavorites("other@tavrello.test").empty());
}

TEST_F(PluginRequests, MissingOrBadFieldsGetAClearReplyAndChangeNothing) {
    const std::string demo = Demo();
    struct Case {
        std::string body;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {demo + "&url=https%3A%2F%2Fa.example%2F&parent=0", "Missing field: name"},
        {demo + "&name=A&parent=0", "Missing field: url"},
        {demo + "&name=A&url=https%3A%2F%2Fa.example%2F", "Missing field: parent"},
        {"password=tavrello-demo&name=A&url=x&parent=0", "Missing field: email"},
        {"email=demo%40tavrello.test&name=A&url=x&parent=0", "Missing field: password"},
        {Credentials(service::kDemoEmail, "wrong") + "&name=A&url=x&parent=0",
         "Wrong e-mail address or password"},
        {demo + "&name=A&url=&parent=0", "The address is empty"},
        {demo + "&name=A&url=https%3A%2F%2Fa.example%2F%0D%0Ax&parent=0",
         "The address must be one line of text"},
        {demo + "&name=A%0AB&url=https%3A%2F%2Fa.example%2F&parent=0",
         "The description must be one line of text"},
        {demo + "&name=" + std::string(1001, 'n') + "&url=https%3A%2F%2Fa.example%2F&parent=0",
         "The description is too long"},
        {demo + "&name=A&url=" + std::string(4001, 'u') + "&parent=0", "The address is too long"},
    };
    const size_t before = StoredFavorites(service::kDemoEmail).size();
    for (const auto& c : cases) {
        EXPECT_EQ(Service().PluginReply(kAddUrl, c.body), c.expected) << c.body.substr(0, 120);
    }
    EXPECT_EQ(StoredFavorites(service::kDemoEmail).size(), before);
}

TEST_F(PluginRequests, OversizedBodiesAreRefusedBeforeAnythingIsStored) {
    const size_t before = StoredFavorites(service::kDemoEmail).size();
    for (const size_t size : {size_t(10 * 1024), size_t(70 * 1024)}) {
        const std::string body =
            Demo() + "&url=https%3A%2F%2Fa.example%2F&parent=0&name=" + std::string(size, 'a');
        const auto result = Service().PostForm(kAddUrl, body);
        ASSERT_TRUE(result) << size;
        EXPECT_EQ(result->status, 413) << size;
        EXPECT_EQ(result->body, "The request is too large") << size;
    }
    EXPECT_EQ(StoredFavorites(service::kDemoEmail).size(), before);
}

TEST_F(PluginRequests, BodyThatIsNotAFormIsRefused) {
    const size_t before = StoredFavorites(service::kDemoEmail).size();
    const std::string body = Demo() + "&name=A&url=https%3A%2F%2Fa.example%2F&parent=0";
    for (const char* type : {"text/plain", "application/json", "text/xml"}) {
        const auto result = Service().PostForm(kAddUrl, body, type);
        ASSERT_TRUE(result);
        EXPECT_EQ(result->status, 415) << type;
    }
    const auto badCharset =
        Service().PostForm(kAddUrl, body, "application/x-www-form-urlencoded; charset=koi8-r");
    ASSERT_TRUE(badCharset);
    EXPECT_EQ(badCharset->status, 400);
    EXPECT_EQ(StoredFavorites(service::kDemoEmail).size(), before);
}

TEST_F(PluginRequests, FormValuesAreDecodedInTheDeclaredCharset) {
    struct Case {
        const char* contentType;
        std::string encodedName;
        std::string storedName;  // UTF-8
    };
    const std::string form = "application/x-www-form-urlencoded";
    const std::vector<Case> cases = {
        {"application/x-www-form-urlencoded", "Tom+%26+Jerry", "Tom & Jerry"},
        {"application/x-www-form-urlencoded", "a%3Db%2Bc+%25", "a=b+c %"},
        {"application/x-www-form-urlencoded", "100%+sure", "100% sure"},
        {"application/x-www-form-urlencoded", "%C6blegr%F8d",
         "\xC3\x86"
         "blegr\xC3\xB8"
         "d"},
        {"application/x-www-form-urlencoded", "%80uro",
         "\xE2\x82\xAC"
         "uro"},
        {"application/x-www-form-urlencoded; charset=UTF-8", "%C3%86bler",
         "\xC3\x86"
         "bler"},
        {"application/x-www-form-urlencoded; charset=\"iso-8859-1\"", "Gr%FCn",
         "Gr\xC3\xBC"
         "n"},
    };
    for (const auto& c : cases) {
        const auto result = Service().PostForm(
            kAddUrl, Demo() + "&name=" + c.encodedName + "&url=-&parent=0", c.contentType);
        ASSERT_TRUE(result);
        EXPECT_EQ(result->body, "OK") << c.encodedName;
    }
    Service().Stop();
    std::string error;
    auto store = service::Store::Open(database_, error);
    const auto account = store->FindAccount(service::kDemoEmail);
    const auto categories = store->Categories(account->id);
    ASSERT_EQ(categories.size(), 2 + cases.size());
    for (size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(categories[2 + i].name, cases[i].storedName) << cases[i].encodedName;
    }
}

TEST_F(PluginRequests, CategoryReplyTravelsInTheCharsetOfTheRequest) {
    ASSERT_EQ(Add(Demo(), "%C6blegr%F8d+%80", "-", "0"), "OK");
    const std::string body = Demo() + "&version=1.05";
    const auto ansi = Service().PostForm(kCategories, body);
    ASSERT_TRUE(ansi);
    EXPECT_EQ(ansi->get_header_value("Content-Type"), "text/plain; charset=windows-1252");
    EXPECT_NE(ansi->body.find(" \xC6"
                              "blegr\xF8"
                              "d \x80\n"),
              std::string::npos)
        << ansi->body;
    const auto utf8 =
        Service().PostForm(kCategories, body, "application/x-www-form-urlencoded; charset=utf-8");
    ASSERT_TRUE(utf8);
    EXPECT_NE(utf8->body.find(" \xC3\x86"
                              "blegr\xC3\xB8"
                              "d \xE2\x82\xAC\n"),
              std::string::npos);
}

TEST_F(PluginRequests, DataSurvivesARestart) {
    ASSERT_EQ(Add(Demo(), "Kept", "-", "0"), "OK");
    const auto kept = CategoryId("Kept");
    ASSERT_TRUE(kept.has_value());
    ASSERT_EQ(Add(Demo(), "Kept+page", "https%3A%2F%2Fkept.example%2F", std::to_string(*kept)),
              "OK");
    Service().Stop();
    Service().Start();
    EXPECT_EQ(CategoryId("Kept"), kept);
    const auto favorites = StoredFavorites(service::kDemoEmail);
    ASSERT_FALSE(favorites.empty());
    EXPECT_EQ(favorites.back().name, "Kept page");
    EXPECT_EQ(favorites.back().parent, *kept);
    EXPECT_EQ(StoredCategoryCount(service::kDemoEmail), 3u) << "the demo account is not re-seeded";
}

TEST_F(PluginRequests, PasswordsAreStoredOnlyAsSaltedHashes) {
    service_testing::CreateAccount(database_, "twin1@tavrello.test", "same-secret-123");
    service_testing::CreateAccount(database_, "twin2@tavrello.test", "same-secret-123");
    EXPECT_EQ(FetchCategories(Credentials("twin1@tavrello.test", "same-secret-123")), "200 OK");
    Service().Stop();
    const std::string file = service_testing::ReadWholeFile(database_);
    ASSERT_FALSE(file.empty());
    EXPECT_EQ(file.find(service::kDemoPassword), std::string::npos);
    EXPECT_EQ(file.find("same-secret-123"), std::string::npos);
    std::string error;
    auto store = service::Store::Open(database_, error);
    const auto first = store->FindAccount("twin1@tavrello.test");
    const auto second = store->FindAccount("twin2@tavrello.test");
    EXPECT_EQ(first->passwordHash.rfind("$argon2id$", 0), 0u) << first->passwordHash;
    EXPECT_NE(first->passwordHash, second->passwordHash) << "each hash has its own salt";
}

TEST_F(PluginRequests, OwnWebPageIsTheBaseUrlFollowedByTheUserPagePath) {
    const std::string reply = Service().PluginReply(kWebPage, Demo());
    EXPECT_EQ(reply.rfind(Service().baseUrl(), 0), 0u) << reply;
    EXPECT_EQ(reply, Service().baseUrl() + "plugin/zephlist.php?email=demo%40tavrello.test");
    EXPECT_EQ(Service().baseUrl(), "http://127.0.0.1:" + std::to_string(Service().port()) + "/");
    const std::string refused =
        Service().PluginReply(kWebPage, Credentials(service::kDemoEmail, "nope"));
    EXPECT_EQ(refused, "Wrong e-mail address or password");
}

TEST_F(PluginRequests, OwnWebPageFollowsTheConfiguredBaseUrl) {
    service::ServiceOptions options;
    options.baseUrl = "http://127.0.0.1:9/favorites";
    const std::string reply = Service(options).PluginReply(kWebPage, Demo());
    EXPECT_EQ(reply, "http://127.0.0.1:9/favorites/plugin/zephlist.php?email=demo%40tavrello.test");
}

TEST_F(PluginRequests, ParallelClientsAreAllServedAndAllTheirChangesKept) {
    constexpr int kClients = 12;
    std::vector<std::string> replies(kClients);
    std::vector<std::thread> clients;
    RunningService& running = Service();
    for (int i = 0; i < kClients; ++i) {
        clients.emplace_back([&, i]() {
            const auto result = running.Client().Post(
                kAddUrl, Demo() + "&name=Parallel+" + std::to_string(i) + "&url=-&parent=0",
                "application/x-www-form-urlencoded");
            replies[i] = result ? result->body : "no reply";
        });
    }
    for (auto& client : clients) client.join();
    for (int i = 0; i < kClients; ++i) EXPECT_EQ(replies[i], "OK") << i;
    EXPECT_EQ(StoredCategoryCount(service::kDemoEmail), 2u + kClients);
}

TEST_F(PluginRequests, PluginRequestsAnswerOnlyPost) {
    for (const char* path : {kCategories, kAddUrl, kWebPage}) {
        const auto result = Service().Client().Get(path);
        ASSERT_TRUE(result);
        EXPECT_EQ(result->status, 405) << path;
        EXPECT_EQ(result->get_header_value("Allow"), "POST");
    }
}

TEST(PluginNotice, NoticeLinesPrecedeTheCategories) {
    struct Case {
        bool stop;
        std::string page;
        std::string expectedHead;
        bool categoriesFollow;
    };
    const std::vector<Case> cases = {
        {false, "http://127.0.0.1:1/news.htm",
         "201 Version 1.06 is out\nhttp://127.0.0.1:1/news.htm\nCONTINUE\n", true},
        {false, "", "201 Version 1.06 is out\n\nCONTINUE\n", true},
        {true, "http://127.0.0.1:1/closed.htm",
         "201 Version 1.06 is out\nhttp://127.0.0.1:1/closed.htm\nSTOP\n", false},
    };
    for (const auto& c : cases) {
        ScratchFolder folder;
        service::ServiceOptions options;
        options.notice = {"Version 1.06 is out", c.page, c.stop};
        RunningService running(folder.path() + "/notice.db", options);
        const std::string reply = running.PluginReply(
            kCategories,
            Credentials(service::kDemoEmail, service::kDemoPassword) + "&version=1.05");
        ASSERT_EQ(reply.rfind(c.expectedHead, 0), 0u) << reply;
        const std::string rest = reply.substr(c.expectedHead.size());
        if (c.categoriesFollow) {
            const auto lines = Lines(rest);
            ASSERT_EQ(lines.size(), 2u) << rest;
            EXPECT_NE(lines[0].find(" News"), std::string::npos);
            EXPECT_NE(lines[1].find(" Reference"), std::string::npos);
        } else {
            EXPECT_EQ(rest, "");
        }
        // A refused login is reported before any notice.
        EXPECT_EQ(running.PluginReply(kCategories, Credentials(service::kDemoEmail, "x")),
                  "403 Wrong e-mail address or password\n");
    }
}

}  // namespace
