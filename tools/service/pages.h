// The HTML pages of the site: the login form, the favorites behind it, a user's public page,
// the plug-in help and the site root. Every text from a user goes through EscapeHtml.
#pragma once

#include "tools/service/store.h"

#include <string>
#include <string_view>
#include <vector>

namespace service {

std::string EscapeHtml(std::string_view text);

// Only these schemes become links; anything else (javascript:, data:) is shown as text.
bool IsLinkableUrl(std::string_view url);

struct FavoritesView {
    std::string title;
    std::vector<Category> categories;
    std::vector<Favorite> favorites;
    bool includePrivate = false;
    // The address of the page with the favorites that follow; empty on the last page.
    std::string nextPage;
};

// Every form of the site carries formToken in the field "form_token": the proof that the post
// comes from a page of this site.
constexpr const char kFormTokenField[] = "form_token";

std::string RenderLoginPage(std::string_view message, std::string_view formToken);
// The signed-in user's favorites, with a log-out button.
std::string RenderSignedInPage(std::string_view email, const FavoritesView& view,
                               std::string_view formToken);
std::string RenderPublicPage(const FavoritesView& view);
std::string RenderHelpPage(std::string_view baseUrl);
std::string RenderSiteRoot(std::string_view baseUrl);
std::string RenderMessagePage(std::string_view title, std::string_view message);

}  // namespace service
