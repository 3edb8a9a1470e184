// Form encoding and the exact bytes of every request body.
#include "plugin/client/form_body.h"

#include "tests/support/http_peer.h"

#include <gtest/gtest.h>

#include <string>

using namespace plugin;

namespace {

TEST(FormEncode, KeepsTheUnreservedSetAndEncodesEveryOtherByte) {
    const struct {
        std::string value;
        const char* encoded;
    } cases[] = {
        {"AZaz09*-._", "AZaz09*-._"},
        {"Tom & Jerry", "Tom+%26+Jerry"},
        {"?a=1&b=2", "%3Fa%3D1%26b%3D2"},
        {"p%+=", "p%25%2B%3D"},
        {"ann@example.com", "ann%40example.com"},
        {"\xE6\xF8\xE5\xFF", "%E6%F8%E5%FF"},
        {std::string("a\0b", 3), "a%00b"},
        {"~/:\r\n", "%7E%2F%3A%0D%0A"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(common::FormEncode(c.value), c.encoded) << c.value;
}

TEST(FormEncode, EveryByteSurvivesAFormDecode) {
    std::string all;
    for (int byte = 1; byte < 256; ++byte) all += static_cast<char>(byte);
    const auto fields = testing_support::DecodeForm("v=" + common::FormEncode(all));
    EXPECT_EQ(fields.at("v"), all);
}

TEST(RequestBodies, ExactBytes) {
    EXPECT_EQ(CategoryListBody("ann@example.com", "secret"),
              "email=ann%40example.com&password=secret&version=1.05");
    EXPECT_EQ(AddPageBody("a@b.c", "pw", "Tom & Jerry", "http://x/?a=1&b=2", -10),
              "email=a%40b.c&password=pw&name=Tom+%26+Jerry&url=http%3A%2F%2Fx%2F%3Fa%3D1%26b%3D2"
              "&parent=-10");
    EXPECT_EQ(AddPageBody("a@b.c", "pw", "New one", "-", 0),
              "email=a%40b.c&password=pw&name=New+one&url=-&parent=0");
    EXPECT_EQ(WebPageBody("", ""), "email=&password=");
}

TEST(RequestBodies, DecodeToTheFieldsAsTyped) {
    const std::string password = "p%+=&\xE6";
    const auto fields = testing_support::DecodeForm(
        AddPageBody("\xF8le@b.c", password, "Tom & Jerry", "?a=1&b=2", 12));
    EXPECT_EQ(fields.size(), 5u);
    EXPECT_EQ(fields.at("email"), "\xF8le@b.c");
    EXPECT_EQ(fields.at("password"), password);
    EXPECT_EQ(fields.at("name"), "Tom & Jerry");
    EXPECT_EQ(fields.at("url"), "?a=1&b=2");
    EXPECT_EQ(fields.at("parent"), "12");
}

}  // namespace
