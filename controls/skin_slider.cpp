#include "controls/skin_slider.h"

#include <QPainter>
#include <QStyleOptionSlider>
#include <qdrawutil.h>

#include "resources/bitmap_resource.h"

namespace kinoverd {

CSkinSlider::CSkinSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent)
{
    setTickPosition(QSlider::NoTicks);
}

void CSkinSlider::SetBackgroundBitmap(const QPixmap* background)
{
    background_ = background;
    update();
}

void CSkinSlider::LoadSkinBitmaps(int channel_bitmap, int thumb_bitmap)
{
    SetSkinBitmaps(LoadBitmapResource(channel_bitmap), LoadBitmapResource(thumb_bitmap));
}

void CSkinSlider::SetSkinBitmaps(const QPixmap& channel, const QPixmap& thumb)
{
    channel_ = channel;
    thumb_ = thumb;
    update();
}

QRect CSkinSlider::ChannelRect() const
{
    return StyleRect(QStyle::SC_SliderGroove);
}

QRect CSkinSlider::ThumbRect() const
{
    return StyleRect(QStyle::SC_SliderHandle);
}

QRect CSkinSlider::StyleRect(QStyle::SubControl sub_control) const
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    return style()->subControlRect(QStyle::CC_Slider, &option, sub_control, this);
}

QPoint CSkinSlider::OffsetInParent() const
{
    return isWindow() ? QPoint(0, 0) : mapTo(parentWidget(), QPoint(0, 0));
}

void CSkinSlider::paintEvent(QPaintEvent*)
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
