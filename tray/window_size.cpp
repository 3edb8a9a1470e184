// The pop-up's size and placement: plain arithmetic on texts and numbers, no Win32.
#include "tray/window_size.h"

#include <algorithm>
#include <climits>
#include <cstddef>

namespace tray {
namespace {

bool IsCSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

int DigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 99;
}

// One "%i" conversion at pos; on success advances pos past the number.
bool ScanInteger(std::string_view text, std::size_t& pos, int& value) {
    std::size_t at = pos;
    while (at < text.size() && IsCSpace(text[at])) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        negative = text[at] == '-';
        ++at;
    }
    int base = 10;
    if (at < text.size() && text[at] == '0') {
        base = 8;
        // "0x" without a hexadecimal digit after it is the number 0 followed by an 'x'.
        if (at + 2 < text.size() && (text[at + 1] == 'x' || text[at + 1] == 'X') &&
            DigitValue(text[at + 2]) < 16) {
            base = 16;
            at += 2;
        }
    }
    const std::size_t firstDigit = at;
    long long magnitude = 0;
    while (at < text.size() && DigitValue(text[at]) < base) {
        magnitude = std::min(magnitude * base + DigitValue(text[at]), 1LL << 40);
        ++at;
    }
    if (at == firstDigit) return false;
    const long long signedValue = negative ? -magnitude : magnitude;
    value = static_cast<int>(std::clamp<long long>(signedValue, INT_MIN, INT_MAX));
    pos = at;
    return true;
}

// length * to / from, rounded half away from zero, within the int range.
int Rescale(int length, int to, int from) {
    if (to <= 0 || from <= 0 || to == from) return length;
    const long long scaled = static_cast<long long>(length) * to;
    const long long half = length < 0 ? -(from / 2) : from / 2;
    return static_cast<int>(std::clamp<long long>((scaled + half) / from, INT_MIN, INT_MAX));
}

int ClampSide(int side, int screenSide, int minimumSide) {
    const int lowest = std::min(minimumSide, screenSide);
    return std::clamp(side, lowest, std::max(lowest, screenSide));
}

}  // namespace

PopupSize ParseStoredSize(std::string_view text) {
    PopupSize size;
    std::size_t pos = 0;
    if (ScanInteger(text, pos, size.width)) ScanInteger(text, pos, size.height);
    return size;
}

int ScaleToDpi(int length, int dpi) {
    return Rescale(length, dpi, kStoredSizeDpi);
}

int ScaleFromDpi(int pixels, int dpi) {
    return Rescale(pixels, kStoredSizeDpi, dpi);
}

PopupSize ClampToScreen(PopupSize size, int screenWidth, int screenHeight, int dpi) {
    const int minimumSide = ScaleToDpi(kMinimumPopupSide, dpi);
    return PopupSize{ClampSide(size.width, screenWidth, minimumSide),
                     ClampSide(size.height, screenHeight, minimumSide)};
}

PopupSize PopupSizeFromStored(std::string_view stored, int screenWidth, int screenHeight, int dpi) {
    const PopupSize parsed = ParseStoredSize(stored);
    return ClampToScreen({ScaleToDpi(parsed.width, dpi), ScaleToDpi(parsed.height, dpi)},
                         screenWidth, screenHeight, dpi);
}

PopupRect PopupRectangle(PopupSize size, int screenWidth, int screenHeight, int dpi) {
    PopupRect rect;
    rect.right = screenWidth - ScaleToDpi(10, dpi);
    rect.bottom = screenHeight - ScaleToDpi(30, dpi);
    rect.left = rect.right - size.width;
    rect.top = rect.bottom - size.height;
    return rect;
}

std::string FormatStoredSize(PopupSize size, int dpi) {
    return std::to_string(ScaleFromDpi(size.width, dpi)) + " " +
           std::to_string(ScaleFromDpi(size.height, dpi));
}

}  // namespace tray
