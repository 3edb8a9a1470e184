// The pop-up's stored size: reading "zephlistsize", keeping it on the screen, and placing the
// window near the lower-right corner.
#include "tray/window_size.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

using tray::PopupRect;
using tray::PopupSize;

struct SizeCase {
    const char* stored;
    int width;
    int height;
};

TEST(ParseStoredSize, ReadsTwoIntegersInCNotation) {
    const SizeCase cases[] = {
        {"800 600", 800, 600},
        {"600 500", 600, 500},
        {"0x320 0x258", 800, 600},
        {"0X1F4 0xa", 500, 10},
        {"010 20", 8, 20},
        {"-5 99999", -5, 99999},
        {"+900 +700", 900, 700},
        {"50 50", 50, 50},
        {"  800\t\t600  ", 800, 600},
        {"\n640\r\n480", 640, 480},
        // "%i %i" needs no blank between the numbers: the sign starts the second.
        {"800-600", 800, -600},
        // An octal number ends at the first digit that is not octal; the rest is the next.
        {"08 9", 0, 8},
        {"-0x10 -010", -16, -8},
        {"800 600 400", 800, 600},
        {"99999999999 5", INT_MAX, 5},
        {"-99999999999 5", INT_MIN, 5},
    };
    for (const SizeCase& c : cases) {
        const PopupSize size = tray::ParseStoredSize(c.stored);
        EXPECT_EQ(size.width, c.width) << "width of [" << c.stored << "]";
        EXPECT_EQ(size.height, c.height) << "height of [" << c.stored << "]";
    }
}

TEST(ParseStoredSize, KeepsTheDefaultOfEveryNumberNotRead) {
    const SizeCase cases[] = {
        {"700", 700, 500},
        {"700 ", 700, 500},
        {"", 600, 500},
        {"   ", 600, 500},
        {"abc", 600, 500},
        // Reading stops at the first failure, as a scan does: a later number is never reached.
        {"abc 700", 600, 500},
        {"800 abc", 800, 500},
        {"800,600", 800, 500},
        {"- 600", 600, 500},
        {"0x 700", 0, 500},
        {"0xg 700", 0, 500},
    };
    for (const SizeCase& c : cases) {
        const PopupSize size = tray::ParseStoredSize(c.stored);
        EXPECT_EQ(size.width, c.width) << "width of [" << c.stored << "]";
        EXPECT_EQ(size.height, c.height) << "height of [" << c.stored << "]";
    }
}

TEST(PopupSizeFromStored, ClampsEachSideBetweenOneHundredAndTheScreen) {
    constexpr int kScreenWidth = 1024;
    constexpr int kScreenHeight = 768;
    const SizeCase cases[] = {
        {"800 600", 800, 600},
        {"700", 700, 500},
        {"", 600, 500},
        {"abc", 600, 500},
        {"0x320 0x258", 800, 600},
        {"010 20", 100, 100},
        {"-5 99999", 100, 768},
        {"50 50", 100, 100},
        {"100 100", 100, 100},
        {"99 101", 100, 101},
        {"1024 768", 1024, 768},
        {"1025 769", 1024, 768},
        {"2000 300", 1024, 300},
        {"99999999999 -99999999999", 1024, 100},
    };
    for (const SizeCase& c : cases) {
        const PopupSize size = tray::PopupSizeFromStored(c.stored, kScreenWidth, kScreenHeight);
        EXPECT_EQ(size.width, c.width) << "width of [" << c.stored << "]";
        EXPECT_EQ(size.height, c.height) << "height of [" << c.stored << "]";
    }
}

TEST(ClampToScreen, LetsAScreenSmallerThanTheMinimumWin) {
    const PopupSize size = tray::ClampToScreen(PopupSize{600, 50}, 80, 60);
    EXPECT_EQ(size.width, 80);
    EXPECT_EQ(size.height, 60);
    const PopupSize small = tray::ClampToScreen(PopupSize{10, 10}, 80, 60);
    EXPECT_EQ(small.width, 80);
    EXPECT_EQ(small.height, 60);
}

TEST(PopupRectangle, AnchorsTenPixelsLeftAndThirtyAboveTheScreenCorner) {
    const struct {
        PopupSize size;
        int screenWidth;
        int screenHeight;
        PopupRect expected;
    } cases[] = {
        {{600, 500}, 1024, 768, {414, 238, 1014, 738}},
        {{800, 600}, 1920, 1080, {1110, 450, 1910, 1050}},
        {{100, 100}, 640, 480, {530, 350, 630, 450}},
        // A window as large as the screen reaches past its left and top edges.
        {{1024, 768}, 1024, 768, {-10, -30, 1014, 738}},
    };
    for (const auto& c : cases) {
        const PopupRect rect = tray::PopupRectangle(c.size, c.screenWidth, c.screenHeight);
        EXPECT_EQ(rect.left, c.expected.left);
        EXPECT_EQ(rect.top, c.expected.top);
        EXPECT_EQ(rect.right, c.expected.right);
        EXPECT_EQ(rect.bottom, c.expected.bottom);
        EXPECT_EQ(rect.right - rect.left, c.size.width);
        EXPECT_EQ(rect.bottom - rect.top, c.size.height);
    }
}

// Stored sizes and the corner distance are 96-DPI units: the window is scaled to the monitor's
// DPI, and its size in pixels is stored back in those units.
TEST(PopupRectangle, ScalesTheStoredSizeAndTheMarginsToTheDpi) {
    const struct {
        const char* stored;
        int dpi;
        int screenWidth;
        int screenHeight;
        PopupRect expected;
        const char* storedBack;
    } cases[] = {
        {"600 500", 96, 1024, 768, {414, 238, 1014, 738}, "600 500"},
        {"600 500", 144, 1024, 768, {109, -27, 1009, 723}, "600 500"},
        // 12.5 and 37.5 pixels of margin round up.
        {"600 500", 120, 1280, 1024, {517, 361, 1267, 986}, "600 500"},
        // A size between two pixels keeps its stored value through a round trip.
        {"601 501", 144, 1024, 768, {107, -29, 1009, 723}, "601 501"},
        // The minimum is scaled too; the screen still caps in pixels.
        {"50 50", 144, 1024, 768, {859, 573, 1009, 723}, "100 100"},
        {"2000 2000", 144, 1024, 768, {-15, -45, 1009, 723}, "683 512"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.stored) + " at " + std::to_string(c.dpi));
        const PopupSize size =
            tray::PopupSizeFromStored(c.stored, c.screenWidth, c.screenHeight, c.dpi);
        const PopupRect rect = tray::PopupRectangle(size, c.screenWidth, c.screenHeight, c.dpi);
        EXPECT_EQ(rect.left, c.expected.left);
        EXPECT_EQ(rect.top, c.expected.top);
        EXPECT_EQ(rect.right, c.expected.right);
        EXPECT_EQ(rect.bottom, c.expected.bottom);
        EXPECT_EQ(tray::FormatStoredSize(size, c.dpi), c.storedBack);
    }
    // A size dragged at 150 %, stored at 100 %.
    EXPECT_EQ(tray::FormatStoredSize({1050, 601}, 144), "700 401");
}

TEST(FormatStoredSize, WritesWhatParseStoredSizeReadsBack) {
    const PopupSize sizes[] = {{600, 500}, {1024, 768}, {100, 5000}, {-5, 0}};
    const char* expected[] = {"600 500", "1024 768", "100 5000", "-5 0"};
    for (size_t i = 0; i < sizeof(sizes) / sizeof(sizes[0]); ++i) {
        const std::string text = tray::FormatStoredSize(sizes[i]);
        EXPECT_EQ(text, expected[i]);
        const PopupSize back = tray::ParseStoredSize(text);
        EXPECT_EQ(back.width, sizes[i].width);
        EXPECT_EQ(back.height, sizes[i].height);
    }
}

}  // namespace
