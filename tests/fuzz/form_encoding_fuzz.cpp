// Form values: whatever a page title, an address or a password holds.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/form_encoding.h"
#include "plugin/client/form_body.h"
#include "tests/fuzz/form_decoding.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

bool IsFormSafe(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '*' ||
           c == '-' || c == '.' || c == '_' || c == '+' || c == '%';
}

// Splits the input at its first two 0xFF bytes into up to three values.
std::vector<std::string> Values(std::string_view input) {
    std::vector<std::string> values;
    for (int i = 0; i < 2; ++i) {
        const size_t cut = input.find('\xFF');
        if (cut == std::string_view::npos) break;
        values.emplace_back(input.substr(0, cut));
        input.remove_prefix(cut + 1);
    }
    values.emplace_back(input);
    while (values.size() < 3) values.emplace_back();
    return values;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    const std::string encoded = common::FormEncode(input);
    for (const char c : encoded) FUZZ_CHECK(IsFormSafe(c));
    FUZZ_CHECK(encoded.size() >= input.size() && encoded.size() <= 3 * input.size());
    FUZZ_CHECK(fuzz_support::DecodeFormComponent(encoded) == input);

    const std::vector<std::string> v = Values(input);
    const int parent = size == 0 ? 0 : static_cast<int>(data[0]) - 128;
    using Fields = std::vector<std::pair<std::string, std::string>>;
    FUZZ_CHECK(
        fuzz_support::DecodeFormFields(plugin::AddPageBody(v[0], v[1], v[2], input, parent)) ==
        (Fields{{"email", v[0]},
                {"password", v[1]},
                {"name", v[2]},
                {"url", std::string(input)},
                {"parent", std::to_string(parent)}}));
    FUZZ_CHECK(fuzz_support::DecodeFormFields(plugin::CategoryListBody(v[0], v[1])) ==
               (Fields{{"email", v[0]},
                       {"password", v[1]},
                       {"version", std::string(plugin::kClientVersion)}}));
    FUZZ_CHECK(fuzz_support::DecodeFormFields(plugin::WebPageBody(v[2], v[0])) ==
               (Fields{{"email", v[2]}, {"password", v[0]}}));
    return 0;
}
