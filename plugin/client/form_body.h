// Request bodies of the service: application/x-www-form-urlencoded forms. No Win32 here.
#pragma once

#include <string>
#include <string_view>

namespace corvane {

// Keeps A-Z a-z 0-9 and "*-._", turns a blank into '+', and every other byte into %XX
// (upper-case hex), so '&', '=', '%', '+' and 8-bit text arrive as typed.
std::string FormEncode(std::string_view value);

// The client version that the category request reports.
constexpr std::string_view kClientVersion = "1.05";

// email=..&password=..&version=..
std::string CategoryListBody(std::string_view email, std::string_view password);
// email=..&password=..&name=..&url=..&parent=..
std::string AddPageBody(std::string_view email, std::string_view password, std::string_view name,
                        std::string_view url, int parent);
// email=..&password=..
std::string WebPageBody(std::string_view email, std::string_view password);

}  // namespace corvane
