// Percent-encoding: the one loop behind the form values, the browser's command-line argument and
// the page address. No Win32 here.
#pragma once

#include <string>
#include <string_view>

namespace common {

// Every byte for which needsEncoding holds becomes %XX (upper-case hex); the others stay.
std::string PercentEncode(std::string_view text, bool (*needsEncoding)(unsigned char byte));

// One value of an application/x-www-form-urlencoded form or query string: keeps A-Z a-z 0-9
// and "*-._", turns a blank into '+', and every other byte into %XX, so '&', '=', '%', '+' and
// 8-bit text arrive as typed.
std::string FormEncode(std::string_view value);

}  // namespace common
