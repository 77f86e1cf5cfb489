// What the video window uses of the main window that owns it, besides the
// private messages it sends and posts to it (WindowMessage to window()).
#pragma once

class QWidget;

namespace kinoverd {

struct DockingFlags;

class VideoWindowOwner {
public:
    virtual ~VideoWindowOwner() = default;
    // The main window itself: the target of the video window's messages.
    virtual QWidget* window() = 0;
    // The snap flags the two windows' drags share; owned by the main window.
    virtual DockingFlags& docking_flags() = 0;
    // After a successful graph start: position updates are shown again ...
    virtual void ClearPositionHold() = 0;
    // ... and the full-screen toggle's state is applied to the new graph.
    virtual void ApplyFullScreenChoice() = 0;
};

}  // namespace kinoverd
