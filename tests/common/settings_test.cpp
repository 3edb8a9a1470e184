// The settings store against the real registry, with HKEY_CURRENT_USER redirected to a scratch
// key for each test.
#include "common/settings.h"

#include "tests/support/registry_sandbox.h"
#include "tests/support/settings_paths.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <string>

using testing_support::ReadText;
using testing_support::RegistrySandbox;
using testing_support::SetRawValue;
using testing_support::ValueExists;

namespace {

constexpr const char kKey[] = "Software\\Orvek\\Tavrello";

class SettingsStore : public ::testing::Test {
protected:
    std::string Read(const char* name, const char* defaultText, DWORD size) {
        std::string buffer(size + 8, '#');
        const int length =
            common::ReadRegistryString(HKEY_CURRENT_USER, testing_support::kSettingsPath, name,
                                       defaultText, buffer.data(), size);
        const std::string text = buffer.c_str();
        EXPECT_EQ(static_cast<size_t>(length), text.size());
        EXPECT_LT(text.size(), size) << "the text must fit the buffer with its NUL";
        EXPECT_EQ(buffer[size], '#') << "nothing may be written past the buffer";
        return text;
    }

    RegistrySandbox sandbox_;
};

TEST_F(SettingsStore, MissingKeyGivesTheDefaults) {
    EXPECT_EQ(Read("zephlistsize", "600 500", 40), "600 500");
    EXPECT_EQ(Read("email", "", 255), "");
}

TEST_F(SettingsStore, WriteCreatesEveryMissingKeyAndReadsBack) {
    ASSERT_FALSE(testing_support::KeyExists(HKEY_CURRENT_USER, "Software\\Orvek"));
    EXPECT_EQ(common::WriteRegistryString(HKEY_CURRENT_USER, testing_support::kSettingsPath,
                                          "email", "ann@example.com"),
              15);
    DWORD type = 0;
    std::string data;
    ASSERT_TRUE(testing_support::ReadRawValue(HKEY_CURRENT_USER, kKey, "email", type, data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(data, std::string("ann@example.com", 16)) << "stored with its terminating NUL";
    EXPECT_EQ(Read("email", "", 255), "ann@example.com");
}

TEST_F(SettingsStore, EmptyTextIsStoredNotDeleted) {
    common::WriteRegistryString(HKEY_CURRENT_USER, testing_support::kSettingsPath, "password", "");
    EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, kKey, "password"));
    EXPECT_EQ(Read("password", "dflt", 255), "");
}

TEST_F(SettingsStore, PathWithoutSlashOpensOneKeyBelowTheRoot) {
    common::WriteRegistryString(HKEY_CURRENT_USER, "Single", "v", "one");
    EXPECT_EQ(ReadText(HKEY_CURRENT_USER, "Single", "v"), "one");
    char buffer[16];
    common::ReadRegistryString(HKEY_CURRENT_USER, "Single", "v", "", buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "one");
}

TEST_F(SettingsStore, TextOfSizeMinusOneReadsWholeAndLongerReadsAsDefault) {
    const std::string longest(254, 'a');
    common::WriteRegistryString(HKEY_CURRENT_USER, testing_support::kSettingsPath, "email",
                                longest.c_str());
    EXPECT_EQ(Read("email", "", 255), longest);
    const std::string tooLong(255, 'b');
    common::WriteRegistryString(HKEY_CURRENT_USER, testing_support::kSettingsPath, "email",
                                tooLong.c_str());
    EXPECT_EQ(Read("email", "", 255), "") << "never a truncated address";
    common::WriteRegistryString(HKEY_CURRENT_USER, testing_support::kSettingsPath, "email",
                                std::string(1000, 'c').c_str());
    EXPECT_EQ(Read("email", "fallback", 255), "fallback");
}

struct StoredBytes {
    const char* name;
    DWORD type;
    std::string data;
    const char* expected;
};

TEST_F(SettingsStore, StoredBytesOfAnyTypeReadAsTextWhenTheyFormOne) {
    const StoredBytes cases[] = {
        {"exactly the buffer size without NUL", REG_SZ, std::string(8, 'x'), "dflt"},
        {"one short of the buffer without NUL", REG_SZ, std::string(7, 'y'), "yyyyyyy"},
        {"binary with its NUL", REG_BINARY, std::string("abc\0", 4), "abc"},
        {"binary without NUL", REG_BINARY, std::string("abcdefg", 7), "abcdefg"},
        {"binary too long", REG_BINARY, std::string("abcdefgh\0", 9), "dflt"},
        {"dword", REG_DWORD, std::string("\x41\x42\x00\x00", 4), "AB"},
        {"expandable", REG_EXPAND_SZ, std::string("%x%\0", 4), "%x%"},
        {"embedded NUL ends the text", REG_SZ, std::string("ab\0cd\0", 6), "ab"},
        {"empty data", REG_SZ, std::string(), ""},
    };
    for (const auto& stored : cases) {
        SetRawValue(HKEY_CURRENT_USER, kKey, "value", stored.type, stored.data);
        EXPECT_EQ(Read("value", "dflt", 8), stored.expected) << stored.name;
    }
}

TEST_F(SettingsStore, DefaultLongerThanTheBufferIsCut) {
    EXPECT_EQ(Read("missing", "0123456789", 5), "0123");
}

TEST_F(SettingsStore, DeleteRemovesOnlyThatValueAndNeverCreatesKeys) {
    common::DeleteRegistryValue(HKEY_CURRENT_USER, testing_support::kRunPath, "Tavrello");
    EXPECT_FALSE(testing_support::KeyExists(HKEY_CURRENT_USER, "Software\\Microsoft"));

    common::WriteRegistryString(HKEY_CURRENT_USER, testing_support::kRunPath, "Tavrello",
                                "C:\\z.exe");
    common::WriteRegistryString(HKEY_CURRENT_USER, testing_support::kRunPath, "Other", "keep");
    common::DeleteRegistryValue(HKEY_CURRENT_USER, testing_support::kRunPath, "Tavrello");
    const char* run = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, run, "Tavrello"));
    EXPECT_EQ(ReadText(HKEY_CURRENT_USER, run, "Other"), "keep");
    common::DeleteRegistryValue(HKEY_CURRENT_USER, testing_support::kRunPath,
                                "Tavrello");  // already gone
}

TEST_F(SettingsStore, WriteThatFailsDeepDownReportsFailureAndKeepsTheUpperKeys) {
    // Wine enforces no key access rights, but it does refuse a key name over 255 characters.
    const std::string path = "Software/" + std::string(300, 'k') + "/Leaf";
    EXPECT_EQ(common::WriteRegistryString(HKEY_CURRENT_USER, path.c_str(), "email", "x"), 0);
    EXPECT_TRUE(testing_support::KeyExists(HKEY_CURRENT_USER, "Software"));
    char buffer[8];
    EXPECT_EQ(common::ReadRegistryString(HKEY_CURRENT_USER, path.c_str(), "email", "d", buffer, 8),
              1);
    EXPECT_STREQ(buffer, "d");
}

TEST_F(SettingsStore, ReadTextHelperMatchesTheBufferRead) {
    common::WriteRegistryString(HKEY_CURRENT_USER, testing_support::kSettingsPath, "zephlistsize",
                                "800 600");
    EXPECT_EQ(common::ReadRegistryText(HKEY_CURRENT_USER, testing_support::kSettingsPath,
                                       "zephlistsize", "600 500", 40),
              "800 600");
}

TEST(BaseUrl, TheUsersOwnValueWinsAndTheMachineDefaultFillsInWhenItIsAbsentOrEmpty) {
    RegistrySandbox user;
    RegistrySandbox machine(HKEY_LOCAL_MACHINE);
    EXPECT_EQ(common::ReadBaseUrl(), "");
    SetRawValue(HKEY_LOCAL_MACHINE, kKey, "Tavrello", REG_SZ, std::string("http://m/\0", 10));
    EXPECT_EQ(common::ReadBaseUrl(), "http://m/") << "no user value";
    SetRawValue(HKEY_CURRENT_USER, kKey, "Tavrello", REG_SZ, std::string("\0", 1));
    EXPECT_EQ(common::ReadBaseUrl(), "http://m/") << "an empty user value";
    SetRawValue(HKEY_CURRENT_USER, kKey, "Tavrello", REG_SZ, std::string("http://u/\0", 10));
    EXPECT_EQ(common::ReadBaseUrl(), "http://u/");
}

// Each typed value under its own key and name, with its own default and the longest text that
// reads back whole; one character more reads as the default, never cut short.
TEST(TypedSettings, EachValueHasItsKeyItsDefaultAndItsLongestText) {
    const char* run = testing_support::kRunKey;
    const struct {
        const char* key;
        const char* name;
        std::string defaultText;
        std::string stored;
        std::size_t longest;
        std::function<bool(const std::string&)> store;
        std::function<std::string()> read;
    } cases[] = {
        {kKey, "zephlistsize", "600 500", "800 600", 39,
         [](const std::string& s) { return common::StorePopupSize(s), true; },
         [] { return common::ReadPopupSize(); }},
        {kKey, "email", "", "ann@example.com", common::LongestAccountText(),
         [](const std::string& s) {
             return common::StoreAccount({s, "secret"});
         },
         [] { return common::ReadAccount().email; }},
        // The longest entry the tray program writes: a path of MAX_PATH - 1 characters in quotes.
        {run, "Tavrello", "", "\"C:\\Zephlist.exe\"", MAX_PATH + 1,
         [](const std::string& s) { return common::StoreAutostartEntry(s); },
         [] {
             std::string entry = "stale";
             common::ReadAutostartEntry(entry);
             return entry;
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RegistrySandbox sandbox;
        EXPECT_EQ(c.read(), c.defaultText);
        ASSERT_TRUE(c.store(c.stored));
        EXPECT_EQ(ReadText(HKEY_CURRENT_USER, c.key, c.name), c.stored);
        EXPECT_EQ(c.read(), c.stored);
        SetRawValue(HKEY_CURRENT_USER, c.key, c.name, REG_SZ, std::string(c.longest, '9'));
        EXPECT_EQ(c.read(), std::string(c.longest, '9'));
        SetRawValue(HKEY_CURRENT_USER, c.key, c.name, REG_SZ, std::string(c.longest + 1, '9'));
        EXPECT_EQ(c.read(), c.defaultText);
    }
}

TEST(TypedSettings, AccountKeepsItsPasswordAndTheAutostartReadSaysHowItWent) {
    RegistrySandbox sandbox;
    ASSERT_TRUE(common::StoreAccount({"ann@example.com", "secret"}));
    EXPECT_EQ(ReadText(HKEY_CURRENT_USER, kKey, "password"), "secret");
    const char* run = testing_support::kRunKey;
    std::string entry = "stale";
    EXPECT_EQ(common::ReadAutostartEntry(entry), common::StoredValue::kMissing);
    EXPECT_EQ(entry, "");
    ASSERT_TRUE(common::StoreAutostartEntry("x"));
    EXPECT_EQ(common::ReadAutostartEntry(entry), common::StoredValue::kRead);
    SetRawValue(HKEY_CURRENT_USER, run, "Tavrello", REG_SZ, std::string(MAX_PATH + 2, 'x'));
    EXPECT_EQ(common::ReadAutostartEntry(entry), common::StoredValue::kUnreadable);
    EXPECT_TRUE(common::DeleteAutostartEntry());
    EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, run, "Tavrello"));
    EXPECT_TRUE(common::DeleteAutostartEntry()) << "an entry already gone";
}

}  // namespace
