// Conversions between the 8-bit texts of the desktop client (Windows-1252) and the UTF-8 that
// the service stores and serves in its pages.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace service {

std::string Windows1252ToUtf8(std::string_view text);

// Characters that Windows-1252 cannot hold become '?': the client can only show 8-bit text.
std::string Utf8ToWindows1252(std::string_view text);

// Lower case for ASCII letters only: header names, schemes, host names, charset labels.
std::string AsciiLower(std::string_view text);

bool IsValidUtf8(std::string_view text);

// Converts a decoded form value from the charset its request declared. Unknown charsets and
// invalid UTF-8 give nothing.
std::optional<std::string> ToUtf8(std::string_view text, std::string_view charset);

}  // namespace service
