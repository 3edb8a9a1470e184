// Reads icon resources back the way the system hands them out: the sizes listed in an icon
// group, and the pixels of the image that LoadImage picks for a size.
#pragma once

#include <windows.h>

#include <set>
#include <vector>

namespace icon_probe {

struct GroupInfo {
    bool found = false;
    std::set<int> sizes;  // square images only
    bool allSquare = true;
    bool allThirtyTwoBit = true;
    size_t count = 0;
};

GroupInfo ReadGroup(HMODULE module, int groupId);

struct IconImage {
    int size = 0;
    std::vector<DWORD> pixels;  // 0xAARRGGBB, rows top-down; empty when loading failed

    unsigned Alpha(int x, int y) const { return pixels[y * size + x] >> 24; }
};

IconImage LoadIconImage(HMODULE module, int iconId, int size);

// Shares of the image's opaque pixels (alpha of at least half) by rough colour.
struct ColourShares {
    double cover = 0;  // opaque pixels among all pixels
    double blue = 0;
    double yellow = 0;
    double red = 0;
    double green = 0;
    double grey = 0;
};

ColourShares MeasureColours(const IconImage& image);

}  // namespace icon_probe
