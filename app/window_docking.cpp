#include "app/window_docking.h"

#include <cstdlib>

namespace kinoverd {

namespace {

bool Contains(const WindowRect& rect, WindowPoint point)
{
    return point.x >= rect.left && point.x < rect.right && point.y >= rect.top && point.y < rect.bottom;
}

// Inclusive, so that ranges which only touch count (touching windows share
// an edge value). A window that spans the other's whole range meets it
// too: the tall video window still catches the short main window's side.
bool RangesMeet(int low, int high, int other_low, int other_high)
{
    return low <= other_high && other_low <= high;
}

bool Near(int a, int b) { return std::abs(a - b) <= kSnapThreshold; }

// The steps both drags share once the dragged window has moved: catch the
// outside edges of the fixed window, then align edges along the touching
// side.
//
//   1. Vertical contact. If the windows meet horizontally: when the moving
//      window's top lies 0..15 pixels below the fixed window's bottom, move
//      it up to touch; otherwise, when its bottom lies 0..15 pixels above
//      the fixed window's top, move it down to touch. Either sets y-snap.
//   2. Horizontal contact, the same across: left edge 0..15 pixels right of
//      the fixed window's right edge, else right edge 0..15 pixels left of
//      its left edge; either moves it to touch and sets x-snap.
//   3. Edge alignment. With y-snap set: left edges within 15 pixels are
//      made equal and set x-snap, else right edges likewise. Otherwise,
//      with x-snap set: top edges within 15 pixels are made equal and set
//      y-snap, else bottom edges likewise.
WindowRect SnapToFixedWindow(WindowRect moving, const WindowRect& fixed, DockingFlags& flags)
{
    // 1.
    if (RangesMeet(moving.left, moving.right, fixed.left, fixed.right)) {
        if (fixed.bottom <= moving.top && moving.top <= fixed.bottom + kSnapThreshold) {
            moving = moving.MovedBy(0, fixed.bottom - moving.top);
            flags.y_snap = true;
        } else if (moving.bottom <= fixed.top && fixed.top <= moving.bottom + kSnapThreshold) {
            moving = moving.MovedBy(0, fixed.top - moving.bottom);
            flags.y_snap = true;
        }
    }

    // 2.
    if (RangesMeet(moving.top, moving.bottom, fixed.top, fixed.bottom)) {
        if (fixed.right <= moving.left && moving.left <= fixed.right + kSnapThreshold) {
            moving = moving.MovedBy(fixed.right - moving.left, 0);
            flags.x_snap = true;
        } else if (moving.right <= fixed.left && fixed.left <= moving.right + kSnapThreshold) {
            moving = moving.MovedBy(fixed.left - moving.right, 0);
            flags.x_snap = true;
        }
    }

    // 3.
    if (flags.y_snap) {
        if (Near(moving.left, fixed.left)) {
            flags.x_snap = true;
            moving = moving.MovedBy(fixed.left - moving.left, 0);
        } else if (Near(moving.right, fixed.right)) {
            flags.x_snap = true;
            moving = moving.MovedBy(fixed.right - moving.right, 0);
        }
    } else if (flags.x_snap) {
        if (Near(moving.top, fixed.top)) {
            flags.y_snap = true;
            moving = moving.MovedBy(0, fixed.top - moving.top);
        } else if (Near(moving.bottom, fixed.bottom)) {
            flags.y_snap = true;
            moving = moving.MovedBy(0, fixed.bottom - moving.bottom);
        }
    }
    return moving;
}

}  // namespace

// While the button is held the window follows the pointer, so the pointer
// stays near the anchor and (dx, dy) is the small step since the last move.
//
//   1. Docked: move both windows by (dx, dy); nothing else.
//   2. Unsnap each axis on its own: a snapped axis holds still (its step
//      becomes 0) until the pointer is more than 15 pixels from the anchor
//      along it; then that axis's flag clears.
//   3. Move the main window by (dx, dy).
//   4. Catch and align against the video window (SnapToFixedWindow).
DragOutcome DragMainWindow(const WindowRect& main, const WindowRect& video, WindowPoint anchor,
                           WindowPoint pointer, DockingFlags flags)
{
    int dx = pointer.x - anchor.x;
    int dy = pointer.y - anchor.y;

    // 1.
    if (flags.moves_with_main) {
        return {main.MovedBy(dx, dy), video.MovedBy(dx, dy), flags, true};
    }

    // 2.
    if (flags.x_snap) {
        if (std::abs(dx) > kSnapThreshold) {
            flags.x_snap = false;
        } else {
            dx = 0;
        }
    }
    if (flags.y_snap) {
        if (std::abs(dy) > kSnapThreshold) {
            flags.y_snap = false;
        } else {
            dy = 0;
        }
    }

    // 3.
    const WindowRect moved = main.MovedBy(dx, dy);

    // 4.
    const WindowRect snapped = SnapToFixedWindow(moved, video, flags);
    return {snapped, video, flags, false};
}

DockingFlags ReleaseMainWindow(DockingFlags flags)
{
    if (flags.x_snap || flags.y_snap) flags.moves_with_main = true;
    return flags;
}

// The video window moves alone, whether docked or not.
//
//   1. A pointer in the picture area, or a full-screen picture: no drag.
//   2. (dx, dy) = pointer - anchor.
//   3. Unsnap: while x-snap is set, a horizontal step of more than 15
//      pixels clears both flags, a smaller one becomes 0; then, while y-snap
//      is still set, the same vertically.
//   4. Move the video window by (dx, dy).
//   5. Catch and align against the main window (SnapToFixedWindow).
std::optional<DragOutcome> DragVideoWindow(const WindowRect& main, const WindowRect& video,
                                           WindowPoint anchor, WindowPoint pointer,
                                           DockingFlags flags, bool full_screen)
{
    // 1.
    if (Contains(kVideoArea, pointer) || full_screen) return std::nullopt;

    // 2.
    int dx = pointer.x - anchor.x;
    int dy = pointer.y - anchor.y;

    // 3.
    if (flags.x_snap) {
        if (std::abs(dx) > kSnapThreshold) {
            flags.x_snap = flags.y_snap = false;
        } else {
            dx = 0;
        }
    }
    if (flags.y_snap) {
        if (std::abs(dy) > kSnapThreshold) {
            flags.x_snap = flags.y_snap = false;
        } else {
            dy = 0;
        }
    }

    // 4.
    const WindowRect moved = video.MovedBy(dx, dy);

    // 5.
    const WindowRect snapped = SnapToFixedWindow(moved, main, flags);
    return DragOutcome{main, snapped, flags, false};
}

DockingFlags ReleaseVideoWindow(DockingFlags flags)
{
    flags.moves_with_main = flags.x_snap || flags.y_snap;
    return flags;
}

}  // namespace kinoverd
