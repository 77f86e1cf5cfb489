// SPDX-License-Identifier: GPL-3.0-or-later
// SkinSlider: painted over the parent's skin, with a textured channel and a
// thumb that follows the value; QSlider's input handling and signals intact,
// a fifth of the range per page, and one positionChosen() per gesture.
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include "controls/skin_slider.h"
#include "resources/bitmap_resource.h"

namespace kinoverd {
namespace {

constexpr QSize kSkinSize{484, 120};
// The volume slider of the main window: 128 x 14 dialog units at (140, 27).
constexpr QRect kVolumeGeometry{210, 43, 192, 22};
constexpr QRgb kChannelColour = 0xffc08040;
constexpr QRgb kThumbColour = 0xff30a050;

// Noise, so that a background copied from a wrong offset cannot match.
QPixmap SyntheticSkin()
{
    QImage skin(kSkinSize, QImage::Format_RGB32);
    QRandomGenerator random(185);
    for (int y = 0; y < skin.height(); ++y) {
        for (int x = 0; x < skin.width(); ++x)
            skin.setPixel(x, y, random.generate() | 0xff000000);
    }
    return QPixmap::fromImage(skin);
}

QPixmap Solid(QSize size, QRgb colour)
{
    QPixmap pixmap(size);
    pixmap.fill(QColor::fromRgb(colour));
    return pixmap;
}

QImage Rendered(QWidget& widget)
{
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// The main window's way of drawing its skin: unscaled from its top-left corner.
class SkinnedWindow : public QWidget {
public:
    explicit SkinnedWindow(const QPixmap* skin) : skin_(skin) { resize(kSkinSize); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        if (skin_ != nullptr)
            painter.drawPixmap(0, 0, *skin_);
        else
            painter.fillRect(rect(), Qt::darkMagenta);
    }

private:
    const QPixmap* skin_;
};

class SkinSliderTest : public testing::Test {
protected:
    SkinSliderTest()
    {
        slider_ = new SkinSlider(&window_);
        slider_->setGeometry(kVolumeGeometry);
        slider_->setRange(0, 99);
        slider_->SetSkinBitmaps(Solid({200, 14}, kChannelColour), Solid({16, 16}, kThumbColour));
        slider_->SetBackgroundBitmap(&skin_);
        window_.show();
        QApplication::processEvents();
    }

    // Pixels of the slider outside its channel and thumb that differ from
    // what lies under them in `expected` (at the slider's place in the window).
    int SkinMismatches(const QImage& slider_image, const QImage& expected, QPoint offset)
    {
        const QRect channel = slider_->ChannelRect();
        const QRect thumb = slider_->ThumbRect();
        int mismatches = 0;
        for (int y = 0; y < slider_image.height(); ++y) {
            for (int x = 0; x < slider_image.width(); ++x) {
                if (channel.contains(x, y) || thumb.contains(x, y))
                    continue;
                if (slider_image.pixel(x, y) != expected.pixel(x + offset.x(), y + offset.y()))
                    ++mismatches;
            }
        }
        return mismatches;
    }

    QPixmap skin_ = SyntheticSkin();
    SkinnedWindow window_{&skin_};
    SkinSlider* slider_;  // owned by window_
};

TEST_F(SkinSliderTest, IsAHorizontalSliderWithoutTicks)
{
    EXPECT_EQ(slider_->orientation(), Qt::Horizontal);
    EXPECT_EQ(slider_->tickPosition(), QSlider::NoTicks);
}

TEST_F(SkinSliderTest, OutsideChannelAndThumbTheSliderIsTheSkinUnderIt)
{
    const QImage skin = skin_.toImage().convertToFormat(QImage::Format_RGB32);
    // The slider alone: its own paint must copy the skin, not rely on the parent.
    EXPECT_EQ(SkinMismatches(Rendered(*slider_), skin, kVolumeGeometry.topLeft()), 0);
    // And the window as a whole shows nothing but its skin there.
    const QImage window = Rendered(window_);
    EXPECT_EQ(SkinMismatches(window.copy(kVolumeGeometry), skin, kVolumeGeometry.topLeft()), 0);
}

TEST_F(SkinSliderTest, FollowsItsPlaceInTheParent)
{
    slider_->setGeometry(QRect(QPoint(13, 68), QSize(450, 22)));  // the position slider
    const QImage skin = skin_.toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(SkinMismatches(Rendered(*slider_), skin, QPoint(13, 68)), 0);
}

TEST_F(SkinSliderTest, ChannelIsARaisedFrameFilledWithTheTexture)
{
    slider_->setValue(99);  // thumb to the right end, off most of the channel
    const QImage image = Rendered(*slider_);
    const QRect channel = slider_->ChannelRect();
    const QRect thumb = slider_->ThumbRect();
    ASSERT_GT(channel.height(), 2);

    const QRect inside = channel.adjusted(1, 1, -1, -1);
    int textured = 0;
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x) {
            if (thumb.contains(x, y))
                continue;
            ASSERT_EQ(image.pixel(x, y), kChannelColour) << x << "," << y;
            ++textured;
        }
    }
    EXPECT_GT(textured, 0);
    // The ring around it is the frame, not the texture.
    EXPECT_NE(image.pixel(channel.left(), channel.center().y()), kChannelColour);
    EXPECT_NE(image.pixel(channel.center().x(), channel.top()), kChannelColour);
}

TEST_F(SkinSliderTest, ChannelStretchesOnlyTheTopLeft200By14OfTheTexture)
{
    // Left half of the used part red, right half blue; everything beyond
    // 200 x 14 green, which must never show.
    QImage texture(400, 28, QImage::Format_RGB32);
    texture.fill(Qt::green);
    QPainter painter(&texture);
    painter.fillRect(0, 0, 100, 14, Qt::red);
    painter.fillRect(100, 0, 100, 14, Qt::blue);
    painter.end();
    slider_->SetSkinBitmaps(QPixmap::fromImage(texture), Solid({16, 16}, kThumbColour));
    slider_->setValue(50);

    const QImage image = Rendered(*slider_);
    const QRect inside = slider_->ChannelRect().adjusted(1, 1, -1, -1);
    const QRect thumb = slider_->ThumbRect();
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x) {
            if (thumb.contains(x, y))
                continue;
            const QRgb expected = x < inside.center().x() - 1   ? qRgb(255, 0, 0)
                                  : x > inside.center().x() + 1 ? qRgb(0, 0, 255)
                                                                : image.pixel(x, y);
            ASSERT_EQ(image.pixel(x, y), expected) << x << "," << y;
            ASSERT_NE(image.pixel(x, y), qRgb(0, 255, 0)) << x << "," << y;
        }
    }
}

TEST_F(SkinSliderTest, ThumbIsARaisedFaceWithTheTextureOverTheChannel)
{
    slider_->setValue(50);
    const QImage image = Rendered(*slider_);
    const QRect thumb = slider_->ThumbRect();
    ASSERT_GT(thumb.width(), 4);
    ASSERT_GT(thumb.height(), 4);

    const QRect inside = thumb.adjusted(2, 2, -2, -2);
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x)
            ASSERT_EQ(image.pixel(x, y), kThumbColour) << x << "," << y;
    }
    // Raised: lighter on the top-left edge than on the bottom-right one.
    const QRgb top_left = image.pixel(thumb.left(), thumb.center().y());
    const QRgb bottom_right = image.pixel(thumb.right(), thumb.center().y());
    EXPECT_GT(qGray(top_left), qGray(bottom_right));
    // It covers the channel where they meet.
    EXPECT_TRUE(thumb.intersects(slider_->ChannelRect()));
}

TEST_F(SkinSliderTest, ThumbMovesWithTheValue)
{
    slider_->setValue(0);
    const QRect at_start = slider_->ThumbRect();
    const QImage start_image = Rendered(*slider_);
    slider_->setValue(99);
    const QRect at_end = slider_->ThumbRect();
    const QImage end_image = Rendered(*slider_);

    EXPECT_LT(at_start.center().x(), at_end.center().x());
    EXPECT_FALSE(at_start.intersects(at_end));
    const QPoint start_face = at_start.center();
    const QPoint end_face = at_end.center();
    EXPECT_EQ(start_image.pixel(start_face), kThumbColour);
    EXPECT_EQ(end_image.pixel(end_face), kThumbColour);
    // Where the thumb was, the channel shows again.
    EXPECT_EQ(end_image.pixel(start_face), kChannelColour);
    EXPECT_EQ(start_image.pixel(end_face), kChannelColour);
}

TEST_F(SkinSliderTest, KeyboardStepsTheValueAndReportsTheActions)
{
    slider_->setValue(10);
    QSignalSpy changed(slider_, &QSlider::valueChanged);
    QSignalSpy actions(slider_, &QSlider::actionTriggered);
    QList<bool> down_during_action;
    QObject::connect(slider_, &QSlider::actionTriggered,
                     [&] { down_during_action.append(slider_->isSliderDown()); });

    QTest::keyClick(slider_, Qt::Key_Right);
    EXPECT_EQ(slider_->value(), 11);
    QTest::keyClick(slider_, Qt::Key_PageUp);
    EXPECT_EQ(slider_->value(), 11 + slider_->pageStep());
    QTest::keyClick(slider_, Qt::Key_End);
    EXPECT_EQ(slider_->value(), 99);

    ASSERT_EQ(actions.count(), 3);
    EXPECT_EQ(actions[0][0].toInt(), QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(actions[1][0].toInt(), QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(actions[2][0].toInt(), QAbstractSlider::SliderToMaximum);
    EXPECT_EQ(down_during_action, QList<bool>({false, false, false}));
    EXPECT_EQ(changed.count(), 3);
}

TEST_F(SkinSliderTest, WheelMovesTheValueAsOneCompleteAction)
{
    slider_->setValue(50);
    QSignalSpy actions(slider_, &QSlider::actionTriggered);
    bool down_during_action = true;
    QObject::connect(slider_, &QSlider::actionTriggered,
                     [&] { down_during_action = slider_->isSliderDown(); });
    const QPointF at = slider_->rect().center();
    QWheelEvent wheel(at, slider_->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(slider_, &wheel);

    ASSERT_EQ(actions.count(), 1);
    EXPECT_EQ(actions[0][0].toInt(), QAbstractSlider::SliderMove);
    EXPECT_FALSE(down_during_action);
    EXPECT_NE(slider_->value(), 50);
}

TEST_F(SkinSliderTest, DraggingTheThumbTracksAndEndsWithRelease)
{
    slider_->setValue(0);
    QSignalSpy pressed(slider_, &QSlider::sliderPressed);
    QSignalSpy moved(slider_, &QSlider::sliderMoved);
    QSignalSpy released(slider_, &QSlider::sliderReleased);
    QSignalSpy changed(slider_, &QSlider::valueChanged);
    int moves_while_down = 0;
    QObject::connect(slider_, &QSlider::actionTriggered, [&](int action) {
        if (action == QAbstractSlider::SliderMove && slider_->isSliderDown())
            ++moves_while_down;
    });

    const QPoint grip = slider_->ThumbRect().center();
    const QPoint far_right(slider_->width() - 2, grip.y());
    QTest::mousePress(slider_, Qt::LeftButton, {}, grip);
    EXPECT_TRUE(slider_->isSliderDown());
    QTest::mouseMove(slider_, QPoint(slider_->width() / 2, grip.y()));
    QTest::mouseMove(slider_, far_right);
    QTest::mouseRelease(slider_, Qt::LeftButton, {}, far_right);

    EXPECT_EQ(pressed.count(), 1);
    EXPECT_GE(moved.count(), 1);
    EXPECT_EQ(moves_while_down, moved.count());
    EXPECT_EQ(released.count(), 1);
    EXPECT_GE(changed.count(), 1);
    EXPECT_FALSE(slider_->isSliderDown());
    EXPECT_GT(slider_->value(), 90);
    // The thumb is drawn where the value now puts it.
    EXPECT_EQ(Rendered(*slider_).pixel(slider_->ThumbRect().center()), kThumbColour);
}

TEST_F(SkinSliderTest, ClickOnTheChannelBesideTheThumbStepsAFifthOfTheRange)
{
    slider_->setValue(0);
    QSignalSpy actions(slider_, &QSlider::actionTriggered);
    QSignalSpy chosen(slider_, &SkinSlider::positionChosen);
    const QRect thumb = slider_->ThumbRect();
    const QPoint beside(thumb.right() + 30, thumb.center().y());
    QTest::mouseClick(slider_, Qt::LeftButton, {}, beside);
    ASSERT_GE(actions.count(), 1);
    EXPECT_EQ(actions[0][0].toInt(), QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(slider_->value(), 99 / 5);
    ASSERT_EQ(chosen.count(), 1);
    EXPECT_EQ(chosen[0][0].toInt(), 99 / 5);

    slider_->setRange(0, 65536);
    EXPECT_EQ(slider_->pageStep(), 65536 / 5);
}

TEST_F(SkinSliderTest, HeldChannelPressRepeatsButIsChosenOnceAtRelease)
{
    slider_->setRange(0, 1000);  // room for the repeats
    slider_->setValue(0);
    QSignalSpy chosen(slider_, &SkinSlider::positionChosen);
    const QPoint far_right(slider_->width() - 2, slider_->ThumbRect().center().y());
    QTest::mousePress(slider_, Qt::LeftButton, {}, far_right);
    QTest::qWait(1500);
    const int held_value = slider_->value();
    EXPECT_GT(held_value, 2 * slider_->pageStep()) << "the press repeats while held";
    EXPECT_EQ(chosen.count(), 0);
    QTest::mouseRelease(slider_, Qt::LeftButton, {}, far_right);
    ASSERT_EQ(chosen.count(), 1);
    EXPECT_EQ(chosen[0][0].toInt(), held_value);
    QTest::qWait(SkinSlider::kStepsSettledMs + 100);
    EXPECT_EQ(chosen.count(), 1);
}

// A still press on the thumb is a gesture too, one that chooses nothing.
TEST_F(SkinSliderTest, DragIsChosenOnceAtReleaseAndAStillPressNever)
{
    slider_->setValue(0);
    QSignalSpy started(slider_, &SkinSlider::gestureStarted);
    QSignalSpy chosen(slider_, &SkinSlider::positionChosen);
    QSignalSpy ended(slider_, &SkinSlider::gestureEnded);
    const QPoint grip = slider_->ThumbRect().center();
    QTest::mousePress(slider_, Qt::LeftButton, {}, grip);
    EXPECT_EQ(started.count(), 1);
    EXPECT_TRUE(slider_->gesture_under_way());
    QTest::mouseRelease(slider_, Qt::LeftButton, {}, grip);
    EXPECT_EQ(chosen.count(), 0);
    EXPECT_EQ(ended.count(), 1);
    EXPECT_FALSE(slider_->gesture_under_way());

    QTest::mousePress(slider_, Qt::LeftButton, {}, grip);
    for (int x = grip.x(); x < slider_->width(); x += 20)
        QTest::mouseMove(slider_, QPoint(x, grip.y()));
    EXPECT_EQ(chosen.count(), 0);
    QTest::mouseRelease(slider_, Qt::LeftButton, {}, QPoint(slider_->width() - 1, grip.y()));
    ASSERT_EQ(chosen.count(), 1);
    EXPECT_EQ(chosen[0][0].toInt(), slider_->value());
    EXPECT_EQ(started.count(), 2);
    EXPECT_EQ(ended.count(), 2);
}

TEST_F(SkinSliderTest, QuickKeyStepsAreChosenOnceWhenTheyStop)
{
    slider_->setValue(10);
    QSignalSpy chosen(slider_, &SkinSlider::positionChosen);
    for (int i = 0; i < 3; ++i) {
        QTest::keyClick(slider_, Qt::Key_Right);
        QTest::qWait(50);
    }
    EXPECT_EQ(chosen.count(), 0);
    EXPECT_TRUE(slider_->gesture_under_way());
    ASSERT_TRUE(chosen.wait(2 * SkinSlider::kStepsSettledMs));
    EXPECT_EQ(chosen[0][0].toInt(), 13);
    QTest::qWait(SkinSlider::kStepsSettledMs + 100);
    EXPECT_EQ(chosen.count(), 1);

    slider_->setValue(50);  // the owner's own change
    QTest::qWait(SkinSlider::kStepsSettledMs + 100);
    EXPECT_EQ(chosen.count(), 1);
}

TEST(SkinSliderWithoutBackground, ParentShowsThroughOutsideChannelAndThumb)
{
    SkinnedWindow window(nullptr);  // paints itself dark magenta
    auto* slider = new SkinSlider(&window);
    slider->setGeometry(kVolumeGeometry);
    slider->SetSkinBitmaps(Solid({200, 14}, kChannelColour), Solid({16, 16}, kThumbColour));
    window.show();
    QApplication::processEvents();

    const QImage image = Rendered(window).copy(kVolumeGeometry);
    const QRect channel = slider->ChannelRect();
    const QRect thumb = slider->ThumbRect();
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (channel.contains(x, y) || thumb.contains(x, y))
                continue;
            ASSERT_EQ(image.pixel(x, y), QColor(Qt::darkMagenta).rgb()) << x << "," << y;
        }
    }
}

TEST(SkinSliderWithoutTextures, NullTexturesLeavePlainButtonFaces)
{
    QWidget window;
    window.resize(kSkinSize);
    auto* slider = new SkinSlider(&window);
    slider->setGeometry(kVolumeGeometry);
    slider->SetSkinBitmaps(QPixmap(), QPixmap());
    window.show();
    QApplication::processEvents();

    const QImage image = Rendered(*slider);
    const QRgb face = slider->palette().color(QPalette::Button).rgb();
    EXPECT_EQ(image.pixel(slider->ThumbRect().center()), face);
    const QRect channel = slider->ChannelRect();
    EXPECT_EQ(image.pixel(channel.right() - 3, channel.center().y()), face);
}

// Two sliders over the main window's skin at different values, written when
// KINOVERD_SCREENSHOT_DIR names a folder.
TEST(SkinSliderScreenshot, VolumeAndPositionOverTheSkin)
{
    const QString folder = qEnvironmentVariable("KINOVERD_SCREENSHOT_DIR");
    if (folder.isEmpty())
        GTEST_SKIP() << "set KINOVERD_SCREENSHOT_DIR to write controls-slider.png";

    QPixmap skin = LoadBitmap(Bitmap::MainSkin);
    if (skin.isNull())
        skin = SyntheticSkin();
    QPixmap texture = LoadBitmap(Bitmap::SliderTexture);
    if (texture.isNull())
        texture = Solid({200, 14}, kChannelColour);

    SkinnedWindow window(&skin);
    auto* volume = new SkinSlider(&window);
    volume->setGeometry(kVolumeGeometry);
    volume->setRange(0, 99);
    volume->setValue(70);
    auto* position = new SkinSlider(&window);
    position->setGeometry(QRect(13, 68, 450, 22));  // 9, 42 dialog units
    position->setRange(0, 99);
    position->setValue(25);
    for (SkinSlider* slider : {volume, position}) {
        slider->SetSkinBitmaps(texture, texture);
        slider->SetBackgroundBitmap(&skin);
    }
    window.show();
    QApplication::processEvents();

    const QImage image = Rendered(window);
    const QString path = QDir(folder).filePath(QStringLiteral("controls-slider.png"));
    EXPECT_TRUE(image.scaled(image.size() * 2).save(path));
}

}  // namespace
}  // namespace kinoverd
