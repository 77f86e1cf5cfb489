// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/skin_slider.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionSlider>
#include <qdrawutil.h>

#include <algorithm>
#include <utility>

#include "resources/bitmap_resource.h"

namespace kinoverd {

SkinSlider::SkinSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent)
{
    setTickPosition(QSlider::NoTicks);
    steps_settled_.setSingleShot(true);
    steps_settled_.setInterval(kStepsSettledMs);
    connect(&steps_settled_, &QTimer::timeout, this, &SkinSlider::EndGesture);
    // A press on the thumb moves nothing yet; every other input acts at once.
    connect(this, &QAbstractSlider::sliderPressed, this, &SkinSlider::StartGesture);
    connect(this, &QAbstractSlider::actionTriggered, this, &SkinSlider::OnAction);
    sliderChange(SliderRangeChange);
}

void SkinSlider::SetBackgroundBitmap(const QPixmap* background)
{
    background_ = background;
    update();
}

void SkinSlider::LoadSkinBitmaps(Bitmap channel, Bitmap thumb)
{
    SetSkinBitmaps(LoadBitmap(channel), LoadBitmap(thumb));
}

void SkinSlider::SetSkinBitmaps(const QPixmap& channel, const QPixmap& thumb)
{
    channel_ = channel;
    thumb_ = thumb;
    update();
}

QRect SkinSlider::ChannelRect() const
{
    return StyleRect(QStyle::SC_SliderGroove);
}

QRect SkinSlider::ThumbRect() const
{
    return StyleRect(QStyle::SC_SliderHandle);
}

void SkinSlider::sliderChange(SliderChange change)
{
    if (change == SliderRangeChange)
        setPageStep(std::max(1, (maximum() - minimum()) / 5));
    QSlider::sliderChange(change);
}

// Emitted before the action moves the value.
void SkinSlider::OnAction()
{
    StartGesture();
    moved_ = true;
    if (!mouse_held_)
        steps_settled_.start();
}

void SkinSlider::StartGesture()
{
    if (gesture_under_way_)
        return;
    gesture_under_way_ = true;
    emit gestureStarted();
}

void SkinSlider::EndGesture()
{
    steps_settled_.stop();
    gesture_under_way_ = false;
    if (std::exchange(moved_, false))
        emit positionChosen(value());
    emit gestureEnded();
}

void SkinSlider::mousePressEvent(QMouseEvent* event)
{
    // Set before QSlider acts on the press: a press on the channel moves at once.
    const bool was_held = mouse_held_;
    mouse_held_ = true;
    // Steps of the keys or the wheel still settling are chosen at the release.
    steps_settled_.stop();
    QSlider::mousePressEvent(event);
    // A button QSlider ignores goes to the parent, and so will its release.
    if (!event->isAccepted()) {
        mouse_held_ = was_held;
        if (moved_ && !mouse_held_)
            steps_settled_.start();
    }
}

void SkinSlider::mouseReleaseEvent(QMouseEvent* event)
{
    QSlider::mouseReleaseEvent(event);
    if (!mouse_held_ || event->buttons() != Qt::NoButton)
        return;
    mouse_held_ = false;
    if (gesture_under_way_)
        EndGesture();
}

QRect SkinSlider::StyleRect(QStyle::SubControl sub_control) const
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    return style()->subControlRect(QStyle::CC_Slider, &option, sub_control, this);
}

QPoint SkinSlider::OffsetInParent() const
{
    return isWindow() ? QPoint(0, 0) : mapTo(parentWidget(), QPoint(0, 0));
}

void SkinSlider::paintEvent(QPaintEvent*)
{
    // The backing store composes the whole widget off-screen and shows it in
    // one go, so background, channel and thumb never appear one by one.
    QPainter painter(this);
    const QBrush& face = palette().brush(QPalette::Button);

    if (background_ != nullptr) {
        const QRect under(OffsetInParent(), size());
        const QRect source = under.intersected(background_->rect());
        if (!source.isEmpty())
            painter.drawPixmap(source.topLeft() - under.topLeft(), *background_, source);
    }

    // Channel: the outer ring of a raised frame around the stretched texture
    // (no smoothing, so texture pixels stay crisp).
    const QRect channel = ChannelRect();
    qDrawWinButton(&painter, channel, palette(), false, &face);
    const QRect channel_inside = channel.adjusted(1, 1, -1, -1);
    if (!channel_.isNull() && !channel_inside.isEmpty())
        painter.drawPixmap(channel_inside, channel_, QRect(QPoint(0, 0), kChannelTextureSize));

    // Thumb, over the channel: a raised face whose inside carries the
    // texture, tiled unscaled from the thumb's corner so it moves along.
    const QRect thumb = ThumbRect();
    qDrawWinButton(&painter, thumb, palette(), false, &face);
    const QRect thumb_inside = thumb.adjusted(2, 2, -2, -2);
    if (!thumb_.isNull() && !thumb_inside.isEmpty())
        painter.drawTiledPixmap(thumb_inside, thumb_);
}

}  // namespace kinoverd
