// Decoding of application/x-www-form-urlencoded text, the way a web server reads the plug-in's
// request bodies. The fuzz targets check the plug-in's encoder and body builders against it.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace fuzz_support {

// '+' is a blank and %XX (either hex case) one byte; a '%' not followed by two hex digits is
// kept as it is.
std::string DecodeFormComponent(std::string_view text);

// The fields of a body in the order sent, names and values decoded; "a" alone is ("a", "").
std::vector<std::pair<std::string, std::string>> DecodeFormFields(std::string_view body);

}  // namespace fuzz_support
