// The icon files as the system loads them: each number holds the sizes its users ask for, as
// 32-bit images with real transparency, and the picture meant for it; and the deliverables as
// built carry every one of those sizes.
#include "tests/tools/icons/icon_probe.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "tests/support/child_process.h"

namespace {

using icon_probe::ColourShares;
using icon_probe::IconImage;

HMODULE ThisModule() {
    return GetModuleHandleA(nullptr);
}

struct Range {
    double low = 0.0;
    double high = 1.0;
};

struct PluginIcon {
    int id;
    const char* picture;
    std::set<int> sizes;
    Range blue;
    Range yellow;
    Range red;
    Range green;
    Range grey;
    Range cover;
};

constexpr Range kNone{0.0, 0.02};
constexpr Range kAny{0.0, 1.0};

const PluginIcon kPluginIcons[] = {
    // id, picture, sizes, blue, yellow, red, green, grey, cover
    {201,
     "globe with a star",
     {16, 32},
     {0.4, 1},
     {0.08, 0.4},
     kAny,
     {0.05, 0.3},
     kAny,
     {0.4, 0.8}},
    {202, "globe with a plus", {16, 20, 32}, {0.4, 1}, kNone, kAny, {0.3, 1}, kAny, {0.4, 0.8}},
    {204, "folder", {16}, kNone, {0.3, 1}, kAny, kNone, kNone, {0.5, 0.9}},
    {205, "exclamation mark", {16}, kNone, {0.3, 1}, kAny, kNone, kNone, {0.05, 0.3}},
    {206, "house", {16}, kNone, {0, 0.15}, {0.3, 1}, kNone, kAny, {0.3, 0.7}},
    {207, "star", {16, 20, 32}, kNone, {0.5, 1}, kAny, kNone, kNone, {0.2, 0.6}},
    {208, "padlock", {16}, kNone, {0.3, 1}, kAny, kNone, {0.1, 0.5}, {0.3, 0.7}},
};

void ExpectWithin(double value, Range range, const std::string& what) {
    EXPECT_GE(value, range.low) << what;
    EXPECT_LE(value, range.high) << what;
}

TEST(PluginIconFiles, EachGroupHoldsExactlyItsSizesAsThirtyTwoBitImages) {
    for (const PluginIcon& icon : kPluginIcons) {
        const icon_probe::GroupInfo group = icon_probe::ReadGroup(ThisModule(), icon.id);
        ASSERT_TRUE(group.found) << icon.picture;
        EXPECT_EQ(group.sizes, icon.sizes) << icon.picture;
        EXPECT_EQ(group.count, icon.sizes.size()) << icon.picture;
        EXPECT_TRUE(group.allSquare) << icon.picture;
        EXPECT_TRUE(group.allThirtyTwoBit) << icon.picture;
    }
}

TEST(PluginIconFiles, LoadWithTransparentCornersAndAnOpaqueMiddle) {
    for (const PluginIcon& icon : kPluginIcons) {
        for (int size : icon.sizes) {
            const std::string what = std::string(icon.picture) + " at " + std::to_string(size);
            const IconImage image = icon_probe::LoadIconImage(ThisModule(), icon.id, size);
            ASSERT_EQ(image.pixels.size(), static_cast<size_t>(size * size)) << what;
            EXPECT_EQ(image.Alpha(size - 1, 0), 0u) << "top-right corner of " << what;
            EXPECT_EQ(image.Alpha(0, size - 1), 0u) << "bottom-left corner of " << what;
            EXPECT_EQ(image.Alpha(size / 2, size / 2), 255u) << "middle of " << what;
        }
    }
}

TEST(PluginIconFiles, EachNumberShowsItsOwnPicture) {
    for (const PluginIcon& icon : kPluginIcons) {
        for (int size : icon.sizes) {
            const std::string what = std::string(icon.picture) + " at " + std::to_string(size);
            const ColourShares shares =
                icon_probe::MeasureColours(icon_probe::LoadIconImage(ThisModule(), icon.id, size));
            ExpectWithin(shares.cover, icon.cover, "opaque share of " + what);
            ExpectWithin(shares.blue, icon.blue, "blue share of " + what);
            ExpectWithin(shares.yellow, icon.yellow, "yellow share of " + what);
            ExpectWithin(shares.red, icon.red, "red share of " + what);
            ExpectWithin(shares.green, icon.green, "green share of " + what);
            ExpectWithin(shares.grey, icon.grey, "grey share of " + what);
        }
    }
}

// The icon directories of the files this build made, read without running them.
TEST(DeliverableIcons, EachNumberHoldsEverySizeItsUsersDraw) {
    const std::set<int> kTray = {16, 20, 24, 32, 40, 48};
    const std::set<int> kProgram = {16, 20, 24, 32, 40, 48, 256};
    const struct {
        const char* file;
        int id;
        std::set<int> sizes;
        const char* use;
    } kIcons[] = {
        {"Corvane.dll", 201, {16, 32}, "add-favorite dialog"},
        {"Corvane.dll", 202, {16, 20, 32}, "browser button"},
        {"Corvane.dll", 204, {16}, "tree"},
        {"Corvane.dll", 205, {16}, "tree"},
        {"Corvane.dll", 206, {16}, "tree"},
        {"Corvane.dll", 207, {16, 20, 32}, "browser button, hot"},
        {"Corvane.dll", 208, {16}, "tree"},
        {"Zephlist.exe", 201, kTray, "notification area"},
        {"Zephlist.exe", 204, kProgram, "program icon"},
    };
    for (const auto& icon : kIcons) {
        const std::string path = testing_support::TestExecutableFolder() + "..\\bin\\" + icon.file;
        const std::string what = path + " icon " + std::to_string(icon.id) + " (" + icon.use + ")";
        HMODULE file = LoadLibraryExA(path.c_str(), nullptr,
                                      LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(file, nullptr) << path;
        const icon_probe::GroupInfo group = icon_probe::ReadGroup(file, icon.id);
        FreeLibrary(file);
        ASSERT_TRUE(group.found) << what;
        EXPECT_EQ(group.sizes, icon.sizes) << what;
        EXPECT_EQ(group.count, icon.sizes.size()) << what;
        EXPECT_TRUE(group.allSquare) << what;
        EXPECT_TRUE(group.allThirtyTwoBit) << what;
    }
}

}  // namespace
