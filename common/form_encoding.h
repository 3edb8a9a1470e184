// Percent-encoding of one value of an application/x-www-form-urlencoded form or query string.
// No Win32 here.
#pragma once

#include <string>
#include <string_view>

// Keeps A-Z a-z 0-9 and "*-._", turns a blank into '+', and every other byte into %XX
// (upper-case hex), so '&', '=', '%', '+' and 8-bit text arrive as typed.
std::string FormEncode(std::string_view value);
