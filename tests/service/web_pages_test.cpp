// The HTML side of the service: the login page and its session, the public user page, the
// help page and the site root.
#include "tests/service/running_service.h"

#include "tools/service/demo_account.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>
#include <vector>

using service_testing::Credentials;
using service_testing::RunningService;
using service_testing::ScratchFolder;

namespace {

using testing_support::kAddUrlPath;
using testing_support::kLoginPath;
using testing_support::kUserPagePath;
using testing_support::kWebPagePath;

class WebPages : public ::testing::Test {
protected:
    WebPages() : service_(folder_.path() + "/pages.db") {}

    static std::string Demo() { return Credentials(service::kDemoEmail, service::kDemoPassword); }

    void AddToDemo(const std::string& encodedName, const std::string& encodedUrl,
                   const std::string& parent) {
        ASSERT_EQ(service_.PluginReply(kAddUrlPath, Demo() + "&name=" + encodedName +
                                                        "&url=" + encodedUrl + "&parent=" + parent),
                  "OK");
    }

    // The token of the form in a page, as a browser would send it back.
    static std::string FormToken(const std::string& page) {
        std::smatch match;
        const std::regex field("name=\"form_token\" value=\"([0-9a-f]+)\"");
        return std::regex_search(page, match, field) ? "&form_token=" + match[1].str() : "";
    }

    // The token of a login form, and the login cookie it is bound to, kept as a browser would.
    std::string LoginFormToken() {
        const auto page = service_.Client().Get(kLoginPath);
        if (!page) return std::string();
        loginCookie_ = CookiePair(page->get_header_value("Set-Cookie"));
        return FormToken(page->body);
    }

    httplib::Result PostLogin(const std::string& body, httplib::Headers headers = {}) {
        headers.emplace("Cookie", loginCookie_);
        return service_.Client().Post(kLoginPath, headers, body,
                                      "application/x-www-form-urlencoded");
    }

    // Logs in through the form and gives the session cookie's whole Set-Cookie header.
    std::string LogIn(const std::string& body) {
        const auto result = PostLogin(body + LoginFormToken());
        if (!result) return std::string();
        return result->status == 303 ? result->get_header_value("Set-Cookie") : std::string();
    }

    static std::string CookiePair(const std::string& setCookie) {
        return setCookie.substr(0, setCookie.find(';'));
    }

    httplib::Result GetWithCookie(const std::string& path, const std::string& cookie) {
        return service_.Client().Get(path.c_str(), {{"Cookie", cookie}});
    }

    ScratchFolder folder_;
    RunningService service_;
    std::string loginCookie_;
};

TEST_F(WebPages, LoginPageWithoutSessionShowsTheForm) {
    const auto result = service_.Client().Get(kLoginPath);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 200);
    EXPECT_EQ(result->get_header_value("Content-Type"), "text/html; charset=utf-8");
    EXPECT_NE(result->body.find("<form method=\"post\" action=\"login.php\""), std::string::npos);
    EXPECT_NE(result->body.find("name=\"email\""), std::string::npos);
    EXPECT_NE(result->body.find("type=\"password\" name=\"password\""), std::string::npos);
    EXPECT_EQ(result->body.find("Example news"), std::string::npos);
    EXPECT_EQ(result->get_header_value("Cache-Control"), "no-store");
}

TEST_F(WebPages, LoginSetsARandomHttpOnlySessionCookieAndShowsTheFavorites) {
    const std::string first = LogIn(Demo());
    const std::string second = LogIn(Demo());
    ASSERT_FALSE(first.empty());
    const std::regex cookieShape(
        "tavrello_session=[0-9a-f]{64}; Path=/; HttpOnly; SameSite=Lax; Max-Age=[0-9]+");
    EXPECT_TRUE(std::regex_match(first, cookieShape)) << first;
    EXPECT_NE(CookiePair(first), CookiePair(second)) << "each login gets its own token";

    const auto page = GetWithCookie(kLoginPath, CookiePair(first));
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    for (const char* text : {"Favorites of demo@tavrello.test", "<h2>News</h2>",
                             "<h2>Reference</h2>", "Example news", "Log out"}) {
        EXPECT_NE(page->body.find(text), std::string::npos) << text;
    }
    EXPECT_EQ(page->body.find("name=\"password\""), std::string::npos);
}

TEST_F(WebPages, RefusedLoginShowsTheFormAgainWithoutACookie) {
    struct Case {
        std::string body;
        int status;
    };
    const std::vector<Case> cases = {
        {Credentials(service::kDemoEmail, "wrong"), 403},
        {Credentials("nobody@tavrello.test", service::kDemoPassword), 403},
        {"email=&password=x", 400},
        {"password=x", 400},
    };
    for (const auto& c : cases) {
        const auto result = PostLogin(c.body + LoginFormToken());
        ASSERT_TRUE(result);
        EXPECT_EQ(result->status, c.status) << c.body;
        EXPECT_FALSE(result->has_header("Set-Cookie")) << c.body;
        EXPECT_NE(result->body.find("name=\"email\""), std::string::npos);
    }
    // A login form's token is good only with the login cookie of the browser it was shown to.
    const std::string shownElsewhere = LoginFormToken();
    LoginFormToken();
    const auto result = PostLogin(Demo() + shownElsewhere);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 403);
}

TEST_F(WebPages, UnknownOrForgedSessionTokenShowsTheForm) {
    for (const std::string& cookie : {"tavrello_session=" + std::string(64, 'a'),
                                      std::string("tavrello_session="), std::string("other=1")}) {
        const auto page = GetWithCookie(kLoginPath, cookie);
        ASSERT_TRUE(page);
        EXPECT_NE(page->body.find("name=\"password\""), std::string::npos) << cookie;
        EXPECT_EQ(page->body.find("Example news"), std::string::npos) << cookie;
    }
}

TEST_F(WebPages, LogOutEndsTheSession) {
    const std::string cookie = CookiePair(LogIn(Demo()));
    ASSERT_FALSE(cookie.empty());
    const auto signedIn = GetWithCookie(kLoginPath, cookie);
    ASSERT_TRUE(signedIn);
    const std::string token = FormToken(signedIn->body);
    // Without the page's token, or with the token of the login form, the session stays.
    for (const std::string& wrong : {std::string(), LoginFormToken()}) {
        const auto refused =
            service_.Client().Post(kLoginPath, {{"Cookie", cookie}}, "action=logout" + wrong,
                                   "application/x-www-form-urlencoded");
        ASSERT_TRUE(refused);
        EXPECT_EQ(refused->status, 403) << wrong;
    }
    EXPECT_NE(GetWithCookie(kLoginPath, cookie)->body.find("Example news"), std::string::npos);
    const auto logout =
        service_.Client().Post(kLoginPath, {{"Cookie", cookie}}, "action=logout" + token,
                               "application/x-www-form-urlencoded");
    ASSERT_TRUE(logout);
    EXPECT_EQ(logout->status, 303);
    EXPECT_NE(logout->get_header_value("Set-Cookie").find("Max-Age=0"), std::string::npos);
    const auto page = GetWithCookie(kLoginPath, cookie);
    ASSERT_TRUE(page);
    EXPECT_NE(page->body.find("name=\"password\""), std::string::npos)
        << "the old token must no longer open the favorites";
}

TEST_F(WebPages, SessionSurvivesARestartOfTheService) {
    const std::string cookie = CookiePair(LogIn(Demo()));
    ASSERT_FALSE(cookie.empty());
    service_.Stop();
    service_.Start();
    const auto page = GetWithCookie(kLoginPath, cookie);
    ASSERT_TRUE(page);
    EXPECT_NE(page->body.find("Example news"), std::string::npos);
}

TEST_F(WebPages, UserTextIsEscapedInEveryPage) {
    AddToDemo("%3Cscript%3Ealert(1)%3C%2Fscript%3E", "-", "0");
    AddToDemo("%22%3E%3Cimg+src%3Dx+onerror%3Dalert(2)%3E",
              "https%3A%2F%2Fexample.com%2F%3Fa%3D1%26b%3D%22%3E%3Cx%3E", "0");
    AddToDemo("Bad+link", "javascript%3Aalert(3)", "0");
    const std::string cookie = CookiePair(LogIn(Demo()));
    const auto signedIn = GetWithCookie(kLoginPath, cookie);
    const auto publicPage =
        service_.Client().Get(std::string(kUserPagePath) + "?email=demo%40tavrello.test");
    ASSERT_TRUE(signedIn);
    ASSERT_TRUE(publicPage);
    for (const std::string& body : {signedIn->body, publicPage->body}) {
        EXPECT_EQ(body.find("<script>"), std::string::npos);
        EXPECT_EQ(body.find("<img"), std::string::npos);
        EXPECT_NE(body.find("<h2>&lt;script&gt;alert(1)&lt;/script&gt;</h2>"), std::string::npos);
        EXPECT_NE(body.find("&quot;&gt;&lt;img src=x onerror=alert(2)&gt;"), std::string::npos);
        EXPECT_NE(body.find("href=\"https://example.com/?a=1&amp;b=&quot;&gt;&lt;x&gt;\""),
                  std::string::npos);
        EXPECT_EQ(body.find("href=\"javascript"), std::string::npos);
        EXPECT_NE(body.find("Bad link (javascript:alert(3))"), std::string::npos);
    }
}

TEST_F(WebPages, PublicPageShowsCategoriesAndFavoritesButNoPrivateLinks) {
    AddToDemo("Shared+page", "https%3A%2F%2Fshared.example%2F", "0");
    AddToDemo("Secret+page", "https%3A%2F%2Fsecret.example%2F", "-10");
    AddToDemo("Loose+page", "https%3A%2F%2Floose.example%2F", "-1");
    const auto publicPage =
        service_.Client().Get(std::string(kUserPagePath) + "?email=demo%40tavrello.test");
    ASSERT_TRUE(publicPage);
    EXPECT_EQ(publicPage->status, 200);
    for (const char* text : {"<h2>Home</h2>", "<h2>News</h2>", "<h2>Reference</h2>", "Shared page",
                             "<h2>No catagory</h2>", "Loose page"}) {
        EXPECT_NE(publicPage->body.find(text), std::string::npos) << text;
    }
    EXPECT_EQ(publicPage->body.find("Secret page"), std::string::npos);
    EXPECT_EQ(publicPage->body.find("Private Links"), std::string::npos);
    EXPECT_EQ(publicPage->body.find("Log out"), std::string::npos);

    const auto signedIn = GetWithCookie(kLoginPath, CookiePair(LogIn(Demo())));
    ASSERT_TRUE(signedIn);
    EXPECT_NE(signedIn->body.find("<h2>Private Links</h2>"), std::string::npos);
    EXPECT_NE(signedIn->body.find("Secret page"), std::string::npos);
}

TEST_F(WebPages, PageAddressFromTheServiceOpensThePublicPage) {
    const std::string address = service_.PluginReply(kWebPagePath, Demo());
    ASSERT_EQ(address.rfind(service_.baseUrl(), 0), 0u);
    const std::string path = "/" + address.substr(service_.baseUrl().size());
    const auto page = service_.Client().Get(path.c_str());
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_NE(page->body.find("Favorites of demo@tavrello.test"), std::string::npos);
}

TEST_F(WebPages, PublicPageOfAnUnknownAddressIsThatOfAnEmptyAccount) {
    service_testing::RunSql(
        folder_.path() + "/pages.db",
        "INSERT INTO accounts (email, password_hash) VALUES ('empty@x.test', 'x')");
    const auto empty = service_.Client().Get(std::string(kUserPagePath) + "?email=empty%40x.test");
    const auto unknown =
        service_.Client().Get(std::string(kUserPagePath) + "?email=nobody%40x.test");
    ASSERT_TRUE(empty && unknown);
    EXPECT_EQ(unknown->status, empty->status);
    EXPECT_EQ(std::regex_replace(unknown->body, std::regex("nobody@"), "empty@"), empty->body);
    for (const std::string& path :
         {std::string(kUserPagePath) + "?email=", std::string(kUserPagePath)}) {
        const auto page = service_.Client().Get(path);
        ASSERT_TRUE(page);
        EXPECT_EQ(page->status, 404) << path;
        EXPECT_EQ(page->body.find("Example news"), std::string::npos);
    }
}

TEST_F(WebPages, PublicPageShowsAPageOfFavoritesAndLinksToTheNext) {
    service_testing::RunSql(
        folder_.path() + "/pages.db",
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1200)"
        " INSERT INTO favorites (account_id, parent, name, url) SELECT a.id, 0, 'Item ' || i,"
        " 'https://example.com/' || i FROM n, accounts a WHERE a.email = 'demo@tavrello.test'");
    std::string path = std::string(kUserPagePath) + "?email=demo%40tavrello.test";
    std::set<std::string> seen;
    size_t pages = 0;
    for (; !path.empty() && pages < 10; ++pages) {
        const auto page = service_.Client().Get(path);
        ASSERT_TRUE(page);
        const std::regex item(">(Item [0-9]+)<");
        for (std::sregex_iterator it(page->body.begin(), page->body.end(), item), end; it != end;
             ++it) {
            EXPECT_TRUE(seen.insert((*it)[1]).second) << (*it)[1];
        }
        std::smatch more;
        const bool next =
            std::regex_search(page->body, more, std::regex("href=\"(zephlist\\.php[^\"]+)\""));
        path = next ? "/plugin/" + std::regex_replace(more[1].str(), std::regex("&amp;"), "&") : "";
    }
    EXPECT_EQ(pages, 3u);
    EXPECT_EQ(seen.size(), 1200u);
}

TEST_F(WebPages, HelpPageAndSiteRootLinkToTheServicePages) {
    const auto help = service_.Client().Get("/help/plugin.htm");
    const auto root = service_.Client().Get("/");
    ASSERT_TRUE(help);
    ASSERT_TRUE(root);
    EXPECT_EQ(help->status, 200);
    EXPECT_EQ(root->status, 200);
    const std::string login = "href=\"" + service_.baseUrl() + "zephlist/login.php\"";
    EXPECT_NE(help->body.find(login), std::string::npos);
    EXPECT_NE(root->body.find(login), std::string::npos);
    EXPECT_NE(root->body.find("href=\"" + service_.baseUrl() + "help/plugin.htm\""),
              std::string::npos);
    EXPECT_NE(help->body.find("No catagory - new favorite"), std::string::npos);
    const auto loginPage = service_.Client().Get(kLoginPath);
    ASSERT_TRUE(loginPage);
    for (const httplib::Response* page : {&*help, &*root, &*loginPage}) {
        EXPECT_EQ(page->get_header_value("X-Content-Type-Options"), "nosniff");
        EXPECT_NE(page->get_header_value("Content-Security-Policy").find("frame-ancestors 'none'"),
                  std::string::npos);
        EXPECT_EQ(page->get_header_value("X-Frame-Options"), "DENY");
    }
}

TEST_F(WebPages, ARangeOfAnyKindIsRefusedWithoutABody) {
    std::string ranges = "bytes=0-9";
    for (int i = 1; i < 50; ++i)
        ranges += "," + std::to_string(i * 10) + "-" + std::to_string(i * 10 + 9);
    for (const std::string& range : {std::string("bytes=0-9"), std::string("bytes=0-0,2-2"),
                                     std::string("bytes=999999-"), ranges}) {
        for (const char* path : {"/help/plugin.htm", "/no-such-page"}) {
            const auto result = service_.Client().Get(path, {{"Range", range}});
            ASSERT_TRUE(result) << path;
            EXPECT_EQ(result->status, 416) << path << " " << range.substr(0, 20);
            EXPECT_EQ(result->body, "") << path;
            EXPECT_FALSE(result->has_header("Content-Range")) << path;
        }
    }
}

TEST_F(WebPages, OnlyLoopbackNamesAndTheServiceOwnAddressAreServed) {
    struct Case {
        std::string host;
        int status;
    };
    const std::vector<Case> cases = {
        {"127.0.0.1:" + std::to_string(service_.port()), 200},
        {"localhost", 200},
        {"LocalHost.:8080", 200},
        {"app.localhost:1", 200},
        {"127.8.9.10", 200},
        {"[::1]:80", 200},
        {"attacker.example", 421},
        {"attacker.example:" + std::to_string(service_.port()), 421},
        {"127.0.0.1.attacker.example", 421},
        {"localhost.attacker.example", 421},
        {"10.0.0.1", 421},
        {"", 421},
    };
    for (const auto& c : cases) {
        const auto page = service_.Client().Get("/", {{"Host", c.host}});
        ASSERT_TRUE(page) << c.host;
        EXPECT_EQ(page->status, c.status) << c.host;
        const auto add = service_.Client().Post(kAddUrlPath, {{"Host", c.host}},
                                                Demo() + "&name=Via+host&url=-&parent=0",
                                                "application/x-www-form-urlencoded");
        ASSERT_TRUE(add) << c.host;
        EXPECT_EQ(add->status, c.status) << c.host;
    }
}

TEST_F(WebPages, PostsFromPagesOfOtherSitesAreRefused) {
    const std::string own = "http://127.0.0.1:" + std::to_string(service_.port());
    struct Case {
        httplib::Headers headers;
        bool withToken;
        int status;
    };
    const std::vector<Case> cases = {
        {{}, true, 303},
        {{{"Origin", own}}, true, 303},
        {{{"Referer", own + kLoginPath}}, true, 303},
        {{}, false, 403},
        {{{"Origin", own}}, false, 403},
        {{{"Origin", "http://attacker.example"}}, true, 403},
        {{{"Origin", "null"}}, true, 403},
        {{{"Origin", "http://127.0.0.1:1"}}, true, 403},
        {{{"Referer", "http://attacker.example/" + own}}, true, 403},
    };
    for (const auto& c : cases) {
        const std::string body = Demo() + (c.withToken ? LoginFormToken() : "");
        const auto login = PostLogin(body, c.headers);
        ASSERT_TRUE(login);
        EXPECT_EQ(login->status, c.status) << body;
        EXPECT_EQ(login->has_header("Set-Cookie"), c.status == 303) << body;
    }
    // The plug-in sends neither Origin nor Referer; a page of another site does.
    const std::string add = Demo() + "&name=Cross&url=-&parent=0";
    const auto fromPage =
        service_.Client().Post(kAddUrlPath, {{"Origin", "http://attacker.example"}}, add,
                               "application/x-www-form-urlencoded");
    ASSERT_TRUE(fromPage);
    EXPECT_EQ(fromPage->status, 403);
    EXPECT_EQ(service_.PluginReply(kAddUrlPath, add), "OK") << "stored only once";
}

TEST_F(WebPages, UnknownPathIsNotFound) {
    const auto result = service_.Client().Get("/plugin/nothing.php");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 404);
    EXPECT_EQ(result->body, "Not found");
}

}  // namespace
