#include "controls/hover_bitmap_button.h"

#include <QMouseEvent>
#include <QPainter>

#include "resources/bitmap_resource.h"

namespace kinoverd {

CHoverBitmapButton::CHoverBitmapButton(QWidget* parent) : CHoverBitmapButton(QString(), parent) {}

CHoverBitmapButton::CHoverBitmapButton(const QString& text, QWidget* parent)
    : QPushButton(text, parent)
{
    // Moves without a button held bring the hover frame back after a click.
    setMouseTracking(true);
}

void CHoverBitmapButton::LoadFrameStrip(int bitmap, int frame_width, int frame_height,
                                        const QCursor& cursor)
{
    LoadFrameStrip(LoadBitmapResource(bitmap), frame_width, frame_height, cursor);
}

void CHoverBitmapButton::LoadFrameStrip(const QPixmap& strip, int frame_width, int frame_height,
                                        const QCursor& cursor)
{
    strip_ = strip;
    frame_width_ = frame_width;
    frame_height_ = frame_height;
    setCursor(cursor);
    SetFrameOrder(1, 2, 3, 4);
}

void CHoverBitmapButton::SetFrameOrder(int normal, int pressed, int hover, int disabled)
{
    normal_frame_ = normal;
    pressed_frame_ = pressed;
    hover_frame_ = hover;
    disabled_frame_ = disabled;
    current_frame_ = normal;
    update();
}

int CHoverBitmapButton::FrameToDraw() const
{
    if (isDown())
        return pressed_frame_;
    if (!isEnabled())
        return disabled_frame_;
    return current_frame_;
}

void CHoverBitmapButton::paintEvent(QPaintEvent* event)
{
    if (!has_frame_strip()) {
        QPushButton::paintEvent(event);
        return;
    }
    // The frame is copied 1:1; what lies outside it stays the parent's, and
    // neither caption nor focus frame is drawn. Only the part of a frame that
    // lies on the strip is copied (QPainter reads an empty source rectangle
    // as "the whole pixmap").
    const QRect frame((FrameToDraw() - 1) * frame_width_, 0, frame_width_, frame_height_);
    const QRect source = frame.intersected(strip_.rect());
    if (source.isEmpty())
        return;
    QPainter painter(this);
    painter.drawPixmap(source.topLeft() - frame.topLeft(), strip_, source);
}

void CHoverBitmapButton::enterEvent(QEnterEvent* event)
{
    EnterHover();
    QPushButton::enterEvent(event);
}

void CHoverBitmapButton::leaveEvent(QEvent* event)
{
    LeaveHover();
    QPushButton::leaveEvent(event);
}

void CHoverBitmapButton::mouseMoveEvent(QMouseEvent* event)
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

void CHoverBitmapButton::mouseReleaseEvent(QMouseEvent* event)
{
    // After a click the normal frame shows until the pointer moves again.
    LeaveHover();
    QPushButton::mouseReleaseEvent(event);
}

void CHoverBitmapButton::EnterHover()
{
    if (hovering_)
        return;
    hovering_ = true;
    current_frame_ = hover_frame_;
    update();
}

void CHoverBitmapButton::LeaveHover()
{
    if (!hovering_)
        return;
    hovering_ = false;
    current_frame_ = normal_frame_;
    update();
}

}  // namespace kinoverd
