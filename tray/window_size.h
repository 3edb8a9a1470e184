// The pop-up's stored size (width and height as "%i %i") and where the pop-up goes on the
// screen.
#pragma once

#include <string>
#include <string_view>

namespace tray {

constexpr int kDefaultPopupWidth = 600;
constexpr int kDefaultPopupHeight = 500;
// Below this a stored size leaves no usable page, however it got into the registry.
constexpr int kMinimumPopupSide = 100;

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

// Each side between kMinimumPopupSide and the screen's (the screen wins on a screen smaller
// than that).
PopupSize ClampToScreen(PopupSize size, int screenWidth, int screenHeight);

// What the pop-up is created with: the stored text parsed and clamped.
PopupSize PopupSizeFromStored(std::string_view stored, int screenWidth, int screenHeight);

// Anchored 10 pixels left of the screen's right edge and 30 above its bottom, where the
// notification area usually is.
PopupRect PopupRectangle(PopupSize size, int screenWidth, int screenHeight);

// The text stored after a resize.
std::string FormatStoredSize(PopupSize size);

}  // namespace tray
