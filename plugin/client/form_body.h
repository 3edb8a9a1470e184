// Request bodies of the service: application/x-www-form-urlencoded forms. No Win32 here.
#pragma once

#include <string>
#include <string_view>

#include "common/form_encoding.h"

namespace plugin {

// The client version that the category request reports.
constexpr std::string_view kClientVersion = "1.05";

// email=..&password=..&version=..
std::string CategoryListBody(std::string_view email, std::string_view password);
// email=..&password=..&name=..&url=..&parent=..
std::string AddPageBody(std::string_view email, std::string_view password, std::string_view name,
                        std::string_view url, int parent);
// email=..&password=..
std::string WebPageBody(std::string_view email, std::string_view password);

}  // namespace plugin
