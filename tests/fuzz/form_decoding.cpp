#include "tests/fuzz/form_decoding.h"

#include "tools/service/percent_decoding.h"

namespace fuzz_support {

std::string DecodeFormComponent(std::string_view text) {
    return service::PercentDecode(text, true);
}

std::vector<std::pair<std::string, std::string>> DecodeFormFields(std::string_view body) {
    std::vector<std::pair<std::string, std::string>> fields;
    if (body.empty()) return fields;
    size_t start = 0;
    for (;;) {
        const size_t end = body.find('&', start);
        const std::string_view pair = body.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        const size_t equals = pair.find('=');
        if (equals == std::string_view::npos) {
            fields.emplace_back(DecodeFormComponent(pair), std::string());
        } else {
            fields.emplace_back(DecodeFormComponent(pair.substr(0, equals)),
                                DecodeFormComponent(pair.substr(equals + 1)));
        }
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return fields;
}

}  // namespace fuzz_support
