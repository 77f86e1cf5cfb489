// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/window_docking.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

void PrintTo(const QRect& r, std::ostream* out)
{
    *out << "(" << r.x() << ", " << r.y() << ") " << r.width() << " x " << r.height();
}

namespace kinoverd {

void PrintTo(const DockingFlags& f, std::ostream* out)
{
    *out << "{x_snap " << f.x_snap << ", y_snap " << f.y_snap << ", moves_with_main " << f.moves_with_main << "}";
}

namespace {

constexpr int kMainWidth = 485;
constexpr int kMainHeight = 120;
constexpr int kVideoWidth = 485;
constexpr int kVideoHeight = 360;

constexpr DockingFlags kFree{false, false, false};
constexpr DockingFlags kSnappedY{false, true, false};
constexpr DockingFlags kSnappedBoth{true, true, false};
constexpr DockingFlags kStartUp{};

// Press points inside each window's dragging surface; the video window's is
// on its frame, outside the picture.
constexpr QPoint kMainAnchor{100, 60};
constexpr QPoint kVideoAnchor{20, 10};

QRect MainAt(int left, int top) { return {left, top, kMainWidth, kMainHeight}; }
QRect VideoAt(int left, int top) { return {left, top, kVideoWidth, kVideoHeight}; }

DragOutcome DragMain(const QRect& main, const QRect& video, int dx, int dy, DockingFlags flags)
{
    return DragMainWindow(main, video, kMainAnchor, kMainAnchor + QPoint(dx, dy), flags);
}

DragOutcome DragVideo(const QRect& main, const QRect& video, int dx, int dy, DockingFlags flags)
{
    const auto outcome = DragVideoWindow(main, video, kVideoAnchor, kVideoAnchor + QPoint(dx, dy), flags, false);
    EXPECT_TRUE(outcome.has_value());
    return outcome.value_or(DragOutcome{main, video, flags, false});
}

// ---- both drags: catching the other window's sides ----

enum class Side { kBelow, kAbove, kRightOf, kLeftOf };

const char* NameOf(Side side)
{
    switch (side) {
    case Side::kBelow: return "below";
    case Side::kAbove: return "above";
    case Side::kRightOf: return "right of";
    case Side::kLeftOf: return "left of";
    }
    return "";
}

// A window of the given size `gap` pixels outside one side of `fixed`,
// shifted along that side so that no edges line up.
QRect Beside(const QRect& fixed, Side side, int gap, int width, int height)
{
    const int past_right = fixed.x() + fixed.width();
    const int past_bottom = fixed.y() + fixed.height();
    switch (side) {
    case Side::kBelow: return {fixed.x() + 100, past_bottom + gap, width, height};
    case Side::kAbove: return {fixed.x() + 100, fixed.y() - gap - height, width, height};
    case Side::kRightOf: return {past_right + gap, fixed.y() + 50, width, height};
    case Side::kLeftOf: return {fixed.x() - gap - width, fixed.y() + 50, width, height};
    }
    return {};
}

struct Contact {
    int gap;
    bool catches;
};

// Touching, at the threshold, one pixel beyond it, and one pixel overlapping.
constexpr Contact kContacts[] = {{0, true}, {15, true}, {16, false}, {-1, false}};
constexpr Side kSides[] = {Side::kBelow, Side::kAbove, Side::kRightOf, Side::kLeftOf};

bool Vertical(Side side) { return side == Side::kBelow || side == Side::kAbove; }

// Where a caught window ends up: touching the side, still shifted along it.
QRect Caught(const QRect& fixed, Side side, int width, int height)
{
    return Beside(fixed, side, 0, width, height);
}

void ExpectCatchesAtEverySide(const QRect& fixed, bool drag_main)
{
    const int width = drag_main ? kMainWidth : kVideoWidth;
    const int height = drag_main ? kMainHeight : kVideoHeight;
    for (Side side : kSides) {
        for (const Contact& contact : kContacts) {
            SCOPED_TRACE(std::string(NameOf(side)) + ", gap " + std::to_string(contact.gap));
            // The last step of the drag brings the window 3 pixels closer.
            const QRect start = Beside(fixed, side, contact.gap + 3, width, height);
            const int dx = side == Side::kRightOf ? -3 : side == Side::kLeftOf ? 3 : 0;
            const int dy = side == Side::kBelow ? -3 : side == Side::kAbove ? 3 : 0;
            const QRect moved = start.translated(dx, dy);
            QRect result;
            DockingFlags flags;
            if (drag_main) {
                const DragOutcome outcome = DragMain(start, fixed, dx, dy, kFree);
                EXPECT_EQ(outcome.video, fixed);
                result = outcome.main;
                flags = outcome.flags;
            } else {
                const DragOutcome outcome = DragVideo(fixed, start, dx, dy, kFree);
                EXPECT_EQ(outcome.main, fixed);
                result = outcome.video;
                flags = outcome.flags;
            }
            if (contact.catches) {
                EXPECT_EQ(result, Caught(fixed, side, width, height));
                EXPECT_EQ(flags, (DockingFlags{!Vertical(side), Vertical(side), false}));
            } else {
                EXPECT_EQ(result, moved);
                EXPECT_EQ(flags, kFree);
            }
        }
    }
}

// Also on a screen left of and above the primary one.
TEST(MainWindowDrag, CatchesEachSideOfTheVideoWindowWithin15Pixels)
{
    ExpectCatchesAtEverySide(VideoAt(100, 100), true);
    ExpectCatchesAtEverySide(VideoAt(-1800, -900), true);
}

TEST(VideoWindowDrag, CatchesEachSideOfTheMainWindowWithin15Pixels)
{
    ExpectCatchesAtEverySide(MainAt(600, 500), false);
    ExpectCatchesAtEverySide(MainAt(-1200, -300), false);
}

// ---- the main window's drag ----

TEST(MainWindowDrag, DockedPairMovesAsOneWithoutSnapping)
{
    const QRect video = VideoAt(100, 100);
    const QRect main = MainAt(100, 460);
    for (const QPoint step : {QPoint{37, -12}, QPoint{-400, 900}, QPoint{0, 0}}) {
        const DragOutcome outcome = DragMain(main, video, step.x(), step.y(), kStartUp);
        EXPECT_EQ(outcome.main, main.translated(step));
        EXPECT_EQ(outcome.video, video.translated(step));
        EXPECT_TRUE(outcome.video_moves_along);
        EXPECT_EQ(outcome.flags, kStartUp);
    }
}

TEST(MainWindowDrag, DockedPairCrossesIntoNegativeCoordinates)
{
    const DragOutcome outcome = DragMain(MainAt(-10, 355), VideoAt(-10, -5), -30, -25, kStartUp);
    EXPECT_EQ(outcome.main, MainAt(-40, 330));
    EXPECT_EQ(outcome.video, VideoAt(-40, -30));
    EXPECT_TRUE(outcome.video_moves_along);
}

TEST(MainWindowDrag, UndockedDragLeavesTheVideoWindow)
{
    const QRect video = VideoAt(100, 100);
    const DragOutcome outcome = DragMain(MainAt(900, 900), video, 20, -20, kFree);
    EXPECT_EQ(outcome.main, MainAt(920, 880));
    EXPECT_EQ(outcome.video, video);
    EXPECT_FALSE(outcome.video_moves_along);
    EXPECT_EQ(outcome.flags, kFree);
}

TEST(MainWindowDrag, PulledUnderTheVideoWindowAlignsLeftEdgesAndDocksOnRelease)
{
    const QRect video = VideoAt(100, 100);  // a window below starts at y 460
    // Top 15 below the video window's bottom, left edges 12 apart.
    const DragOutcome outcome = DragMain(MainAt(112, 480), video, 0, -5, kFree);
    EXPECT_EQ(outcome.main, MainAt(100, 460));
    EXPECT_EQ(outcome.flags, (DockingFlags{true, true, false}));
    EXPECT_EQ(ReleaseMainWindow(outcome.flags), (DockingFlags{true, true, true}));
}

TEST(MainWindowDrag, AlignsRightEdgesWhenLeftEdgesAreFarther)
{
    const QRect video = VideoAt(100, 100);
    // Narrower than the video window: left edges 30 apart, right edges 10.
    const QRect main{130, 470, 445, 120};
    const DragOutcome outcome = DragMain(main, video, 0, 0, kFree);
    EXPECT_EQ(outcome.main, (QRect{140, 460, 445, 120}));
    EXPECT_EQ(outcome.flags, (DockingFlags{true, true, false}));
}

TEST(MainWindowDrag, AlignmentCatchesAt15PixelsNotAt16)
{
    const QRect video = VideoAt(100, 100);
    // Touching below with y-snap set; horizontal steps are free.
    const DragOutcome at_16 = DragMain(MainAt(117, 460), video, -1, 0, kSnappedY);
    EXPECT_EQ(at_16.main, MainAt(116, 460));
    EXPECT_EQ(at_16.flags, kSnappedY);
    const DragOutcome at_15 = DragMain(MainAt(116, 460), video, -1, 0, kSnappedY);
    EXPECT_EQ(at_15.main, MainAt(100, 460));
    EXPECT_EQ(at_15.flags, kSnappedBoth);
}

TEST(MainWindowDrag, BesideTheVideoWindowAlignsTopThenBottomEdges)
{
    const QRect video = VideoAt(100, 100);  // a window to the right starts at x 585
    const DragOutcome top = DragMain(MainAt(595, 112), video, -2, 0, kFree);
    EXPECT_EQ(top.main, MainAt(585, 100));
    EXPECT_EQ(top.flags, kSnappedBoth);
    // Tops 235 apart, bottoms 5: the bottom edges are aligned.
    const DragOutcome bottom = DragMain(MainAt(595, 335), video, -2, 0, kFree);
    EXPECT_EQ(bottom.main, MainAt(585, 340));
    EXPECT_EQ(bottom.flags, kSnappedBoth);
    const DragOutcome neither = DragMain(MainAt(595, 200), video, -2, 0, kFree);
    EXPECT_EQ(neither.main, MainAt(585, 200));
    EXPECT_EQ(neither.flags, (DockingFlags{true, false, false}));
}

TEST(MainWindowDrag, SnappedAxisHoldsUpTo15PixelsAndFollowsAt16)
{
    const QRect video = VideoAt(100, 100);
    const QRect main = MainAt(300, 460);  // touching below
    for (int dy : {15, -15, 1}) {
        const DragOutcome held = DragMain(main, video, 0, dy, kSnappedY);
        EXPECT_EQ(held.main, main) << dy;
        EXPECT_EQ(held.flags, kSnappedY) << dy;
    }
    const DragOutcome down = DragMain(main, video, 0, 16, kSnappedY);
    EXPECT_EQ(down.main, MainAt(300, 476));
    EXPECT_EQ(down.flags, kFree);
    const DragOutcome up = DragMain(main, video, 0, -16, kSnappedY);
    EXPECT_EQ(up.main, MainAt(300, 444));
    EXPECT_EQ(up.flags, kFree);
    // Meanwhile it slides freely along the edge.
    const DragOutcome slide = DragMain(main, video, 7, 3, kSnappedY);
    EXPECT_EQ(slide.main, MainAt(307, 460));
    EXPECT_EQ(slide.flags, kSnappedY);
}

TEST(MainWindowDrag, EachAxisTearsLooseOnItsOwn)
{
    const QRect video = VideoAt(100, 100);
    const QRect main = MainAt(100, 460);  // under it, left edges aligned
    const DragOutcome outcome = DragMain(main, video, 10, 16, kSnappedBoth);
    // The horizontal step is held by the x-snap flag, which stays set.
    EXPECT_EQ(outcome.main, MainAt(100, 476));
    EXPECT_EQ(outcome.flags, (DockingFlags{true, false, false}));
}

TEST(MainWindowDrag, ReleaseDocksAfterAnySnapAndNeverUndocks)
{
    EXPECT_EQ(ReleaseMainWindow({true, false, false}), (DockingFlags{true, false, true}));
    EXPECT_EQ(ReleaseMainWindow({false, true, false}), (DockingFlags{false, true, true}));
    EXPECT_EQ(ReleaseMainWindow(kFree), kFree);
    EXPECT_EQ(ReleaseMainWindow({false, false, true}), (DockingFlags{false, false, true}));
}

// ---- the video window's drag ----

TEST(VideoWindowDrag, PictureAreaAndFullScreenDoNotDrag)
{
    const QRect main = MainAt(3000, 3000);
    const QRect video = VideoAt(100, 100);
    for (QPoint inside : {QPoint{54, 29}, QPoint{430, 330}, QPoint{200, 29}}) {
        EXPECT_FALSE(DragVideoWindow(main, video, kVideoAnchor, inside, kFree, false).has_value())
            << inside.x() << ", " << inside.y();
    }
    // One past its last column or row is outside it.
    for (QPoint outside : {QPoint{53, 29}, QPoint{54, 28}, QPoint{431, 330},
                                QPoint{430, 331}}) {
        const auto outcome = DragVideoWindow(main, video, kVideoAnchor, outside, kFree, false);
        ASSERT_TRUE(outcome.has_value()) << outside.x() << ", " << outside.y();
        EXPECT_EQ(outcome->video, video.translated(outside - kVideoAnchor));
    }
    EXPECT_FALSE(DragVideoWindow(main, video, kVideoAnchor, {5, 5}, kFree, true).has_value());
}

TEST(VideoWindowDrag, MovesAloneEvenWhenDocked)
{
    const QRect main = MainAt(100, 460);
    const DragOutcome outcome = DragVideo(main, VideoAt(100, 100), 0, -16, kStartUp);
    EXPECT_EQ(outcome.main, main);
    EXPECT_FALSE(outcome.video_moves_along);
    EXPECT_EQ(outcome.video, VideoAt(100, 84));
}

TEST(VideoWindowDrag, TenPixelsUnderTheMainWindowJumpsUpAndAlignsLeftEdges)
{
    const QRect main = MainAt(100, 100);  // a window below starts at y 220
    const DragOutcome outcome = DragVideo(main, VideoAt(110, 232), 0, -2, kFree);
    EXPECT_EQ(outcome.video, VideoAt(100, 220));
    EXPECT_EQ(outcome.flags, kSnappedBoth);
}

TEST(VideoWindowDrag, BothSnappedHoldWithin15PixelsEitherWay)
{
    const QRect main = MainAt(100, 460);
    const QRect video = VideoAt(100, 100);  // the start-up arrangement
    for (QPoint step : {QPoint{15, 0}, QPoint{-15, 0}, QPoint{0, 15}, QPoint{0, -15},
                             QPoint{15, -15}}) {
        const DragOutcome outcome = DragVideo(main, video, step.x(), step.y(), kStartUp);
        EXPECT_EQ(outcome.video, video) << step.x() << ", " << step.y();
        EXPECT_EQ(outcome.flags, kStartUp) << step.x() << ", " << step.y();
    }
}

TEST(VideoWindowDrag, SixteenAcrossClearsBothThenCatchesTheEdgeAgainAndSlides)
{
    const QRect main = MainAt(100, 460);
    const DragOutcome torn = DragVideo(main, VideoAt(100, 100), 16, 0, kStartUp);
    EXPECT_EQ(torn.video, VideoAt(116, 100));
    // Still touching the main window's top: y-snap again at once.
    EXPECT_EQ(torn.flags, (DockingFlags{false, true, true}));

    const DragOutcome slid = DragVideo(main, torn.video, 5, 9, torn.flags);
    EXPECT_EQ(slid.video, VideoAt(121, 100));
    EXPECT_EQ(slid.flags, torn.flags);

    const DragOutcome caught = DragVideo(main, slid.video, -6, 0, slid.flags);
    EXPECT_EQ(caught.video, VideoAt(100, 100));
    EXPECT_EQ(caught.flags, kStartUp);
}

TEST(VideoWindowDrag, TearingLooseFreesBothAxesAtOnce)
{
    const QRect main = MainAt(100, 460);
    // x-snap lets go at 16 across, so the vertical step is no longer held.
    const DragOutcome outcome = DragVideo(main, VideoAt(100, 100), 16, 10, kStartUp);
    EXPECT_EQ(outcome.video, VideoAt(116, 110));
    EXPECT_EQ(outcome.flags, (DockingFlags{false, false, true}));
}

TEST(VideoWindowDrag, SixteenAlongTheLockedAxisClearsBothFlags)
{
    const QRect main = MainAt(100, 460);
    // The horizontal step is held by x-snap, then the vertical one tears
    // both loose; the held step stays held.
    const DragOutcome outcome = DragVideo(main, VideoAt(100, 100), 10, -16, kStartUp);
    EXPECT_EQ(outcome.video, VideoAt(100, 84));
    EXPECT_EQ(outcome.flags, (DockingFlags{false, false, true}));
    EXPECT_EQ(ReleaseVideoWindow(outcome.flags), kFree);
}

TEST(VideoWindowDrag, TallerWindowStillCatchesTheMainWindowsSide)
{
    const QRect main = MainAt(500, 400);  // rows 400..519
    // Left of it, reaching above and below it.
    const DragOutcome caught = DragVideo(main, VideoAt(5, 300), 0, 0, kFree);
    EXPECT_EQ(caught.video, VideoAt(15, 300));
    EXPECT_EQ(caught.flags, (DockingFlags{true, false, false}));
    // And slides along that side.
    const DragOutcome slid = DragVideo(main, caught.video, 4, 20, caught.flags);
    EXPECT_EQ(slid.video, VideoAt(15, 320));
    EXPECT_EQ(slid.flags, caught.flags);
}

TEST(VideoWindowDrag, ReleaseDocksAfterAnySnapAndUndocksOtherwise)
{
    EXPECT_EQ(ReleaseVideoWindow({true, false, false}), (DockingFlags{true, false, true}));
    EXPECT_EQ(ReleaseVideoWindow({false, true, false}), (DockingFlags{false, true, true}));
    EXPECT_EQ(ReleaseVideoWindow({false, false, true}), kFree);
    EXPECT_EQ(ReleaseVideoWindow(kFree), kFree);
}

}  // namespace
}  // namespace kinoverd
