// The stored pop-up size: the text of "zephlistsize", which anything may have written.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "tests/fuzz/fuzz_check.h"
#include "tray/window_size.h"

namespace {

int Saturated(long long value) {
    return value > INT_MAX ? INT_MAX : value < INT_MIN ? INT_MIN : static_cast<int>(value);
}

// What the C library's "%i %i" reads from the same text, as numbers saturated to int.
tray::PopupSize LibraryReading(const std::string& text) {
    long long width = 0;
    long long height = 0;
    tray::PopupSize size;
    const int read = std::sscanf(text.c_str(), "%lli %lli", &width, &height);
    if (read >= 1) size.width = Saturated(width);
    if (read >= 2) size.height = Saturated(height);
    return size;
}

// The library reads "0x" without a hex digit after it differently from one C runtime to the
// next; the stored size never holds that, so the comparison leaves such texts out.
bool HasBareHexPrefix(std::string_view text) {
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
            const char next = i + 2 < text.size() ? text[i + 2] : '\0';
            const bool hex = (next >= '0' && next <= '9') || (next >= 'a' && next <= 'f') ||
                             (next >= 'A' && next <= 'F');
            if (!hex) return true;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const tray::PopupSize parsed = tray::ParseStoredSize(text);

    const std::string upToNul(text.substr(0, text.find('\0')));
    if (!HasBareHexPrefix(upToNul) && upToNul.size() == text.size()) {
        const tray::PopupSize library = LibraryReading(upToNul);
        FUZZ_CHECK(parsed.width == library.width);
        FUZZ_CHECK(parsed.height == library.height);
    }

    // What is stored after a resize reads back as the same size.
    const tray::PopupSize again = tray::ParseStoredSize(tray::FormatStoredSize(parsed));
    FUZZ_CHECK(again.width == parsed.width && again.height == parsed.height);

    // On any screen the pop-up keeps between the minimum and the screen's size, and its
    // rectangle has exactly that size.
    const int screenWidth = size > 0 ? 1 + data[0] * 16 : 1024;
    const int screenHeight = size > 1 ? 1 + data[1] * 16 : 768;
    const tray::PopupSize clamped = tray::PopupSizeFromStored(text, screenWidth, screenHeight);
    FUZZ_CHECK(clamped.width <= screenWidth);
    FUZZ_CHECK(clamped.height <= screenHeight);
    FUZZ_CHECK(clamped.width >= std::min(screenWidth, tray::kMinimumPopupSide));
    FUZZ_CHECK(clamped.height >= std::min(screenHeight, tray::kMinimumPopupSide));
    const tray::PopupRect rect = tray::PopupRectangle(clamped, screenWidth, screenHeight);
    FUZZ_CHECK(rect.right - rect.left == clamped.width);
    FUZZ_CHECK(rect.bottom - rect.top == clamped.height);
    return 0;
}
