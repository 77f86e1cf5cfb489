// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/window_docking.h"

#include <cstdlib>

namespace kinoverd {

namespace {

// Where a window touching `r` from the right or from below begins: one past
// the last column or row, unlike QRect::right() and bottom().
int PastRight(const QRect& r) { return r.x() + r.width(); }
int PastBottom(const QRect& r) { return r.y() + r.height(); }

// Whether two spans along one axis overlap or touch; a span covering the
// other's whole length meets it too, so the tall video window still
// catches the short main window's side.
bool SpansMeet(int start, int length, int other_start, int other_length)
{
    return start <= other_start + other_length && other_start <= start + length;
}

// A gap between facing edges that the moving window crosses by snapping.
bool WithinReach(int gap) { return 0 <= gap && gap <= kSnapThreshold; }

bool Near(int a, int b) { return std::abs(a - b) <= kSnapThreshold; }

// The steps both drags share once the dragged window has moved: catch the
// outside edges of the fixed window, then align edges along the touching
// side.
//
//   1. Vertical contact. If the columns meet: when the moving window's top
//      lies 0..15 pixels below the fixed window, move it up to touch;
//      otherwise, when its bottom lies 0..15 pixels above the fixed window,
//      move it down to touch. Either sets y-snap.
//   2. Horizontal contact, the same across if the rows meet: 0..15 pixels
//      right of the fixed window, else 0..15 pixels left of it; either moves
//      it to touch and sets x-snap.
//   3. Edge alignment. With y-snap set: left edges within 15 pixels are
//      made equal and set x-snap, else right edges likewise. Otherwise,
//      with x-snap set: top edges within 15 pixels are made equal and set
//      y-snap, else bottom edges likewise.
QRect SnapToFixedWindow(QRect moving, const QRect& fixed, DockingFlags& flags)
{
    // 1.
    if (SpansMeet(moving.x(), moving.width(), fixed.x(), fixed.width())) {
        if (WithinReach(moving.y() - PastBottom(fixed))) {
            moving.moveTop(PastBottom(fixed));
            flags.y_snap = true;
        } else if (WithinReach(fixed.y() - PastBottom(moving))) {
            moving.moveTop(fixed.y() - moving.height());
            flags.y_snap = true;
        }
    }

    // 2.
    if (SpansMeet(moving.y(), moving.height(), fixed.y(), fixed.height())) {
        if (WithinReach(moving.x() - PastRight(fixed))) {
            moving.moveLeft(PastRight(fixed));
            flags.x_snap = true;
        } else if (WithinReach(fixed.x() - PastRight(moving))) {
            moving.moveLeft(fixed.x() - moving.width());
            flags.x_snap = true;
        }
    }

    // 3. right() and bottom() are compared only with each other, so their
    // being inclusive does not matter here.
    if (flags.y_snap) {
        if (Near(moving.left(), fixed.left())) {
            flags.x_snap = true;
            moving.moveLeft(fixed.left());
        } else if (Near(moving.right(), fixed.right())) {
            flags.x_snap = true;
            moving.moveRight(fixed.right());
        }
    } else if (flags.x_snap) {
        if (Near(moving.top(), fixed.top())) {
            flags.y_snap = true;
            moving.moveTop(fixed.top());
        } else if (Near(moving.bottom(), fixed.bottom())) {
            flags.y_snap = true;
            moving.moveBottom(fixed.bottom());
        }
    }
    return moving;
}

}  // namespace

// While the button is held the window follows the pointer, so the pointer
// stays near the anchor and the step (pointer - anchor) is the small move
// since the last event.
//
//   1. Docked: move both windows by the step; nothing else.
//   2. Unsnap each axis on its own: a snapped axis holds still (its step
//      becomes 0) until the pointer is more than 15 pixels from the anchor
//      along it; then that axis's flag clears.
//   3. Move the main window by the step.
//   4. Catch and align against the video window (SnapToFixedWindow).
DragOutcome DragMainWindow(const QRect& main, const QRect& video, QPoint anchor, QPoint pointer,
                           DockingFlags flags)
{
    QPoint step = pointer - anchor;

    // 1.
    if (flags.moves_with_main) {
        return {main.translated(step), video.translated(step), flags, true};
    }

    // 2.
    if (flags.x_snap) {
        if (std::abs(step.x()) > kSnapThreshold) {
            flags.x_snap = false;
        } else {
            step.setX(0);
        }
    }
    if (flags.y_snap) {
        if (std::abs(step.y()) > kSnapThreshold) {
            flags.y_snap = false;
        } else {
            step.setY(0);
        }
    }

    // 3.
    const QRect moved = main.translated(step);

    // 4.
    const QRect snapped = SnapToFixedWindow(moved, video, flags);
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
//   2. step = pointer - anchor.
//   3. Unsnap: while x-snap is set, a horizontal step of more than 15
//      pixels clears both flags, a smaller one becomes 0; then, while y-snap
//      is still set, the same vertically.
//   4. Move the video window by the step.
//   5. Catch and align against the main window (SnapToFixedWindow).
std::optional<DragOutcome> DragVideoWindow(const QRect& main, const QRect& video, QPoint anchor,
                                           QPoint pointer, DockingFlags flags, bool full_screen)
{
    // 1.
    if (kVideoArea.contains(pointer) || full_screen) return std::nullopt;

    // 2.
    QPoint step = pointer - anchor;

    // 3.
    if (flags.x_snap) {
        if (std::abs(step.x()) > kSnapThreshold) {
            flags.x_snap = flags.y_snap = false;
        } else {
            step.setX(0);
        }
    }
    if (flags.y_snap) {
        if (std::abs(step.y()) > kSnapThreshold) {
            flags.x_snap = flags.y_snap = false;
        } else {
            step.setY(0);
        }
    }

    // 4.
    const QRect moved = video.translated(step);

    // 5.
    const QRect snapped = SnapToFixedWindow(moved, main, flags);
    return DragOutcome{main, snapped, flags, false};
}

DockingFlags ReleaseVideoWindow(DockingFlags flags)
{
    flags.moves_with_main = flags.x_snap || flags.y_snap;
    return flags;
}

}  // namespace kinoverd
