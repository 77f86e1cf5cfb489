// Horizontal slider of the skinned main window. It keeps everything of
// QSlider (range, value, mouse and keyboard handling, signals) and replaces
// only the painting: the parent's skin copied 1:1 from where the slider lies
// in its parent, so that the slider is indistinguishable from the skin outside
// its channel and thumb; the channel as a thin button frame filled with a
// texture; the thumb as a raised button face carrying a texture. Ticks, focus
// frame and selection range are never drawn.
//
// The owner reacts to the user through QSlider's signals. What a trackbar's
// scroll notifications were, they are here:
//   - pointer pressed on the thumb:        sliderPressed()
//   - thumb dragged (track):               sliderMoved(int), and
//                                          actionTriggered(SliderMove) with isSliderDown()
//   - line or page step, Home/End, wheel:  actionTriggered(action) with !isSliderDown()
//     (a click held on the channel repeats its page step)
//   - end of a drag (end track):           sliderReleased()
//   - any change, the owner's own setValue included: valueChanged(int)
// A change by the user is therefore complete at sliderReleased(), or at an
// actionTriggered() that arrives while the slider is not down. Within
// actionTriggered() the new position is sliderPosition(); value() still holds
// the old one until the handler returns.
#pragma once

#include <QPixmap>
#include <QRect>
#include <QSlider>
#include <QStyle>

class QPaintEvent;

namespace kinoverd {

class CSkinSlider : public QSlider {
    Q_OBJECT

public:
    // Only the top-left part of this size of the channel texture is used,
    // stretched over the inside of the channel, whatever the texture's size.
    static constexpr QSize kChannelTextureSize{200, 14};

    explicit CSkinSlider(QWidget* parent = nullptr);

    // The skin the parent draws unscaled from its own top-left corner. Not
    // owned: the parent keeps it alive and unchanged while the slider exists.
    // Until one is set, or where it does not reach, the parent shows through.
    void SetBackgroundBitmap(const QPixmap* background);
    // Bitmap resources of the channel and thumb textures; a missing one leaves
    // that texture empty (plain button face).
    void LoadSkinBitmaps(int channel_bitmap, int thumb_bitmap);
    void SetSkinBitmaps(const QPixmap& channel, const QPixmap& thumb);

    // Where the channel and the thumb are drawn now, in slider coordinates.
    // The thumb rectangle is also where a press grabs the thumb.
    QRect ChannelRect() const;
    QRect ThumbRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRect StyleRect(QStyle::SubControl sub_control) const;
    QPoint OffsetInParent() const;

    // Everything here belongs to the GUI thread.
    const QPixmap* background_ = nullptr;
    QPixmap channel_;
    QPixmap thumb_;
};

}  // namespace kinoverd
