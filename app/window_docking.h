// SPDX-License-Identifier: GPL-3.0-or-later
// Dragging the two frameless windows with magnetic snapping: the main window
// and the video window catch each other's outside edges within 15 pixels,
// and once docked the main window's drag carries the video window along.
// Pure arithmetic on screen rectangles (frame geometry), so it is testable
// without a display; the windows apply the results.
#pragma once

#include <QPoint>
#include <QRect>

#include <optional>

namespace kinoverd {

// Held by the main window; the video window's drag reads and writes them
// too. The windows start docked: the main window is placed directly under
// the video window.
struct DockingFlags {
    bool x_snap = true;           // side by side, or left or right edges aligned
    bool y_snap = true;           // one above the other, or top or bottom edges aligned
    bool moves_with_main = true;  // docked: the main window's drag moves both
    friend bool operator==(const DockingFlags&, const DockingFlags&) = default;
};

constexpr int kSnapThreshold = 15;

// The video window's picture area in its client coordinates: presses and
// moves there belong to the picture, not to the drag.
constexpr QRect kVideoArea{54, 29, 377, 302};

struct DragOutcome {
    QRect main;
    QRect video;
    DockingFlags flags;
    bool video_moves_along = false;  // the docked pair moved as one
};

// One mouse move while the main window is dragged. `anchor` is the client
// point of the button press, `pointer` the current one (both relative to
// the main window). Called only while the left button is held.
DragOutcome DragMainWindow(const QRect& main, const QRect& video, QPoint anchor, QPoint pointer,
                           DockingFlags flags);

// The main window's button release docks the pair after any snap; it never
// undocks them.
DockingFlags ReleaseMainWindow(DockingFlags flags);

// One mouse move while the video window is dragged; points are the video
// window's client points. Empty when the move does not drag: the pointer is
// in the picture area or the picture is full screen. Called only while the
// left button is held.
std::optional<DragOutcome> DragVideoWindow(const QRect& main, const QRect& video, QPoint anchor,
                                           QPoint pointer, DockingFlags flags, bool full_screen);

// The video window's button release docks the pair after any snap and
// undocks it otherwise.
DockingFlags ReleaseVideoWindow(DockingFlags flags);

}  // namespace kinoverd
