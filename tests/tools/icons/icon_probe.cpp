// Icon resources read back through the system's resource and GDI functions.
#include "tests/tools/icons/icon_probe.h"

#include <cstdlib>

namespace icon_probe {
namespace {

#pragma pack(push, 2)
struct GroupIconHeader {
    WORD reserved;
    WORD type;
    WORD count;
};
struct GroupIconEntry {
    BYTE width;
    BYTE height;
    BYTE colourCount;
    BYTE reserved;
    WORD planes;
    WORD bitCount;
    DWORD bytesInResource;
    WORD id;
};
#pragma pack(pop)

}  // namespace

GroupInfo ReadGroup(HMODULE module, int groupId) {
    GroupInfo info;
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(groupId), RT_GROUP_ICON);
    if (!found) return info;
    const auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
    if (!bytes || SizeofResource(module, found) < sizeof(GroupIconHeader)) return info;
    info.found = true;
    const auto* header = reinterpret_cast<const GroupIconHeader*>(bytes);
    const auto* entries = reinterpret_cast<const GroupIconEntry*>(bytes + sizeof(GroupIconHeader));
    info.count = header->count;
    for (WORD i = 0; i < header->count; ++i) {
        const GroupIconEntry& entry = entries[i];
        if (entry.width != entry.height) info.allSquare = false;
        if (entry.bitCount != 32) info.allThirtyTwoBit = false;
        info.sizes.insert(entry.width == 0 ? 256 : entry.width);
    }
    return info;
}

IconImage LoadIconImage(HMODULE module, int iconId, int size) {
    IconImage image;
    image.size = size;
    HICON icon = static_cast<HICON>(
        LoadImageA(module, MAKEINTRESOURCEA(iconId), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
    if (!icon) return image;
    ICONINFO parts = {};
    if (GetIconInfo(icon, &parts)) {
        BITMAPINFO format = {};
        format.bmiHeader.biSize = sizeof(format.bmiHeader);
        format.bmiHeader.biWidth = size;
        format.bmiHeader.biHeight = -size;  // top-down
        format.bmiHeader.biPlanes = 1;
        format.bmiHeader.biBitCount = 32;
        format.bmiHeader.biCompression = BI_RGB;
        std::vector<DWORD> pixels(static_cast<size_t>(size) * size);
        HDC screen = GetDC(nullptr);
        const int rows =
            GetDIBits(screen, parts.hbmColor, 0, size, pixels.data(), &format, DIB_RGB_COLORS);
        ReleaseDC(nullptr, screen);
        if (rows == size) image.pixels = std::move(pixels);
        DeleteObject(parts.hbmColor);
        DeleteObject(parts.hbmMask);
    }
    DestroyIcon(icon);
    return image;
}

ColourShares MeasureColours(const IconImage& image) {
    ColourShares shares;
    int opaque = 0;
    for (DWORD pixel : image.pixels) {
        if ((pixel >> 24) < 128) continue;
        ++opaque;
        const int r = (pixel >> 16) & 0xFF;
        const int g = (pixel >> 8) & 0xFF;
        const int b = pixel & 0xFF;
        if (b > r + 40) shares.blue += 1;
        if (r > 180 && g > 120 && b < 120) shares.yellow += 1;
        if (r > g + 60 && r > b + 60) shares.red += 1;
        if (g > r + 40 && g > b + 20) shares.green += 1;
        if (std::abs(r - g) < 20 && std::abs(g - b) < 24 && r > 90 && r < 250) shares.grey += 1;
    }
    if (image.pixels.empty() || opaque == 0) return shares;
    shares.cover = static_cast<double>(opaque) / image.pixels.size();
    for (double* share : {&shares.blue, &shares.yellow, &shares.red, &shares.green, &shares.grey}) {
        *share /= opaque;
    }
    return shares;
}

}  // namespace icon_probe
