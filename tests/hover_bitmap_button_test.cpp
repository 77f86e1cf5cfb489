// SPDX-License-Identifier: GPL-3.0-or-later
// HoverBitmapButton: which frame of its strip it shows through hover, press,
// release and disable, read back from rendered pixels.
#include <QApplication>
#include <QDir>
#include <QEnterEvent>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

#include "controls/hover_bitmap_button.h"
#include "resources/bitmap_resource.h"

namespace kinoverd {
namespace {

constexpr int kFrameWidth = 44;
constexpr int kFrameHeight = 24;
// The main window's buttons are 29 x 16 dialog units: two rows taller than a frame.
constexpr QSize kButtonSize{44, 26};

// Four frames, each of its own hue with a pattern inside, so a frame copied
// from a wrong or shifted place cannot match.
QPixmap SyntheticStrip()
{
    QImage strip(4 * kFrameWidth, kFrameHeight, QImage::Format_RGB32);
    for (int x = 0; x < strip.width(); ++x) {
        for (int y = 0; y < strip.height(); ++y) {
            const int frame = x / kFrameWidth;
            strip.setPixel(x, y, qRgb(60 * frame + 20, (x % kFrameWidth) * 5, y * 10));
        }
    }
    return QPixmap::fromImage(strip);
}

// Counts the paint events a widget receives while it is alive.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* widget) : widget_(widget) { widget_->installEventFilter(this); }
    ~PaintCounter() override { widget_->removeEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }

private:
    QWidget* widget_;
};

QImage Rendered(QWidget& widget)
{
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QImage Frame(const QPixmap& strip, int frame)
{
    return strip.copy((frame - 1) * kFrameWidth, 0, kFrameWidth, kFrameHeight)
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

class HoverBitmapButtonTest : public testing::Test {
protected:
    HoverBitmapButtonTest()
    {
        window_.resize(200, 100);
        button_ = new HoverBitmapButton(QStringLiteral("文件"), &window_);
        button_->setGeometry(QRect(QPoint(20, 30), kButtonSize));
        button_->LoadFrameStrip(strip_, QSize(kFrameWidth, kFrameHeight));
        window_.show();
        QApplication::processEvents();
    }
    ~HoverBitmapButtonTest() override
    {
        // QTest remembers held buttons across windows: never leave one held.
        if (QGuiApplication::mouseButtons() & Qt::LeftButton)
            Release();
    }

    // The frame the button shows, read from its pixels; 0 when none matches.
    int ShownFrame()
    {
        const QImage top = Rendered(*button_).copy(0, 0, kFrameWidth, kFrameHeight);
        for (int frame = 1; frame <= 4; ++frame) {
            if (top == Frame(strip_, frame))
                return frame;
        }
        return 0;
    }

    void Enter(QPoint at = {5, 5})
    {
        QEnterEvent event(at, button_->mapTo(&window_, at), button_->mapToGlobal(at));
        QApplication::sendEvent(button_, &event);
    }
    void Leave()
    {
        QEvent event(QEvent::Leave);
        QApplication::sendEvent(button_, &event);
    }
    void Move(QPoint to, Qt::MouseButtons held = Qt::NoButton)
    {
        QMouseEvent event(QEvent::MouseMove, to, button_->mapToGlobal(to), Qt::NoButton, held,
                          Qt::NoModifier);
        QApplication::sendEvent(button_, &event);
    }
    void Press(QPoint at = {5, 5}) { QTest::mousePress(button_, Qt::LeftButton, {}, at); }
    void Release(QPoint at = {5, 5}) { QTest::mouseRelease(button_, Qt::LeftButton, {}, at); }

    QPixmap strip_ = SyntheticStrip();
    QWidget window_;
    HoverBitmapButton* button_;  // owned by window_
};

TEST_F(HoverBitmapButtonTest, ShowsNormalFrameCopiedUnscaledFromTheStripsLeftEdge)
{
    EXPECT_EQ(ShownFrame(), 1);
    EXPECT_FALSE(button_->hovering());
}

TEST_F(HoverBitmapButtonTest, PointerOverTheButtonShowsTheHoverFrameTakenFromX88)
{
    Enter();
    EXPECT_TRUE(button_->hovering());
    EXPECT_EQ(ShownFrame(), 3);
    Leave();
    EXPECT_FALSE(button_->hovering());
    EXPECT_EQ(ShownFrame(), 1);
}

TEST_F(HoverBitmapButtonTest, AMoveOntoTheButtonStartsHoverWithoutAnEnterEvent)
{
    Move({10, 10});
    EXPECT_EQ(ShownFrame(), 3);
}

TEST_F(HoverBitmapButtonTest, PressedFrameWinsOverHover)
{
    Enter();
    Press();
    EXPECT_TRUE(button_->isDown());
    EXPECT_TRUE(button_->hovering());
    EXPECT_EQ(ShownFrame(), 2);
}

TEST_F(HoverBitmapButtonTest, DisabledFrameWinsOverHover)
{
    Enter();
    button_->setEnabled(false);
    EXPECT_TRUE(button_->hovering());
    EXPECT_EQ(ShownFrame(), 4);
    button_->setEnabled(true);
    EXPECT_EQ(ShownFrame(), 3);
}

TEST_F(HoverBitmapButtonTest, DisabledWithoutHoverShowsTheDisabledFrame)
{
    button_->setEnabled(false);
    EXPECT_EQ(ShownFrame(), 4);
}

TEST_F(HoverBitmapButtonTest, ReleaseClicksAndShowsNormalFrameUntilThePointerMovesAgain)
{
    QSignalSpy clicked(button_, &QPushButton::clicked);
    Enter();
    Press();
    Release();
    EXPECT_EQ(clicked.count(), 1);
    EXPECT_FALSE(button_->hovering());
    EXPECT_EQ(ShownFrame(), 1);
    Move({6, 6});
    EXPECT_EQ(ShownFrame(), 3);
}

TEST_F(HoverBitmapButtonTest, CrossingTheRightOrBottomEdgeIsLeaving)
{
    const int width = button_->width();
    const int height = button_->height();

    Enter();
    Move({width - 1, height - 1});  // last pixel inside
    EXPECT_TRUE(button_->hovering());
    Move({width, 5});
    EXPECT_FALSE(button_->hovering());
    EXPECT_EQ(ShownFrame(), 1);

    Move({5, 5});
    EXPECT_TRUE(button_->hovering());
    Move({5, height});
    EXPECT_FALSE(button_->hovering());
    EXPECT_EQ(ShownFrame(), 1);
}

TEST_F(HoverBitmapButtonTest, DraggingOutWhilePressedLeavesHoverAndDoesNotClick)
{
    // While the button is held Qt keeps the mouse on it and delays the leave
    // event, so only the moves tell that the pointer has gone.
    QSignalSpy clicked(button_, &QPushButton::clicked);
    Enter();
    Press();
    Move({button_->width() + 10, 5}, Qt::LeftButton);
    EXPECT_FALSE(button_->hovering());
    EXPECT_FALSE(button_->isDown());
    EXPECT_EQ(ShownFrame(), 1);

    Move({5, 5}, Qt::LeftButton);  // back on it, still held
    EXPECT_TRUE(button_->isDown());
    EXPECT_EQ(ShownFrame(), 2);

    Move({button_->width() + 10, 5}, Qt::LeftButton);
    Release({button_->width() + 10, 5});
    EXPECT_EQ(clicked.count(), 0);
    EXPECT_EQ(ShownFrame(), 1);
}

TEST_F(HoverBitmapButtonTest, EnteringRepaintsOnceAndMovesInsideDoNotRepaint)
{
    QApplication::processEvents();
    PaintCounter counter(button_);

    Move({5, 5});
    QApplication::processEvents();
    EXPECT_EQ(counter.paints, 1);

    Move({6, 7});
    Move({20, 12});
    QApplication::processEvents();
    EXPECT_EQ(counter.paints, 1);

    Move({button_->width(), 12});
    QApplication::processEvents();
    EXPECT_EQ(counter.paints, 2);
}

TEST_F(HoverBitmapButtonTest, PointerMovedByTheWindowSystemEntersAndLeaves)
{
    // The real path: moves of the pointer over the window, enter and leave
    // worked out by Qt.
    QTest::mouseMove(&window_, QPoint(5, 5));
    ASSERT_FALSE(button_->hovering());
    PaintCounter counter(button_);
    QTest::mouseMove(&window_, button_->geometry().center());
    QApplication::processEvents();
    EXPECT_TRUE(button_->hovering());
    EXPECT_EQ(counter.paints, 1);
    QTest::mouseMove(&window_, button_->geometry().center() + QPoint(3, 2));
    QApplication::processEvents();
    EXPECT_EQ(counter.paints, 1);
    EXPECT_EQ(ShownFrame(), 3);

    QTest::mouseMove(&window_, QPoint(5, 5));
    EXPECT_FALSE(button_->hovering());
    EXPECT_EQ(ShownFrame(), 1);
}

TEST_F(HoverBitmapButtonTest, RowsBelowTheFrameAreLeftToTheParent)
{
    // Nothing but the frame is painted: grab() fills the rest with the
    // palette's window colour, as the parent would show there.
    const QImage image = Rendered(*button_);
    const QRgb background = button_->palette().color(QPalette::Window).rgb();
    for (int x = 0; x < image.width(); ++x) {
        EXPECT_EQ(image.pixel(x, kFrameHeight), background) << x;
        EXPECT_EQ(image.pixel(x, kFrameHeight + 1), background) << x;
    }
}

TEST_F(HoverBitmapButtonTest, FrameOrderPicksOtherFramesOfTheStrip)
{
    button_->SetFrameOrder(4, 3, 2, 1);
    EXPECT_EQ(ShownFrame(), 4);
    Enter();
    EXPECT_EQ(ShownFrame(), 2);
    Press();
    EXPECT_EQ(ShownFrame(), 3);
}

TEST_F(HoverBitmapButtonTest, LoadedStripBringsThePointingHandCursor)
{
    EXPECT_TRUE(button_->testAttribute(Qt::WA_SetCursor));
    EXPECT_EQ(button_->cursor().shape(), Qt::PointingHandCursor);

    HoverBitmapButton plain;
    EXPECT_FALSE(plain.testAttribute(Qt::WA_SetCursor));
}

TEST_F(HoverBitmapButtonTest, AFrameBeyondTheStripDrawsNothingOfTheStrip)
{
    button_->SetFrameOrder(5, 2, 3, 4);
    const QImage image = Rendered(*button_);
    const QRgb background = button_->palette().color(QPalette::Window).rgb();
    for (int x = 0; x < image.width(); ++x) {
        for (int y = 0; y < image.height(); ++y)
            ASSERT_EQ(image.pixel(x, y), background) << x << "," << y;
    }
}

// A button rendered by the style next to a plain QPushButton of the same
// size, text and state.
bool LooksLikePlainButton(HoverBitmapButton& button)
{
    QPushButton plain(button.text());
    plain.resize(button.size());
    plain.setCheckable(button.isCheckable());
    plain.setChecked(button.isChecked());
    plain.setIcon(button.icon());
    plain.setIconSize(button.iconSize());
    return Rendered(button) == Rendered(plain);
}

TEST(HoverBitmapButtonWithoutStrip, MissingStripIsDrawnByTheStyle)
{
    HoverBitmapButton button(QStringLiteral("文件"));
    button.resize(kButtonSize);
    button.LoadFrameStrip(QPixmap(), QSize(kFrameWidth, kFrameHeight));
    EXPECT_FALSE(button.has_frame_strip());
    EXPECT_TRUE(LooksLikePlainButton(button));
    EXPECT_EQ(button.cursor().shape(), Qt::PointingHandCursor);
}

TEST(HoverBitmapButtonWithoutStrip, PushLikeToggleRepaintsOnEnterAndLeave)
{
    QWidget window;
    window.resize(100, 60);
    auto* toggle = new HoverBitmapButton(&window);
    toggle->setCheckable(true);
    QPixmap off(kFrameWidth, kFrameHeight);
    off.fill(Qt::darkGreen);
    toggle->setIcon(off);
    toggle->setIconSize(off.size());
    toggle->setGeometry(QRect(QPoint(10, 10), kButtonSize));
    window.show();
    QApplication::processEvents();

    auto counter = std::make_unique<PaintCounter>(toggle);

    QEnterEvent enter(QPointF(5, 5), QPointF(15, 15), toggle->mapToGlobal(QPointF(5, 5)));
    QApplication::sendEvent(toggle, &enter);
    QApplication::processEvents();
    EXPECT_TRUE(toggle->hovering());
    EXPECT_EQ(counter->paints, 1);

    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(toggle, &leave);
    QApplication::processEvents();
    EXPECT_FALSE(toggle->hovering());
    EXPECT_EQ(counter->paints, 2);
    counter.reset();

    EXPECT_TRUE(LooksLikePlainButton(*toggle));
    EXPECT_FALSE(toggle->testAttribute(Qt::WA_SetCursor));

    QTest::mouseClick(toggle, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(toggle->isChecked());
    EXPECT_TRUE(LooksLikePlainButton(*toggle));
}

// Writes the four looks of the File button side by side (normal, hover,
// pressed, disabled), each over the main window's skin where the button
// sits, when KINOVERD_SCREENSHOT_DIR names a folder.
TEST(HoverBitmapButtonScreenshot, FourLooksOfTheFileButton)
{
    const QString folder = qEnvironmentVariable("KINOVERD_SCREENSHOT_DIR");
    if (folder.isEmpty())
        GTEST_SKIP() << "set KINOVERD_SCREENSHOT_DIR to write controls-button.png";

    QPixmap strip = LoadBitmap(Bitmap::FileButton);
    if (strip.isNull())
        strip = SyntheticStrip();
    QPixmap skin = LoadBitmap(Bitmap::MainSkin);
    if (skin.isNull()) {
        skin = QPixmap(484, 120);
        skin.fill(Qt::darkGray);
    }

    QLabel window;  // shows the skin from its top-left corner, as the main window does
    window.setPixmap(skin);
    window.resize(skin.size());
    auto* button = new HoverBitmapButton(QStringLiteral("文件"), &window);
    button->setGeometry(QRect(19, 92, 43, 26));  // 13, 57, 29, 16 dialog units
    button->LoadFrameStrip(strip, QSize(kFrameWidth, kFrameHeight));
    window.show();
    QApplication::processEvents();

    constexpr int kGap = 6;
    constexpr int kCaptionHeight = 14;
    const QRect around = button->geometry().adjusted(-kGap, -kGap, kGap, kGap);
    QImage sheet(4 * around.width(), around.height() + kCaptionHeight, QImage::Format_RGB32);
    sheet.fill(Qt::white);
    QPainter painter(&sheet);
    QFont font = painter.font();
    font.setPixelSize(10);
    painter.setFont(font);
    auto shoot = [&](int slot, const char* caption) {
        const QPoint at(slot * around.width(), 0);
        painter.drawPixmap(at, window.grab(around));
        painter.drawText(QRect(at + QPoint(0, around.height()), QSize(around.width(), kCaptionHeight)),
                         Qt::AlignCenter, QString::fromLatin1(caption));
    };
    shoot(0, "normal");
    QEnterEvent enter(QPointF(5, 5), QPointF(24, 97), button->mapToGlobal(QPointF(5, 5)));
    QApplication::sendEvent(button, &enter);
    shoot(1, "hover");
    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(5, 5));
    shoot(2, "pressed");
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(5, 5));
    button->setEnabled(false);
    shoot(3, "disabled");
    painter.end();

    const QString path = QDir(folder).filePath(QStringLiteral("controls-button.png"));
    EXPECT_TRUE(sheet.scaled(sheet.size() * 3).save(path));
}

}  // namespace
}  // namespace kinoverd
