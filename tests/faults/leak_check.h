// Compares the figures taken before and after many rounds of the same work.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "tests/faults/resource_figures.h"

namespace faults_testing {

// Memory the quieter half of a run may add without a leak. A leak grows in both halves of a
// run; the heap committing one more segment (a single step of some MiB under 32-bit Wine) or
// the local peer's record of the requests lands in one. Over 500 rounds a leak of 2 KiB a
// round is above it.
constexpr SIZE_T kHalfRunMemoryBytes = 1024 * 1024;

// Handles the system may open once, on its own, somewhere in the rounds (64-bit Wine now and
// then keeps one more); a leak of one handle a round over hundreds of rounds is far above it.
constexpr DWORD kHandleSlack = 4;

// Handles, windows and (where the system counts them) GDI and USER objects come back to their
// starting figures; private memory stays flat in at least one half of the run.
inline void ExpectBackToStart(const char* what, const ResourceFigures& start,
                              const ResourceFigures& middle, const ResourceFigures& end) {
    PrintFigures(what, "start", start);
    PrintFigures(what, "middle", middle);
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
    const auto growth = [](const ResourceFigures& from, const ResourceFigures& to) {
        return to.privateBytes > from.privateBytes ? to.privateBytes - from.privateBytes : 0;
    };
    EXPECT_LE(std::min(growth(start, middle), growth(middle, end)), kHalfRunMemoryBytes) << what;
}

}  // namespace faults_testing
