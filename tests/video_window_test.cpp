// SPDX-License-Identifier: GPL-3.0-or-later
// The video window as the user sees and works it: its skin, keys, right-click
// menu, drops and dragging with magnetic snapping to the main window. What
// it asks for goes out as signals; the main window decides.
#include "app/video_window.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QImage>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWindow>
#include <gtest/gtest.h>

#include <functional>

#include "app/window_docking.h"
#include "resources/bitmap_resource.h"

namespace kinoverd {
namespace {

class VideoWindowTest : public testing::Test {
protected:
    static constexpr QPoint kVideoStart{40, 30};
    static constexpr QRect kMainStart{40, 390, 485, 120};  // docked under the video window

    VideoWindowTest() : video_(&main_, flags_)
    {
        main_.setGeometry(kMainStart);
        video_.move(kVideoStart);
        main_.show();
        video_.show();
        QApplication::processEvents();
    }

    // The pointer is a point on the screen; the window sees it in its own
    // coordinates, wherever it has moved meanwhile.
    void Mouse(QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons held)
    {
        QMouseEvent event(type, pointer_ - video_.pos(), QPointF(pointer_), button, held, Qt::NoModifier);
        QApplication::sendEvent(&video_, &event);
    }
    void PressAt(QPoint local)
    {
        pointer_ = video_.pos() + local;
        Mouse(QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton);
    }
    void MoveBy(int dx, int dy, Qt::MouseButtons held = Qt::LeftButton)
    {
        pointer_ += QPoint(dx, dy);
        Mouse(QEvent::MouseMove, Qt::NoButton, held);
    }
    void Release() { Mouse(QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton); }

    // Right-clicks the frame; `use` gets the menu once it is up (it opens
    // after the press, from the event loop).
    void WithPopupMenu(const std::function<void(QMenu&)>& use)
    {
        bool used = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu || used) return;
            used = true;
            use(*menu);
        });
        poll.start(10);
        QTest::mouseClick(&video_, Qt::RightButton, Qt::NoModifier, QPoint(20, 10));
        EXPECT_TRUE(QTest::qWaitFor([&] { return used; }, 5000));
    }

    QWidget main_{nullptr, Qt::Window | Qt::FramelessWindowHint};
    DockingFlags flags_;
    VideoWindow video_;
    QPoint pointer_;
};

TEST_F(VideoWindowTest, IsAFixedFramelessWindowShowingTheIdlePictureInTheFrame)
{
    EXPECT_TRUE(video_.isWindow());
    EXPECT_EQ(video_.parentWidget(), &main_);
    EXPECT_TRUE(video_.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(video_.size(), QSize(485, 360));
    EXPECT_EQ(video_.minimumSize(), video_.maximumSize());
    EXPECT_TRUE(video_.acceptDrops());

    const QImage frame = LoadBitmap(Bitmap::VideoFrame).toImage().convertToFormat(QImage::Format_RGB32);
    const QImage idle = LoadBitmap(Bitmap::IdlePicture).toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(idle.size(), QSize(377, 302));
    const QImage shown = video_.grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shown.size(), frame.size());
    int frame_mismatches = 0;
    int idle_mismatches = 0;
    for (int y = 0; y < shown.height(); ++y) {
        for (int x = 0; x < shown.width(); ++x) {
            if (kVideoArea.contains(x, y))
                idle_mismatches += shown.pixel(x, y) != idle.pixel(x - 54, y - 29);
            else
                frame_mismatches += shown.pixel(x, y) != frame.pixel(x, y);
        }
    }
    EXPECT_EQ(frame_mismatches, 0);
    EXPECT_EQ(idle_mismatches, 0);

    // KINOVERD_SCREENSHOT_DIR=folder writes the idle window there.
    const QString folder = qEnvironmentVariable("KINOVERD_SCREENSHOT_DIR");
    if (!folder.isEmpty()) {
        EXPECT_TRUE(video_.grab().save(QDir(folder).filePath(QStringLiteral("video-window.png"))));
    }
}

TEST_F(VideoWindowTest, EscAndReturnAskForTheModesAndClosingIsRefused)
{
    QSignalSpy window_mode(&video_, &VideoWindow::windowModeRequested);
    QSignalSpy full_screen(&video_, &VideoWindow::fullScreenRequested);
    QTest::keyClick(&video_, Qt::Key_Escape);
    EXPECT_EQ(window_mode.count(), 1);
    QTest::keyClick(&video_, Qt::Key_Return);
    QTest::keyClick(&video_, Qt::Key_Enter, Qt::KeypadModifier);
    QTest::keyClick(&video_, Qt::Key_Space);
    EXPECT_EQ(full_screen.count(), 2);
    EXPECT_EQ(window_mode.count(), 1);

    // Alt+F4 and the window manager's close button ask to close.
    ASSERT_NE(video_.windowHandle(), nullptr);
    video_.windowHandle()->close();
    EXPECT_FALSE(video_.close());
    QApplication::processEvents();
    EXPECT_TRUE(video_.isVisible());
}

TEST_F(VideoWindowTest, RightClickMenuQueuesTheChosenRequest)
{
    QStringList texts;
    WithPopupMenu([&texts](QMenu& menu) {
        for (QAction* action : menu.actions()) texts << action->text();
        menu.close();
    });
    EXPECT_EQ(texts, (QStringList{QStringLiteral("声道(&C)"), QStringLiteral("窗口模式(&W)\tEsc"),
                                  QStringLiteral("全屏模式(&F)\tReturn"), QString(),
                                  QStringLiteral("收看频道(&V)...")}));

    QSignalSpy audio_channel(&video_, &VideoWindow::audioChannelRequested);
    QSignalSpy window_mode(&video_, &VideoWindow::windowModeRequested);
    QSignalSpy full_screen(&video_, &VideoWindow::fullScreenRequested);
    const QSignalSpy* const requests[] = {&audio_channel, &window_mode, &full_screen};  // the menu's order
    for (int entry = 0; entry < 3; ++entry) {
        WithPopupMenu([entry](QMenu& menu) {
            menu.setActiveAction(menu.actions()[entry]);
            QTest::keyClick(&menu, Qt::Key_Return);
        });
        QApplication::processEvents();
        for (int other = 0; other < 3; ++other)
            EXPECT_EQ(requests[other]->count(), other <= entry ? 1 : 0) << entry;
    }
}

TEST_F(VideoWindowTest, DroppedLocalFilesAreHandedOnAndOtherDropsRefused)
{
    QSignalSpy dropped(&video_, &VideoWindow::filesDropped);
    auto drop = [this](const QMimeData& data) {
        QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&video_, &enter);
        QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&video_, &drop);
        return enter.isAccepted();
    };
    QMimeData text;
    text.setText(QStringLiteral("/media/a.mpg"));
    EXPECT_FALSE(drop(text));
    QMimeData remote;
    remote.setUrls({QUrl(QStringLiteral("https://example.org/b.mpg"))});
    EXPECT_FALSE(drop(remote));
    EXPECT_EQ(dropped.count(), 0);

    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(QStringLiteral("/media/片/a.mpg")),
                   QUrl(QStringLiteral("https://example.org/b.mpg")),
                   QUrl::fromLocalFile(QStringLiteral("/media/c d.dat")),
                   QUrl(QStringLiteral("file://localhost/media/e.mpg"))});
    EXPECT_TRUE(drop(files));
    ASSERT_EQ(dropped.count(), 1);
    EXPECT_EQ(dropped[0][0].value<MediaPaths>(),
              EncodeNames({QStringLiteral("/media/片/a.mpg"), QStringLiteral("/media/c d.dat"),
                           QStringLiteral("/media/e.mpg")}));
}

TEST_F(VideoWindowTest, TheFrameDragsTheWindowButThePictureDoesNot)
{
    flags_ = {false, false, false};
    main_.move(600, 500);
    // Pressed over the picture: nothing moves until the pointer leaves it.
    PressAt({100, 100});
    MoveBy(30, 20);
    MoveBy(200, 0);  // (330, 120): still over the picture
    EXPECT_EQ(video_.pos(), kVideoStart);
    MoveBy(0, 250);  // (330, 370): below it, on the frame
    EXPECT_EQ(video_.pos(), kVideoStart + QPoint(230, 270));
    Release();

    video_.move(kVideoStart);
    PressAt({20, 10});
    MoveBy(7, 3);
    EXPECT_EQ(video_.pos(), kVideoStart + QPoint(7, 3));
    MoveBy(-20, 12);
    EXPECT_EQ(video_.pos(), kVideoStart + QPoint(-13, 15));
    EXPECT_EQ(flags_, (DockingFlags{false, false, false}));
    Release();
    // Without the button nothing follows the pointer.
    MoveBy(40, 40, Qt::NoButton);
    EXPECT_EQ(video_.pos(), kVideoStart + QPoint(-13, 15));

    // A full-screen picture is not dragged.
    video_.set_full_screen(true);
    PressAt({20, 10});
    MoveBy(40, 40);
    Release();
    EXPECT_EQ(video_.pos(), kVideoStart + QPoint(-13, 15));
}

TEST_F(VideoWindowTest, SnapsToTheMainWindowHoldsThereAndDocksOnRelease)
{
    flags_ = {false, false, false};
    // 30 pixels under the main window, 9 pixels right of its left edge.
    main_.move(100, 50);
    video_.move(109, 200);
    PressAt({20, 10});
    MoveBy(0, -20);  // top 10 pixels under the main window's bottom (170)
    const QRect main = main_.frameGeometry();
    const QPoint docked(main.x(), main.y() + main.height());
    EXPECT_EQ(video_.pos(), docked);
    EXPECT_EQ(flags_, (DockingFlags{true, true, false}));
    Release();
    EXPECT_TRUE(flags_.moves_with_main);

    // Snapped, it holds within 15 pixels, then slides along the edge.
    flags_ = {true, true, false};
    PressAt({20, 10});
    MoveBy(15, 0);
    MoveBy(-30, 15);
    MoveBy(15, -30);
    EXPECT_EQ(video_.pos(), docked);
    MoveBy(16, 15);  // 16 pixels right of the anchor, back on its row
    EXPECT_EQ(video_.pos(), docked + QPoint(16, 0));
    EXPECT_EQ(flags_, (DockingFlags{false, true, false}));
    Release();
    EXPECT_TRUE(flags_.moves_with_main);

    // Pulled well away: both snaps go, and the release undocks.
    PressAt({20, 10});
    MoveBy(0, 100);
    EXPECT_EQ(video_.pos(), docked + QPoint(16, 100));
    EXPECT_FALSE(flags_.x_snap || flags_.y_snap);
    Release();
    EXPECT_FALSE(flags_.moves_with_main);
}

}  // namespace
}  // namespace kinoverd
