// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/hover_bitmap_button.h"

#include <QMouseEvent>
#include <QPainter>

#include "resources/bitmap_resource.h"

namespace kinoverd {

HoverBitmapButton::HoverBitmapButton(QWidget* parent) : HoverBitmapButton(QString(), parent) {}

HoverBitmapButton::HoverBitmapButton(const QString& text, QWidget* parent)
    : QPushButton(text, parent)
{
    // Moves without a button held bring the hover frame back after a click.
    setMouseTracking(true);
}

void HoverBitmapButton::LoadFrameStrip(Bitmap strip, QSize frame_size, const QCursor& cursor)
{
    LoadFrameStrip(LoadBitmap(strip), frame_size, cursor);
}

void HoverBitmapButton::LoadFrameStrip(const QPixmap& strip, QSize frame_size, const QCursor& cursor)
{
    strip_ = strip;
    frame_size_ = frame_size;
    setCursor(cursor);
    SetFrameOrder(1, 2, 3, 4);
}

void HoverBitmapButton::SetFrameOrder(int normal, int pressed, int hover, int disabled)
{
    normal_frame_ = normal;
    pressed_frame_ = pressed;
    hover_frame_ = hover;
    disabled_frame_ = disabled;
    current_frame_ = normal;
    update();
}

int HoverBitmapButton::FrameToDraw() const
{
    if (isDown())
        return pressed_frame_;
    if (!isEnabled())
        return disabled_frame_;
    return current_frame_;
}

void HoverBitmapButton::paintEvent(QPaintEvent* event)
{
    if (!has_frame_strip()) {
        QPushButton::paintEvent(event);
        return;
    }
    // The frame is copied 1:1; what lies outside it stays the parent's, and
    // neither caption nor focus frame is drawn. Only the part of a frame that
    // lies on the strip is copied (QPainter reads an empty source rectangle
    // as "the whole pixmap").
    const QRect frame(QPoint((FrameToDraw() - 1) * frame_size_.width(), 0), frame_size_);
    const QRect source = frame.intersected(strip_.rect());
    if (source.isEmpty())
        return;
    QPainter painter(this);
    painter.drawPixmap(source.topLeft() - frame.topLeft(), strip_, source);
}

void HoverBitmapButton::enterEvent(QEnterEvent* event)
{
    EnterHover();
    QPushButton::enterEvent(event);
}

void HoverBitmapButton::leaveEvent(QEvent* event)
{
    LeaveHover();
    QPushButton::leaveEvent(event);
}

void HoverBitmapButton::mouseMoveEvent(QMouseEvent* event)
{
    // While a mouse button is held the button keeps the mouse and Qt delays
    // the leave event until release, so the position decides here. rect()
    // excludes x == width() and y == height(): crossing the right or bottom
    // edge is leaving.
    if (rect().contains(event->position().toPoint()))
        EnterHover();
    else
        LeaveHover();
    QPushButton::mouseMoveEvent(event);
}

void HoverBitmapButton::mouseReleaseEvent(QMouseEvent* event)
{
    // After a click the normal frame shows until the pointer moves again.
    LeaveHover();
    QPushButton::mouseReleaseEvent(event);
}

void HoverBitmapButton::EnterHover()
{
    if (hovering_)
        return;
    hovering_ = true;
    current_frame_ = hover_frame_;
    update();
}

void HoverBitmapButton::LeaveHover()
{
    if (!hovering_)
        return;
    hovering_ = false;
    current_frame_ = normal_frame_;
    update();
}

}  // namespace kinoverd
