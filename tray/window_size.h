// The pop-up's stored size (width and height as "%i %i") and where the pop-up goes on the
// screen. Stored sizes and the distance from the corner are in pixels at 96 DPI (100 %), what
// users saw while the system stretched the program; on the screen they are scaled to the
// monitor's DPI, and a size the user drags is stored back at 96 DPI.
#pragma once

#include <string>
#include <string_view>

namespace tray {

constexpr int kDefaultPopupWidth = 600;
constexpr int kDefaultPopupHeight = 500;
// Below this a stored size leaves no usable page, however it got into the registry.
constexpr int kMinimumPopupSide = 100;
// The DPI that stored sizes and margins are given at.
constexpr int kStoredSizeDpi = 96;

struct PopupSize {
    int width = kDefaultPopupWidth;
    int height = kDefaultPopupHeight;
};

struct PopupRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// Reads the text the way the C scan format "%i %i" does: each number in C notation (optional
// white space and sign, then decimal, "0x" hexadecimal or leading-0 octal). Reading stops at
// the first number that cannot be read; every number not read keeps its default. Numbers out
// of the int range saturate.
PopupSize ParseStoredSize(std::string_view text);

// A length at 96 DPI in pixels at dpi, and back; rounded to the nearest pixel, saturating.
int ScaleToDpi(int length, int dpi);
int ScaleFromDpi(int pixels, int dpi);

// Each side between kMinimumPopupSide (at dpi) and the screen's (the screen wins on a screen
// smaller than that). Screen sizes are in pixels.
PopupSize ClampToScreen(PopupSize size, int screenWidth, int screenHeight,
                        int dpi = kStoredSizeDpi);

// What the pop-up is created with, in pixels at dpi: the stored text parsed, scaled and clamped.
PopupSize PopupSizeFromStored(std::string_view stored, int screenWidth, int screenHeight,
                              int dpi = kStoredSizeDpi);

// Anchored 10 pixels (at 96 DPI) left of the screen's right edge and 30 above its bottom, where
// the notification area usually is. size and the screen are in pixels at dpi.
PopupRect PopupRectangle(PopupSize size, int screenWidth, int screenHeight,
                         int dpi = kStoredSizeDpi);

// The text stored after a resize, from the outer size in pixels at dpi.
std::string FormatStoredSize(PopupSize size, int dpi = kStoredSizeDpi);

}  // namespace tray
