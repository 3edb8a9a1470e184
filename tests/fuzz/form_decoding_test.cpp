// The form decoder that the fuzz targets trust, checked by hand-made cases first.
#include "tests/fuzz/form_decoding.h"

#include <gtest/gtest.h>

#include "common/form_encoding.h"
#include "plugin/client/form_body.h"

namespace {

using Fields = std::vector<std::pair<std::string, std::string>>;

TEST(FormDecoding, ComponentsDecodePlusAndPercentAndKeepBrokenEscapes) {
    const struct {
        const char* encoded;
        std::string decoded;
    } cases[] = {
        {"a+b", "a b"}, {"%41%3d%3D", "A=="}, {"100%", "100%"},
        {"%4", "%4"},   {"%zz1", "%zz1"},     {"%00x", std::string("\0x", 2)},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(fuzz_support::DecodeFormComponent(c.encoded), c.decoded) << c.encoded;
    }
}

TEST(FormDecoding, FieldsKeepTheirOrderAndEmptyValues) {
    EXPECT_EQ(fuzz_support::DecodeFormFields("b=2&a=&c&d=x%26y"),
              (Fields{{"b", "2"}, {"a", ""}, {"c", ""}, {"d", "x&y"}}));
    EXPECT_EQ(fuzz_support::DecodeFormFields(""), Fields{});
    EXPECT_EQ(fuzz_support::DecodeFormFields("&"), (Fields{{"", ""}, {"", ""}}));
}

TEST(FormDecoding, EncodedValuesOfEveryByteComeBack) {
    std::string all;
    for (int byte = 0; byte < 256; ++byte) all += static_cast<char>(byte);
    EXPECT_EQ(fuzz_support::DecodeFormComponent(common::FormEncode(all)), all);
}

TEST(FormDecoding, AddBodyFieldsComeBackInOrder) {
    const std::string body =
        plugin::AddPageBody("a&b@x", "p=q %", "T\xE6st + more", "http://h/?a=1&b=2", -10);
    EXPECT_EQ(fuzz_support::DecodeFormFields(body), (Fields{{"email", "a&b@x"},
                                                            {"password", "p=q %"},
                                                            {"name", "T\xE6st + more"},
                                                            {"url", "http://h/?a=1&b=2"},
                                                            {"parent", "-10"}}));
}

}  // namespace
