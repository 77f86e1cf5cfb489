// SPDX-License-Identifier: GPL-3.0-or-later
// Horizontal slider of the skinned main window. It keeps everything of
// QSlider (range, value, mouse and keyboard handling, signals) and replaces
// the painting: the parent's skin copied 1:1 from where the slider lies in
// its parent, so that the slider is indistinguishable from the skin outside
// its channel and thumb; the channel as a thin button frame filled with a
// texture; the thumb as a raised button face carrying a texture. Ticks, focus
// frame and selection range are never drawn.
//
// A click on the channel beside the thumb moves a fifth of the range, and
// repeats while held. Besides QSlider's signals it tells the owner about
// each user gesture: gestureStarted() at its first press (on the channel or
// the thumb), key or wheel step; positionChosen() once, where the user left
// the slider: at the mouse release that ends a drag or a press on the
// channel, however often the press repeated, or once keyboard and wheel
// steps have paused for kStepsSettledMs; then gestureEnded(), also after a
// press that moved nothing (a still click on the thumb), which chooses
// nothing. The owner's own setValue() never starts a gesture; while one is
// under way the owner leaves the value to the user.
#pragma once

#include <QPixmap>
#include <QRect>
#include <QSlider>
#include <QStyle>
#include <QTimer>

#include "resources/bitmap.h"

class QMouseEvent;
class QPaintEvent;

namespace kinoverd {

class SkinSlider : public QSlider {
    Q_OBJECT

public:
    // Only the top-left part of this size of the channel texture is used,
    // stretched over the inside of the channel, whatever the texture's size.
    static constexpr QSize kChannelTextureSize{200, 14};
    static constexpr int kStepsSettledMs = 300;

    explicit SkinSlider(QWidget* parent = nullptr);

    // The skin the parent draws unscaled from its own top-left corner. Not
    // owned: the parent keeps it alive and unchanged while the slider exists.
    // Until one is set, or where it does not reach, the parent shows through.
    void SetBackgroundBitmap(const QPixmap* background);
    void LoadSkinBitmaps(Bitmap channel, Bitmap thumb);
    // A null texture leaves that part a plain button face.
    void SetSkinBitmaps(const QPixmap& channel, const QPixmap& thumb);

    // Where the channel and the thumb are drawn now, in slider coordinates.
    // The thumb rectangle is also where a press grabs the thumb.
    QRect ChannelRect() const;
    QRect ThumbRect() const;

    // From gestureStarted() to gestureEnded().
    bool gesture_under_way() const { return gesture_under_way_; }

signals:
    void gestureStarted();
    // The user has finished moving the slider to `value`.
    void positionChosen(int value);
    void gestureEnded();

protected:
    void sliderChange(SliderChange change) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void OnAction();
    void StartGesture();
    void EndGesture();
    QRect StyleRect(QStyle::SubControl sub_control) const;
    QPoint OffsetInParent() const;

    // Everything here belongs to the GUI thread.
    const QPixmap* background_ = nullptr;
    QPixmap channel_;
    QPixmap thumb_;
    bool mouse_held_ = false;         // a mouse button went down on the slider
    bool gesture_under_way_ = false;  // the user has started working the slider
    bool moved_ = false;              // ... and has moved it since
    QTimer steps_settled_;            // runs from each keyboard or wheel step
};

}  // namespace kinoverd
