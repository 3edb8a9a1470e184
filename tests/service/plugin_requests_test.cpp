// The three form requests of the browser plug-in, sent over HTTP to a running service.
#include "tests/service/running_service.h"

#include "tools/service/credentials.h"
#include "tools/service/demo_account.h"
#include "tools/service/store.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <optional>
#include <regex>
#include <string>
#include <future>
#include <thread>
#include <vector>

using service_testing::Credentials;
using service_testing::RunningService;
using service_testing::ScratchFolder;

namespace {

using testing_support::kAddUrlPath;
using testing_support::kCategoriesPath;
using testing_support::kUserPagePath;
using testing_support::kWebPagePath;

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

// The size of this process's address space, from /proc.
rlim_t VirtualMemoryBytes() {
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (!status) return 0;
    char line[256];
    unsigned long long kib = 0;
    while (std::fgets(line, sizeof line, status)) {
        if (std::sscanf(line, "VmSize: %llu kB", &kib) == 1) break;
    }
    std::fclose(status);
    return static_cast<rlim_t>(kib) * 1024;
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
        const std::string reply =
            Service().PluginReply(kCategoriesPath, credentials + "&version=1.05");
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
        return Service().PluginReply(kAddUrlPath, credentials + "&name=" + encodedName +
                                                      "&url=" + encodedUrl + "&parent=" + parent);
    }

    // What the database file holds, once the service has created it.
    std::vector<service::Favorite> StoredFavorites(const std::string& email) {
        Service();
        std::string error;
        auto store = service::Store::Open(database_, error);
        EXPECT_TRUE(store) << error;
        const auto account = store->FindAccount(email).value;
        EXPECT_TRUE(account.has_value());
        return account ? store->Favorites(account->id).value : std::vector<service::Favorite>();
    }

    size_t StoredCategoryCount(const std::string& email) {
        Service();
        std::string error;
        auto store = service::Store::Open(database_, error);
        const auto account = store->FindAccount(email).value;
        return account ? store->Categories(account->id).value.size() : 0;
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
    const std::string reply = Service().PluginReply(kCategoriesPath, Demo() + "&version=1.05");
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
        EXPECT_EQ(Service().PluginReply(kCategoriesPath, c.body + "&version=1.05"), c.expected)
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
        EXPECT_EQ(Service().PluginReply(kAddUrlPath, c.body), c.expected) << c.body.substr(0, 120);
    }
    EXPECT_EQ(StoredFavorites(service::kDemoEmail).size(), before);
}

TEST_F(PluginRequests, OversizedBodiesAreRefusedWhileTheyArriveAndNothingIsStored) {
    const size_t before = StoredFavorites(service::kDemoEmail).size();
    const std::string start = Demo() + "&url=https%3A%2F%2Fa.example%2F&parent=0&name=";
    const auto withLength = Service().PostForm(kAddUrlPath, start + std::string(70 * 1024, 'a'));
    ASSERT_TRUE(withLength);
    EXPECT_EQ(withLength->status, 413);
    EXPECT_EQ(withLength->body, "The request is too large");

    // A length past the limit, and the body never ends: the refusal comes anyway.
    service_testing::RawConnection chunked(Service().port());
    std::string request =
        "POST /plugin/addurl.php HTTP/1.1\r\nHost: 127.0.0.1\r\n"
        "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: 90000\r\n\r\n" +
        start + std::string(0x2000, 'a');
    ASSERT_TRUE(chunked.Send(request));
    const std::string reply = chunked.ReadUntilClosed(std::chrono::seconds(20));
    EXPECT_EQ(reply.rfind("HTTP/1.1 413 ", 0), 0u) << reply.substr(0, 200);
    EXPECT_NE(reply.find("The request is too large"), std::string::npos);
    EXPECT_EQ(StoredFavorites(service::kDemoEmail).size(), before);
}

TEST(AccountQuota, AnAddBeyondTheQuotaIsRefusedAndNothingIsStored) {
    // The demo account holds 3 favorites and 2 categories, 134 bytes, to begin with.
    struct Case {
        const char* what;
        service::AccountQuota quota;
        std::string add;
    };
    const std::string demo = Credentials(service::kDemoEmail, service::kDemoPassword);
    const std::string favorite = demo + "&name=A&url=https%3A%2F%2Fa.example%2F&parent=0";
    const std::string category = demo + "&name=Full&url=-&parent=0";
    const std::vector<Case> cases = {
        {"favorites", {3, 1000, 1 << 20}, favorite},
        {"categories", {1000, 2, 1 << 20}, category},
        {"bytes of a favorite", {1000, 1000, 136}, favorite},
        {"bytes of a category", {1000, 1000, 136}, category},
    };
    for (const auto& c : cases) {
        ScratchFolder folder;
        const std::string database = folder.path() + "/quota.db";
        service::ServiceOptions options;
        options.quota = c.quota;
        RunningService running(database, options);
        const auto count = [&](const char* table) {
            std::string error;
            auto store = service::Store::Open(database, error);
            const auto account = store->FindAccount(service::kDemoEmail).value;
            return std::string(table) == "favorites" ? store->Favorites(account->id).value.size()
                                                     : store->Categories(account->id).value.size();
        };
        const size_t favorites = count("favorites");
        const size_t categories = count("categories");
        EXPECT_EQ(running.PluginReply(kAddUrlPath, c.add), service::PluginApi::kFullText) << c.what;
        EXPECT_EQ(count("favorites"), favorites) << c.what;
        EXPECT_EQ(count("categories"), categories) << c.what;
    }
    // Within the quota the same adds are stored.
    ScratchFolder folder;
    service::ServiceOptions options;
    options.quota = {4, 3, 1 << 20};
    RunningService running(folder.path() + "/room.db", options);
    EXPECT_EQ(running.PluginReply(kAddUrlPath, favorite), "OK");
    EXPECT_EQ(running.PluginReply(kAddUrlPath, category), "OK");
}

TEST_F(PluginRequests, BodyThatIsNotAFormIsRefused) {
    const size_t before = StoredFavorites(service::kDemoEmail).size();
    const std::string body = Demo() + "&name=A&url=https%3A%2F%2Fa.example%2F&parent=0";
    for (const char* type : {"text/plain", "application/json", "text/xml"}) {
        const auto result = Service().PostForm(kAddUrlPath, body, type);
        ASSERT_TRUE(result);
        EXPECT_EQ(result->status, 415) << type;
    }
    const auto badCharset =
        Service().PostForm(kAddUrlPath, body, "application/x-www-form-urlencoded; charset=koi8-r");
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
            kAddUrlPath, Demo() + "&name=" + c.encodedName + "&url=-&parent=0", c.contentType);
        ASSERT_TRUE(result);
        EXPECT_EQ(result->body, "OK") << c.encodedName;
    }
    Service().Stop();
    std::string error;
    auto store = service::Store::Open(database_, error);
    const auto account = store->FindAccount(service::kDemoEmail).value;
    const auto categories = store->Categories(account->id).value;
    ASSERT_EQ(categories.size(), 2 + cases.size());
    for (size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(categories[2 + i].name, cases[i].storedName) << cases[i].encodedName;
    }
}

TEST_F(PluginRequests, CategoryReplyTravelsInTheCharsetOfTheRequest) {
    ASSERT_EQ(Add(Demo(), "%C6blegr%F8d+%80", "-", "0"), "OK");
    const std::string body = Demo() + "&version=1.05";
    const auto ansi = Service().PostForm(kCategoriesPath, body);
    ASSERT_TRUE(ansi);
    EXPECT_EQ(ansi->get_header_value("Content-Type"), "text/plain; charset=windows-1252");
    EXPECT_NE(ansi->body.find(" \xC6"
                              "blegr\xF8"
                              "d \x80\n"),
              std::string::npos)
        << ansi->body;
    const auto utf8 = Service().PostForm(kCategoriesPath, body,
                                         "application/x-www-form-urlencoded; charset=utf-8");
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
    const auto first = store->FindAccount("twin1@tavrello.test").value;
    const auto second = store->FindAccount("twin2@tavrello.test").value;
    EXPECT_EQ(first->passwordHash.rfind("$argon2id$", 0), 0u) << first->passwordHash;
    EXPECT_NE(first->passwordHash, second->passwordHash) << "each hash has its own salt";
}

TEST_F(PluginRequests, OwnWebPageIsTheBaseUrlFollowedByTheUserPagePath) {
    const std::string reply = Service().PluginReply(kWebPagePath, Demo());
    EXPECT_EQ(reply.rfind(Service().baseUrl(), 0), 0u) << reply;
    EXPECT_EQ(reply, Service().baseUrl() + "plugin/zephlist.php?email=demo%40tavrello.test");
    EXPECT_EQ(Service().baseUrl(), "http://127.0.0.1:" + std::to_string(Service().port()) + "/");
    const std::string refused =
        Service().PluginReply(kWebPagePath, Credentials(service::kDemoEmail, "nope"));
    EXPECT_EQ(refused, "Wrong e-mail address or password");
}

TEST_F(PluginRequests, OwnWebPageFollowsTheConfiguredBaseUrl) {
    service::ServiceOptions options;
    options.baseUrl = "http://127.0.0.1:9/favorites";
    const std::string reply = Service(options).PluginReply(kWebPagePath, Demo());
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
                kAddUrlPath, Demo() + "&name=Parallel+" + std::to_string(i) + "&url=-&parent=0",
                "application/x-www-form-urlencoded");
            replies[i] = result ? result->body : "no reply";
        });
    }
    for (auto& client : clients) client.join();
    // First sign-ins beyond the hash slots and the account's free checks may be told to come
    // back; what matters is that every "OK" is stored, once, and nothing else is.
    size_t stored = 0;
    for (int i = 0; i < kClients; ++i) {
        if (replies[i] == "OK") {
            ++stored;
        } else {
            EXPECT_EQ(replies[i], service::PluginApi::kBusyText) << i;
        }
    }
    EXPECT_GE(stored, 1u);
    EXPECT_EQ(StoredCategoryCount(service::kDemoEmail), 2u + stored);
}

TEST_F(PluginRequests, PluginRequestsAnswerOnlyPost) {
    for (const char* path : {kCategoriesPath, kAddUrlPath, kWebPagePath}) {
        const auto result = Service().Client().Get(path);
        ASSERT_TRUE(result);
        EXPECT_EQ(result->status, 405) << path;
        EXPECT_EQ(result->get_header_value("Allow"), "POST");
    }
}

TEST_F(PluginRequests, StoreTroubleIsBusyOrFailedButNeverAWrongPassword) {
    service::ServiceOptions options;
    options.busyTimeoutMs = 100;
    RunningService& running = Service(options);
    const std::string add = Demo() + "&name=Locked&url=https%3A%2F%2Fl.example%2F&parent=0";
    const auto expect = [&](const char* path, const std::string& body, int status,
                            const std::string& text, const char* what) {
        const auto result = running.PostForm(path, body);
        ASSERT_TRUE(result) << what;
        EXPECT_EQ(result->status, status) << what << " " << path;
        EXPECT_EQ(result->body.substr(0, result->body.find('\n')), text) << what << " " << path;
        EXPECT_EQ(result->has_header("Retry-After"), status == 503) << what << " " << path;
    };
    {
        // Another program holds the write lock: lists are still read, adds wait and then
        // answer "busy", and nobody is told the password is wrong.
        sqlite3* other = nullptr;
        ASSERT_EQ(sqlite3_open(database_.c_str(), &other), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
        expect(kCategoriesPath, Demo() + "&version=1.05", 200, "200 OK", "locked");
        expect(kAddUrlPath, add, 503, "The service is busy; try again in a moment", "locked");
        expect(kAddUrlPath, Demo() + "&name=New&url=-&parent=0", 503,
               "The service is busy; try again in a moment", "locked");
        sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(other);
    }
    expect(kAddUrlPath, add, 200, "OK", "unlocked");
    // A schema that points at a page the file does not have: every statement fails.
    service_testing::RunSql(database_,
                            "PRAGMA writable_schema = ON;"
                            "UPDATE sqlite_master SET rootpage = 9999 WHERE name = 'favorites';"
                            "PRAGMA schema_version = 1000;");
    const std::string failed = "The service could not read or store your data";
    expect(kCategoriesPath, Demo() + "&version=1.05", 500, "500 " + failed, "corrupt");
    expect(kCategoriesPath, Credentials(service::kDemoEmail, "wrong") + "&version=1.05", 500,
           "500 " + failed, "corrupt");
    expect(kAddUrlPath, add, 500, failed, "corrupt");
    expect(kWebPagePath, Demo(), 500, failed, "corrupt");
    const auto page =
        running.Client().Get(std::string(kUserPagePath) + "?email=demo%40tavrello.test");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 500) << "not an empty list";
}

TEST_F(PluginRequests, ListsAreServedAndEachAddIsAnsweredWhileAnotherProgramHoldsTheWriteLock) {
    service::ServiceOptions options;
    options.busyTimeoutMs = 2000;
    RunningService& running = Service(options);
    ASSERT_EQ(FetchCategories(Demo()), "200 OK");  // signed in once, so no add waits for a hash
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(database_.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    // Status and Retry-After of each add.
    std::vector<std::string> adds(3, "no reply");
    std::vector<std::thread> adders;
    for (size_t i = 0; i < adds.size(); ++i) {
        adders.emplace_back([&, i]() {
            const auto result = running.PostForm(
                kAddUrlPath, Demo() + "&name=Waiting" + std::to_string(i) + "&url=-&parent=0");
            if (result) {
                adds[i] =
                    std::to_string(result->status) + " " + result->get_header_value("Retry-After");
            }
        });
    }
    // Served from the reading connection while the lock is held, whether the adds are waiting
    // for it yet or not.
    const auto list = running.PostForm(kCategoriesPath, Demo() + "&version=1.05");
    // The lock outlasts every add's busy timeout: each one gives up, on its own, and says so.
    for (auto& adder : adders) adder.join();
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    ASSERT_TRUE(list);
    EXPECT_EQ(list->body.rfind("200 OK\n", 0), 0u) << list->body;
    for (size_t i = 0; i < adds.size(); ++i) EXPECT_EQ(adds[i], "503 1") << i;
    EXPECT_EQ(StoredCategoryCount(service::kDemoEmail), 2u);
}

TEST_F(PluginRequests, AStoredHashThatCannotBeReadOrCheckedIsNotAWrongPassword) {
    const std::string valid = service::HashPassword(service::kDemoPassword);
    const size_t memory = valid.find("m=");
    ASSERT_NE(memory, std::string::npos) << valid;
    // Four TiB of memory to check: the allocation fails, as it might for want of 64 MiB.
    std::string greedy = valid;
    greedy.replace(memory, valid.find(',', memory) - memory, "m=4294967295");
    struct Case {
        const char* what;
        std::string hash;
        int status;
    };
    const std::vector<Case> cases = {
        {"malformed", "not-a-hash", 500},
        {"truncated", valid.substr(0, valid.size() - 10), 500},
        {"no memory", greedy, 503},
    };
    RunningService& running = Service();
    // However this machine overcommits, the process may not map four TiB more than it has.
    rlimit previous{};
    ASSERT_EQ(getrlimit(RLIMIT_AS, &previous), 0);
    rlimit bounded = previous;
    bounded.rlim_cur = VirtualMemoryBytes() + (rlim_t{2} << 30);
    if (previous.rlim_cur != RLIM_INFINITY)
        bounded.rlim_cur = std::min(bounded.rlim_cur, previous.rlim_cur);
    ASSERT_EQ(setrlimit(RLIMIT_AS, &bounded), 0);
    for (const auto& c : cases) {
        service_testing::RunSql(database_, "UPDATE accounts SET password_hash = '" + c.hash +
                                               "' WHERE email = 'demo@tavrello.test'");
        const auto result = running.PostForm(kCategoriesPath, Demo() + "&version=1.05");
        ASSERT_TRUE(result) << c.what;
        EXPECT_EQ(result->status, c.status) << c.what << ": " << result->body;
        EXPECT_EQ(result->has_header("Retry-After"), c.status == 503) << c.what;
    }
    setrlimit(RLIMIT_AS, &previous);
}

// The throttle's clock stands still unless a test moves it on.
struct StoppedClock {
    std::shared_ptr<std::atomic<int64_t>> seconds = std::make_shared<std::atomic<int64_t>>(0);
    void Attach(service::LoginThrottleSettings& settings) const {
        const auto start = std::chrono::steady_clock::now();
        settings.clock = [start, seconds = seconds] {
            return start + std::chrono::seconds(seconds->load());
        };
    }
};

TEST_F(PluginRequests, FailedSignInsSlowTheAccountAndTheClientDownWithoutA403) {
    service::ServiceOptions options;
    options.loginThrottle.accountFreeFailures = 3;
    options.loginThrottle.clientFreeFailures = 6;
    StoppedClock clock;
    clock.Attach(options.loginThrottle);
    RunningService& running = Service(options);
    const auto categories = [&](const std::string& credentials) {
        const auto result = running.PostForm(kCategoriesPath, credentials + "&version=1.05");
        if (!result) return std::string("no reply");
        if (result->status == 503) {
            const std::string after = result->get_header_value("Retry-After");
            return after.empty() ? std::string("503 without Retry-After") : "wait " + after;
        }
        return result->body.substr(0, result->body.find('\n'));
    };
    const std::string wrong = "403 Wrong e-mail address or password";
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(categories(Credentials(service::kDemoEmail, "guess")), wrong) << i;
    }
    // The account waits now, for guesses and for its right password alike (a right answer
    // must not tell a guesser anything either).
    EXPECT_EQ(categories(Credentials(service::kDemoEmail, "guess")), "wait 1");
    EXPECT_EQ(categories(Credentials("DEMO@tavrello.test", service::kDemoPassword)), "wait 1");
    // Other accounts from the same client still get answers until the client's own count runs
    // out.
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(categories(Credentials("nobody" + std::to_string(i) + "@tavrello.test", "x")),
                  wrong)
            << i;
    }
    EXPECT_EQ(categories(Credentials("nobody9@tavrello.test", "x")).rfind("wait ", 0), 0u);
    // Once the wait is over, the right password is taken again.
    *clock.seconds += 61;
    EXPECT_EQ(categories(Demo()), "200 OK");
}

TEST_F(PluginRequests, GuessesCountWhileTheyRunAndSpareTheOwnerWhereItSignedIn) {
    service::ServiceOptions options;
    options.loginThrottle.accountFreeFailures = 3;
    options.loginThrottle.clientFreeFailures = 1000;
    StoppedClock clock;
    clock.Attach(options.loginThrottle);
    RunningService& running = Service(options);
    const auto reply = [&](const std::string& credentials) {
        const auto result = running.PostForm(kCategoriesPath, credentials + "&version=1.05");
        if (!result) return std::string("no reply");
        if (result->status == 503 && result->has_header("Retry-After")) return std::string("wait");
        return result->body.substr(0, result->body.find('\n'));
    };
    // Parallel first guesses: no more real checks than the free failures.
    std::vector<std::string> guesses(12);
    std::vector<std::thread> guessers;
    for (size_t i = 0; i < guesses.size(); ++i) {
        guessers.emplace_back([&, i] { guesses[i] = reply(Credentials("x@tavrello.test", "g")); });
    }
    for (auto& guesser : guessers) guesser.join();
    size_t checked = 0;
    for (const auto& guess : guesses) {
        if (guess == "wait") continue;
        EXPECT_EQ(guess, "403 Wrong e-mail address or password");
        ++checked;
    }
    EXPECT_LE(checked, 3u);
    // The owner signed in from this network: guesses that slow the account down do not keep
    // the owner out here.
    ASSERT_EQ(reply(Demo()), "200 OK");
    for (int i = 0; i < 4; ++i) reply(Credentials(service::kDemoEmail, "guess"));
    EXPECT_EQ(reply(Demo()), "200 OK");
}

TEST(ClientNetwork, AddressesOfOneNetworkAreOneClient) {
    const std::vector<std::pair<std::string, std::string>> same = {
        {"127.0.0.1", "127.0.0.2"},
        {"127.0.0.1", "::1"},
        {"127.0.0.1", "::ffff:127.9.9.9"},
        {"10.1.2.3", "10.1.2.250"},
        {"2001:db8:1:2::1", "2001:db8:1:2:ffff::9"},
    };
    for (const auto& [a, b] : same) {
        EXPECT_EQ(service::ClientNetwork(a), service::ClientNetwork(b)) << a << " " << b;
    }
    const std::vector<std::pair<std::string, std::string>> apart = {
        {"10.1.2.3", "10.1.3.3"}, {"2001:db8:1:2::1", "2001:db8:1:3::1"}, {"10.1.2.3", "::1"}};
    for (const auto& [a, b] : apart) {
        EXPECT_NE(service::ClientNetwork(a), service::ClientNetwork(b)) << a << " " << b;
    }
}

TEST_F(PluginRequests, DatabaseAndItsCompanionFilesAreReadableByTheOwnerOnly) {
    const mode_t previous = umask(022);
    ASSERT_EQ(Add(Demo(), "Private", "-", "0"), "OK");
    umask(previous);
    for (const char* suffix : {"", "-wal", "-shm"}) {
        struct stat status {};
        ASSERT_EQ(stat((database_ + suffix).c_str(), &status), 0) << suffix;
        EXPECT_EQ(status.st_mode & 0777, 0600u) << suffix;
    }
}

TEST_F(PluginRequests, HashingIsBoundedAndCachedSignInsNeedNoHash) {
    service::ServiceOptions options;
    options.hashSlots = 1;
    options.hashWaiting = 0;
    // Wrong passwords here test the hash slots, not the slowing down of guesses.
    options.loginThrottle.accountFreeFailures = 1000;
    options.loginThrottle.clientFreeFailures = 1000;
    // Once armed, the next check holds the one slot until the test lets it go.
    std::atomic<bool> armed{false};
    std::promise<void> inSlot, release;
    std::shared_future<void> released = release.get_future().share();
    options.whileHashing = [&] {
        if (!armed.exchange(false)) return;
        inSlot.set_value();
        released.wait();
    };
    RunningService& running = Service(options);
    ASSERT_EQ(FetchCategories(Demo()), "200 OK");
    armed = true;
    std::string held;
    std::thread holder([&] { held = FetchCategories(Credentials(service::kDemoEmail, "wrong")); });
    inSlot.get_future().wait();
    // With the slot taken and no queue, another check is turned away at once; the right
    // password, just checked, is served from the cache without a slot.
    const auto turnedAway = running.PostForm(
        kCategoriesPath, Credentials(service::kDemoEmail, "other") + "&version=1.05");
    const std::string cached = FetchCategories(Demo());
    release.set_value();
    holder.join();
    ASSERT_TRUE(turnedAway);
    EXPECT_EQ(turnedAway->status, 503);
    EXPECT_TRUE(turnedAway->has_header("Retry-After"));
    EXPECT_EQ(cached, "200 OK");
    EXPECT_EQ(held, "403 Wrong e-mail address or password");
}

TEST_F(PluginRequests, AChangedPasswordIsNotTakenFromTheCache) {
    ASSERT_EQ(FetchCategories(Demo()), "200 OK");
    service_testing::RunSql(database_, "UPDATE accounts SET password_hash = '" +
                                           service::HashPassword("changed-password") +
                                           "' WHERE email = 'demo@tavrello.test'");
    EXPECT_EQ(FetchCategories(Demo()), "403 Wrong e-mail address or password");
    EXPECT_EQ(FetchCategories(Credentials(service::kDemoEmail, "changed-password")), "200 OK");
}

TEST(BoundedRequests, SlowSendersAreCutOffAtTheDeadlineAndOthersAreStillServed) {
    ScratchFolder folder;
    // Slow senders from the same client, more than the service has workers: a request that
    // arrives whole is answered while they are all still being read.
    {
        RunningService running(folder.path() + "/slow.db");
        std::vector<std::unique_ptr<service_testing::RawConnection>> slow;
        for (int i = 0; i < 24; ++i) {
            slow.push_back(std::make_unique<service_testing::RawConnection>(running.port()));
            slow.back()->Send("POST /plugin/getcatagories.php HTTP/1.1\r\nHost: 127.0.0.1\r\n");
        }
        for (int line = 0; line < 3; ++line) {
            for (auto& connection : slow) connection->Send("X-Slow: 1\r\n");
        }
        const std::string reply = running.PluginReply(
            kCategoriesPath,
            Credentials(service::kDemoEmail, service::kDemoPassword) + "&version=1.05");
        EXPECT_EQ(reply.rfind("200 OK\n", 0), 0u);
        for (auto& connection : slow) EXPECT_FALSE(connection->ClosedByService());
    }
    // At its deadline a request still arriving gets 408, however it keeps sending.
    service::ServiceOptions options;
    options.limits.requestTimeout = std::chrono::milliseconds(500);
    RunningService running(folder.path() + "/cut.db", options);
    service_testing::RawConnection slow(running.port());
    slow.Send("POST /plugin/getcatagories.php HTTP/1.1\r\nHost: 127.0.0.1\r\n");
    std::string cutOff;
    for (int line = 0; line < 5 && cutOff.empty(); ++line) {
        slow.Send("X-Slow: 1\r\n");
        cutOff = slow.ReadUntilClosed(std::chrono::milliseconds(100));
    }
    cutOff += slow.ReadUntilClosed(std::chrono::seconds(30));
    EXPECT_EQ(cutOff.rfind("HTTP/1.1 408 ", 0), 0u) << cutOff.substr(0, 100);
}

TEST(BoundedRequests, IdleConnectionsHoldNoWorkerAndTheOldestBeyondTheWaitingRoomAreClosed) {
    ScratchFolder folder;
    service::ServiceOptions options;
    options.limits.maxWaiting = 32;
    RunningService running(folder.path() + "/idle.db", options);
    // Four times as many connections as there are workers, twice what may wait, and not a
    // byte from any of them.
    std::vector<std::unique_ptr<service_testing::RawConnection>> idle;
    for (int i = 0; i < 64; ++i) {
        idle.push_back(std::make_unique<service_testing::RawConnection>(running.port()));
    }
    // The oldest are closed as the newest arrive, long before the request timeout.
    idle.front()->ReadUntilClosed(std::chrono::seconds(30));
    EXPECT_TRUE(idle.front()->ClosedByService());
    const std::string reply = running.PluginReply(
        kCategoriesPath,
        Credentials(service::kDemoEmail, service::kDemoPassword) + "&version=1.05");
    EXPECT_EQ(reply.rfind("200 OK\n", 0), 0u) << reply;
    // Served while the newest idle connections still wait, not after their deadline.
    EXPECT_FALSE(idle.back()->ClosedByService());
}

TEST(BoundedRequests, AReplyTheClientDoesNotTakeIsCutOffAtTheResponseDeadline) {
    ScratchFolder folder;
    const std::string database = folder.path() + "/large.db";
    service::ServiceOptions options;
    options.limits.responseTimeout = std::chrono::milliseconds(1000);
    RunningService running(database, options);
    // A public page of some 10 MB, more than the sockets between us hold, in its first page.
    service_testing::RunSql(
        database,
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 600)"
        " INSERT INTO favorites (account_id, parent, name, url)"
        " SELECT a.id, 0, 'f' || i, 'https://example.com/' || printf('%.20000c', 'x')"
        " FROM n, accounts a WHERE a.email = 'demo@tavrello.test'");
    service_testing::RawConnection reader(running.port(), 4096);
    ASSERT_TRUE(reader.Send(
        "GET /plugin/zephlist.php?email=demo%40tavrello.test HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"));
    // Takes a kilobyte now and then for three seconds, as a client on a bad line would, then
    // whatever is still coming.
    std::string received;
    char buffer[1024];
    for (int step = 0; step < 300; ++step) {
        const ssize_t n = recv(reader.fd(), buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0) received.append(buffer, static_cast<size_t>(n));
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    received += reader.ReadUntilClosed(std::chrono::seconds(30));
    EXPECT_TRUE(reader.ClosedByService());
    std::smatch length;
    ASSERT_TRUE(std::regex_search(received, length, std::regex("Content-Length: ([0-9]+)")))
        << received.substr(0, 300);
    const size_t body = received.find("\r\n\r\n");
    ASSERT_NE(body, std::string::npos);
    EXPECT_LT(received.size() - body - 4, std::stoull(length[1]));
}

TEST(BoundedRequests, AnyFramingButPlainLengthsGets400AndNothingMoreIsReadFromTheConnection) {
    ScratchFolder folder;
    RunningService running(folder.path() + "/framing.db");
    const std::string head =
        "POST /plugin/getcatagories.php HTTP/1.1\r\nHost: 127.0.0.1\r\n"
        "Content-Type: application/x-www-form-urlencoded\r\n";
    const std::string body = "email=demo%40tavrello.test&password=tavrello-demo";
    const std::string length = "Content-Length: " + std::to_string(body.size()) + "\r\n";
    char chunk[16];
    std::snprintf(chunk, sizeof chunk, "%zx\r\n", body.size());
    const std::string chunked = chunk + body + "\r\n0\r\n\r\n";
    struct Case {
        const char* what;
        std::string request;
    };
    const std::vector<Case> cases = {
        {"length and chunks", head + length + "Transfer-Encoding: chunked\r\n\r\n" + chunked},
        {"two lengths", head + length + "Content-Length: 5\r\n\r\n" + body},
        {"signed length",
         head + "Content-Length: +" + std::to_string(body.size()) + "\r\n\r\n" + body},
        {"coding before chunked", head + "Transfer-Encoding: gzip, chunked\r\n\r\n" + chunked},
        {"two codings",
         head + "Transfer-Encoding: chunked\r\nTransfer-Encoding: chunked\r\n\r\n" + chunked},
        {"chunks alone", head + "Transfer-Encoding: chunked\r\n\r\n" + chunked},
        {"blank before the colon",
         head + "Transfer-Encoding : chunked\r\n" + length + "\r\n" + body},
        {"folded line", head + length + " Transfer-Encoding: chunked\r\n\r\n" + body},
        {"bare LF", head + length.substr(0, length.size() - 2) + "\n\r\n" + body},
        // "%3" and the length reads as the length once percent-decoded.
        {"percent in the length",
         head + "Content-Length: %3" + std::to_string(body.size()) + "\r\n\r\n" + body},
        {"NUL in a value", head + length + "X-Note: a" + std::string(1, '\0') + "b\r\n\r\n" + body},
        {"two hosts", head + length + "Host: 127.0.0.1\r\n\r\n" + body},
        {"no colon", head + length + "X-Note\r\n\r\n" + body},
        {"GET with a body",
         "GET /help/plugin.htm HTTP/1.1\r\nHost: 127.0.0.1\r\n" + length + "\r\n" + body},
        {"HEAD with a body", "HEAD / HTTP/1.1\r\nHost: 127.0.0.1\r\n" + length + "\r\n" + body},
        {"OPTIONS with a body",
         "OPTIONS / HTTP/1.1\r\nHost: 127.0.0.1\r\n" + length + "\r\n" + body},
        {"GET in chunks",
         "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nTransfer-Encoding: chunked\r\n\r\n" + chunked},
        // Any other 400 closes the connection as well.
        {"unknown charset",
         "POST /plugin/getcatagories.php HTTP/1.1\r\nHost: 127.0.0.1\r\n"
         "Content-Type: application/x-www-form-urlencoded; charset=koi8-r\r\n" +
             length + "\r\n" + body},
    };
    for (const auto& c : cases) {
        service_testing::RawConnection connection(running.port());
        // A second request right behind: it must not be answered.
        ASSERT_TRUE(connection.Send(c.request +
                                    "GET /help/plugin.htm HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"));
        const std::string reply = connection.ReadUntilClosed(std::chrono::seconds(10));
        EXPECT_EQ(reply.rfind("HTTP/1.1 400 ", 0), 0u) << c.what << ": " << reply.substr(0, 100);
        EXPECT_EQ(reply.find("HTTP/1.1 ", 1), std::string::npos) << c.what;
        EXPECT_TRUE(connection.ClosedByService()) << c.what;
    }
    // Plainly framed requests sent together are each answered, in turn.
    service_testing::RawConnection connection(running.port());
    const std::string help = "GET /help/plugin.htm HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    ASSERT_TRUE(connection.Send(help + "\r\n" + help + "Connection: close\r\n\r\n"));
    const std::string replies = connection.ReadUntilClosed(std::chrono::seconds(30));
    EXPECT_EQ(replies.rfind("HTTP/1.1 200 ", 0), 0u) << replies.substr(0, 100);
    EXPECT_NE(replies.find("HTTP/1.1 200 ", 1), std::string::npos);
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
            kCategoriesPath,
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
        EXPECT_EQ(running.PluginReply(kCategoriesPath, Credentials(service::kDemoEmail, "x")),
                  "403 Wrong e-mail address or password\n");
    }
}

}  // namespace
