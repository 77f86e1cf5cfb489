// SPDX-License-Identifier: GPL-3.0-or-later
// The picture of a playing graph: frames handed over from another thread,
// drawn with their aspect ratio kept, shown full screen and back, and input
// over the picture passed on to the owner window.
#include "playback/video_renderer.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QTest>

#include <thread>
#include <vector>

namespace kinoverd {
namespace {

class RecordingOwner : public QWidget {
public:
    std::vector<int> keys;
    std::vector<QPoint> presses;

protected:
    void keyPressEvent(QKeyEvent* event) override { keys.push_back(event->key()); }
    void mousePressEvent(QMouseEvent* event) override { presses.push_back(event->position().toPoint()); }
};

QImage SolidFrame(int width, int height, QColor colour)
{
    QImage frame(width, height, QImage::Format_RGB32);
    frame.fill(colour);
    return frame;
}

class VideoRendererTest : public testing::Test {
protected:
    void SetUp() override
    {
        owner_.resize(485, 360);
        owner_.show();
    }
    void ProcessEvents() { QCoreApplication::processEvents(); }

    RecordingOwner owner_;
    VideoRenderer* renderer_ = new VideoRenderer(&owner_, QRect(54, 29, 378, 303));
};

TEST_F(VideoRendererTest, SitsAtTheVideoAreaOfItsOwner)
{
    EXPECT_EQ(renderer_->parentWidget(), &owner_);
    EXPECT_EQ(renderer_->geometry(), QRect(54, 29, 378, 303));
    EXPECT_TRUE(renderer_->isVisible());
}

TEST_F(VideoRendererTest, FramesFromAnotherThreadAreShownInOrder)
{
    std::thread streaming([this] {
        for (int i = 0; i < 5; ++i) renderer_->PostFrame(SolidFrame(352, 288, QColor(i * 40, 0, 0)));
    });
    streaming.join();
    EXPECT_EQ(renderer_->frames_presented(), 0);
    ProcessEvents();
    EXPECT_EQ(renderer_->frames_presented(), 5);
    EXPECT_EQ(renderer_->current_frame().pixelColor(0, 0), QColor(160, 0, 0));
}

TEST_F(VideoRendererTest, KeepsTheFramesAspectRatioWithBlackBars)
{
    renderer_->PostFrame(SolidFrame(352, 288, Qt::white));
    ProcessEvents();
    const QImage shown = renderer_->grab().toImage();
    // 352 x 288 scaled into 378 x 303 is about 370 x 303: 4 pixels of bar each side.
    EXPECT_EQ(shown.pixelColor(189, 151), QColor(Qt::white));
    EXPECT_EQ(shown.pixelColor(1, 151), QColor(Qt::black));
    EXPECT_EQ(shown.pixelColor(376, 151), QColor(Qt::black));
    EXPECT_EQ(shown.pixelColor(189, 1), QColor(Qt::white));
}

TEST_F(VideoRendererTest, GoesFullScreenAndBackToTheVideoArea)
{
    renderer_->SetFullScreen(true);
    ProcessEvents();
    EXPECT_TRUE(renderer_->isWindow());
    EXPECT_TRUE(renderer_->isFullScreen());
    EXPECT_EQ(renderer_->geometry(), renderer_->screen()->geometry());

    renderer_->SetFullScreen(false);
    ProcessEvents();
    EXPECT_FALSE(renderer_->isWindow());
    EXPECT_EQ(renderer_->parentWidget(), &owner_);
    EXPECT_EQ(renderer_->geometry(), QRect(54, 29, 378, 303));
    EXPECT_TRUE(renderer_->isVisible());
}

TEST_F(VideoRendererTest, KeysAndClicksOverThePictureReachTheOwner)
{
    QTest::keyClick(renderer_, Qt::Key_Escape);
    QTest::keyClick(renderer_, Qt::Key_Return);
    EXPECT_EQ(owner_.keys, (std::vector<int>{Qt::Key_Escape, Qt::Key_Return}));

    QTest::mousePress(renderer_, Qt::RightButton, {}, QPoint(10, 20));
    ASSERT_EQ(owner_.presses.size(), 1u);
    // Where it happened, in the owner's coordinates.
    EXPECT_EQ(owner_.presses[0], QPoint(64, 49));

    // Also from the whole screen.
    renderer_->SetFullScreen(true);
    ProcessEvents();
    QTest::keyClick(renderer_, Qt::Key_Escape);
    EXPECT_EQ(owner_.keys.back(), Qt::Key_Escape);
    EXPECT_EQ(owner_.keys.size(), 3u);
}

}  // namespace
}  // namespace kinoverd
