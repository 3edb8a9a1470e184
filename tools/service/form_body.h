// Reading application/x-www-form-urlencoded bodies and the Content-Type that declares them.
#pragma once

#include "tools/service/percent_decoding.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace service {

// Escapes everything but unreserved characters, for a value placed in a URL query.
std::string PercentEncode(std::string_view text);

class FormFields {
public:
    static FormFields Parse(std::string_view body);
    // Parses and converts every name and value to UTF-8 from the charset the request declared;
    // nothing when a value is not text in that charset.
    static std::optional<FormFields> ParseAs(std::string_view body, std::string_view charset);

    // The first value of the field, as decoded bytes; nothing when the field is absent.
    std::optional<std::string> Get(std::string_view name) const;
    size_t size() const { return fields_.size(); }

private:
    std::vector<std::pair<std::string, std::string>> fields_;
};

struct ContentType {
    std::string mediaType;  // lower case, parameters removed
    std::string charset;    // as declared, empty when none

    static ContentType Parse(std::string_view header);
    bool IsForm() const { return mediaType == "application/x-www-form-urlencoded"; }
};

}  // namespace service
