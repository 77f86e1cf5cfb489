// SPDX-License-Identifier: GPL-3.0-or-later
// Push button of the skinned main window. Once given a frame strip (equal
// frames side by side, counted from 1) it draws one frame unscaled at its
// top-left corner: the pressed frame while it is down, else the disabled frame
// while disabled, else the hover frame while the pointer is over it, else the
// normal frame. Without a strip the style draws it (the push-like toggles
// whose icon the owner sets), but entering and leaving still repaint it.
#pragma once

#include <QCursor>
#include <QPixmap>
#include <QPushButton>

#include "resources/bitmap.h"

class QEnterEvent;
class QMouseEvent;
class QPaintEvent;

namespace kinoverd {

class HoverBitmapButton : public QPushButton {
    Q_OBJECT

public:
    explicit HoverBitmapButton(QWidget* parent = nullptr);
    explicit HoverBitmapButton(const QString& text, QWidget* parent = nullptr);

    // Takes `strip` as the frame strip. A null strip leaves the button
    // without one (drawn by the style); the cursor is set anyway.
    void LoadFrameStrip(Bitmap strip, QSize frame_size,
                        const QCursor& cursor = QCursor(Qt::PointingHandCursor));
    void LoadFrameStrip(const QPixmap& strip, QSize frame_size,
                        const QCursor& cursor = QCursor(Qt::PointingHandCursor));
    // Frame numbers count from 1. LoadFrameStrip sets (1, 2, 3, 4); the
    // current frame becomes `normal`.
    void SetFrameOrder(int normal, int pressed, int hover, int disabled);

    bool has_frame_strip() const
    {
        return !strip_.isNull() && !frame_size_.isEmpty();
    }
    bool hovering() const { return hovering_; }
    // The frame a paint copies now: pressed wins over disabled, disabled
    // over hover.
    int FrameToDraw() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void EnterHover();
    void LeaveHover();

    // Everything here belongs to the GUI thread.
    QPixmap strip_;
    QSize frame_size_;
    int current_frame_ = 1;  // normal or hover frame
    int normal_frame_ = 1;
    int pressed_frame_ = 1;
    int hover_frame_ = 1;
    int disabled_frame_ = 1;
    bool hovering_ = false;
};

}  // namespace kinoverd
