#include "tools/service/pages.h"

#include "tools/service/text_encoding.h"

#include <cctype>

namespace service {
namespace {

std::string Page(std::string_view title, const std::string& body) {
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">"
           "<meta http-equiv=\"X-UA-Compatible\" content=\"IE=edge\">"
           "<title>" +
           EscapeHtml(title) +
           "</title><style>"
           "body{font-family:Tahoma,Verdana,sans-serif;font-size:13px;margin:12px;}"
           "h1{font-size:17px;}h2{font-size:14px;margin:14px 0 4px;}"
           "ul{margin:0;padding-left:18px;}.empty{color:#777;}.error{color:#b00;}"
           "</style></head><body>\n" +
           body + "</body></html>\n";
}

std::string FavoriteItem(const Favorite& favorite) {
    if (IsLinkableUrl(favorite.url)) {
        return "<li><a href=\"" + EscapeHtml(favorite.url) +
               "\" target=\"_blank\" rel=\"noopener\">" + EscapeHtml(favorite.name) + "</a></li>\n";
    }
    return "<li>" + EscapeHtml(favorite.name) + " (" + EscapeHtml(favorite.url) + ")</li>\n";
}

std::string Section(std::string_view heading, int64_t parent, const FavoritesView& view,
                    bool showWhenEmpty) {
    std::string items;
    for (const Favorite& favorite : view.favorites) {
        if (favorite.parent == parent) items += FavoriteItem(favorite);
    }
    if (items.empty() && !showWhenEmpty) return std::string();
    std::string html = "<h2>" + EscapeHtml(heading) + "</h2>\n";
    html +=
        items.empty() ? "<p class=\"empty\">No favorites yet.</p>\n" : "<ul>\n" + items + "</ul>\n";
    return html;
}

std::string FavoritesHtml(const FavoritesView& view) {
    std::string html = Section("Home", kHomeId, view, false);
    for (const Category& category : view.categories) {
        html += Section(category.name, category.id, view, true);
    }
    html += Section("No catagory", kNoCategoryId, view, false);
    if (view.includePrivate) html += Section("Private Links", kPrivateLinksId, view, false);
    if (html.empty()) html = "<p class=\"empty\">No favorites yet.</p>\n";
    return html;
}

std::string TokenField(std::string_view formToken) {
    return std::string("<input type=\"hidden\" name=\"") + kFormTokenField + "\" value=\"" +
           EscapeHtml(formToken) + "\">";
}

}  // namespace

std::string EscapeHtml(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

bool IsLinkableUrl(std::string_view url) {
    const size_t colon = url.find(':');
    if (colon == std::string_view::npos) return false;
    const std::string scheme = AsciiLower(url.substr(0, colon));
    return scheme == "http" || scheme == "https" || scheme == "ftp";
}

std::string RenderLoginPage(std::string_view message, std::string_view formToken) {
    std::string body = "<h1>Tavrello</h1>\n";
    if (!message.empty()) body += "<p class=\"error\">" + EscapeHtml(message) + "</p>\n";
    body += "<form method=\"post\" action=\"login.php\" accept-charset=\"utf-8\">\n" +
            TokenField(formToken) +
            "\n<p><label>E-mail address<br><input type=\"text\" name=\"email\" "
            "size=\"30\"></label></p>\n"
            "<p><label>Password<br><input type=\"password\" name=\"password\" "
            "size=\"30\"></label></p>\n"
            "<p><input type=\"submit\" value=\"Log in\"></p>\n"
            "</form>\n";
    return Page("Tavrello - Log in", body);
}

std::string RenderSignedInPage(std::string_view email, const FavoritesView& view,
                               std::string_view formToken) {
    std::string body =
        "<form method=\"post\" action=\"login.php\" style=\"float:right\">"
        "<input type=\"hidden\" name=\"action\" value=\"logout\">" +
        TokenField(formToken) + "<input type=\"submit\" value=\"Log out\"></form>\n";
    body += "<h1>" + EscapeHtml(view.title) + "</h1>\n<p>" + EscapeHtml(email) + "</p>\n";
    body += FavoritesHtml(view);
    return Page(view.title, body);
}

std::string RenderPublicPage(const FavoritesView& view) {
    std::string more;
    if (!view.nextPage.empty()) {
        more = "<p><a href=\"" + EscapeHtml(view.nextPage) + "\">More favorites</a></p>\n";
    }
    return Page(view.title,
                "<h1>" + EscapeHtml(view.title) + "</h1>\n" + FavoritesHtml(view) + more);
}

std::string RenderHelpPage(std::string_view baseUrl) {
    const std::string base = EscapeHtml(baseUrl);
    return Page("Tavrello - Browser plug-in help",
                "<h1>The Tavrello browser plug-in</h1>\n"
                "<p>The plug-in's button in Internet Explorer adds the page you are looking at to "
                "your favorites on Tavrello.</p>\n<ul>\n"
                "<li>Pick a category, or \"No catagory - new favorite\", \"Home\" or \"Private "
                "Links\". Private links appear only when you are logged in.</li>\n"
                "<li>\"New category\" creates a category at the top level.</li>\n"
                "<li>The e-mail address and password are those of your Tavrello account; change "
                "them under Options.</li>\n</ul>\n"
                "<p>Service address for the options: <code>" +
                    base + "</code></p>\n<p><a href=\"" + base +
                    "zephlist/login.php\">Log in to see your favorites</a></p>\n");
}

std::string RenderSiteRoot(std::string_view baseUrl) {
    const std::string base = EscapeHtml(baseUrl);
    return Page("Tavrello",
                "<h1>Tavrello</h1>\n<p>Your favorite web pages, sorted into "
                "categories, wherever you are.</p>\n<ul>\n<li><a href=\"" +
                    base + "zephlist/login.php\">Log in</a></li>\n<li><a href=\"" + base +
                    "help/plugin.htm\">Browser plug-in help</a></li>\n</ul>\n");
}

std::string RenderMessagePage(std::string_view title, std::string_view message) {
    return Page(title, "<h1>" + EscapeHtml(title) + "</h1>\n<p>" + EscapeHtml(message) + "</p>\n");
}

}  // namespace service
