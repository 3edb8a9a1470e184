#include "tools/service/form_body.h"

#include "tools/service/text_encoding.h"

#include <cctype>
#include <utility>

namespace service {
namespace {

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

}  // namespace

std::string PercentEncode(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (std::isalnum(b) || c == '-' || c == '_' || c == '.' || c == '~') {
            out += c;
        } else {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 0x0F];
        }
    }
    return out;
}

FormFields FormFields::Parse(std::string_view body) {
    FormFields form;
    while (!body.empty()) {
        const size_t end = body.find('&');
        const std::string_view pair = body.substr(0, end);
        body = end == std::string_view::npos ? std::string_view() : body.substr(end + 1);
        if (pair.empty()) continue;
        const size_t equals = pair.find('=');
        const std::string_view name = pair.substr(0, equals);
        const std::string_view value =
            equals == std::string_view::npos ? std::string_view() : pair.substr(equals + 1);
        form.fields_.emplace_back(PercentDecode(name, true), PercentDecode(value, true));
    }
    return form;
}

std::optional<FormFields> FormFields::ParseAs(std::string_view body, std::string_view charset) {
    FormFields form = Parse(body);
    for (auto& [name, value] : form.fields_) {
        auto utf8Name = ToUtf8(name, charset);
        auto utf8Value = ToUtf8(value, charset);
        if (!utf8Name || !utf8Value) return std::nullopt;
        name = std::move(*utf8Name);
        value = std::move(*utf8Value);
    }
    return form;
}

std::optional<std::string> FormFields::Get(std::string_view name) const {
    for (const auto& [fieldName, value] : fields_) {
        if (fieldName == name) return value;
    }
    return std::nullopt;
}

ContentType ContentType::Parse(std::string_view header) {
    ContentType type;
    const size_t semicolon = header.find(';');
    type.mediaType = AsciiLower(Trim(header.substr(0, semicolon)));
    std::string_view rest =
        semicolon == std::string_view::npos ? std::string_view() : header.substr(semicolon + 1);
    while (!rest.empty()) {
        const size_t end = rest.find(';');
        const std::string_view parameter = Trim(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        const size_t equals = parameter.find('=');
        if (equals == std::string_view::npos) continue;
        if (AsciiLower(Trim(parameter.substr(0, equals))) != "charset") continue;
        std::string_view value = Trim(parameter.substr(equals + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        type.charset = std::string(value);
    }
    return type;
}

}  // namespace service
