#include "plugin/client/form_body.h"

namespace plugin {

namespace {

// Appends "&name=value" (no '&' for the first field) with the value encoded.
void AppendField(std::string& body, std::string_view name, std::string_view value) {
    if (!body.empty()) body += '&';
    body.append(name);
    body += '=';
    body += common::FormEncode(value);
}

}  // namespace

std::string CategoryListBody(std::string_view email, std::string_view password) {
    std::string body;
    AppendField(body, "email", email);
    AppendField(body, "password", password);
    AppendField(body, "version", kClientVersion);
    return body;
}

std::string AddPageBody(std::string_view email, std::string_view password, std::string_view name,
                        std::string_view url, int parent) {
    std::string body;
    AppendField(body, "email", email);
    AppendField(body, "password", password);
    AppendField(body, "name", name);
    AppendField(body, "url", url);
    AppendField(body, "parent", std::to_string(parent));
    return body;
}

std::string WebPageBody(std::string_view email, std::string_view password) {
    std::string body;
    AppendField(body, "email", email);
    AppendField(body, "password", password);
    return body;
}

}  // namespace plugin
