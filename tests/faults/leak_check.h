// Compares the figures taken before and after many rounds of the same work.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>

#include "tests/faults/resource_figures.h"

namespace faults_testing {

// Memory a thousand rounds may add without a leak: heap growth and the local peer's record of
// every request it served. A leak of a few KiB per round is well above it.
constexpr SIZE_T kFlatMemoryBytes = 3 * 1024 * 1024;

// Handles the system may open once, on its own, somewhere in the rounds (64-bit Wine now and
// then keeps one more); a leak of one handle a round over hundreds of rounds is far above it.
constexpr DWORD kHandleSlack = 4;

// Handles, windows and (where the system counts them) GDI and USER objects come back to their
// starting figures; private memory stays within kFlatMemoryBytes.
inline void ExpectBackToStart(const char* what, const ResourceFigures& start,
                              const ResourceFigures& end) {
    PrintFigures(what, "start", start);
    PrintFigures(what, "end", end);
    if (!GdiCountsMove() || !UserCountsMove()) {
        std::printf(
            "[figures] %s: GDI and USER object counts are not reported by this system "
            "(GetGuiResources stays 0); windows are counted instead\n",
            what);
    }
    EXPECT_GT(start.handles, 0u) << what << ": the handle figure is not measured";
    EXPECT_LE(end.handles, start.handles + kHandleSlack) << what;
    EXPECT_LE(end.windows, start.windows) << what;
    if (GdiCountsMove()) {
        EXPECT_LE(end.gdiObjects, start.gdiObjects) << what;
    }
    if (UserCountsMove()) {
        EXPECT_LE(end.userObjects, start.userObjects) << what;
    }
    EXPECT_LE(end.privateBytes, start.privateBytes + kFlatMemoryBytes) << what;
}

}  // namespace faults_testing
