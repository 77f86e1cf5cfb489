// VideoWindow: the station's picture window. Its skin, the messages it passes
// on to the main window, its keys, menu, drops and snapping drag, and real
// broadcasts played through it on the private loopback network.
#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QImage>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "app/window_docking.h"
#include "broadcast/broadcaster.h"
#include "broadcast/notify_target.h"
#include "playback/media_graph_controller.h"
#include "playback/video_renderer.h"
#include "app/video_window.h"
#include "playback/video_window_owner.h"
#include "playback/window_message.h"
#include "resources/bitmap_resource.h"
#include "tests/support/pulse_null_output.h"

namespace kinoverd {
namespace {

using test::PulseNullOutput;
using namespace std::chrono_literals;

const std::string kMedia = KINOVERD_TEST_MEDIA_DIR;

// The owner interface's calls, recorded among the messages.
constexpr int kClearPositionHoldCall = -1;
constexpr int kApplyFullScreenCall = -2;

struct Received {
    int message;
    uintptr_t wparam;
    friend bool operator==(const Received&, const Received&) = default;
};

void PrintTo(const Received& r, std::ostream* out) { *out << r.message << "(" << r.wparam << ")"; }

// Records what the video window sends and posts to it, and handles the
// sender's hold messages as the real main window does.
class FakeMainWindow : public QWidget, public VideoWindowOwner {
public:
    FakeMainWindow() : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint) {}

    QWidget* window() override { return this; }
    DockingFlags& docking_flags() override { return flags; }
    void ClearPositionHold() override { received.push_back({kClearPositionHoldCall, 0}); }
    void ApplyFullScreenChoice() override
    {
        received.push_back({kApplyFullScreenCall, 0});
        if (video) video->controller().SetFullScreen(full_screen_choice ? 1 : 0);
    }

    int Count(int message) const
    {
        int count = 0;
        for (const Received& r : received) count += r.message == message;
        return count;
    }
    // Positions (wParam of 8106) in arrival order.
    std::vector<uintptr_t> Positions() const
    {
        std::vector<uintptr_t> positions;
        for (const Received& r : received) {
            if (r.message == kMsgPosition) positions.push_back(r.wparam);
        }
        return positions;
    }

    DockingFlags flags;
    bool full_screen_choice = false;
    VideoWindow* video = nullptr;
    Broadcaster* sender = nullptr;
    std::vector<Received> received;
    QStringList dropped;

protected:
    bool event(QEvent* event) override
    {
        if (event->type() != WindowMessage::EventType()) return QWidget::event(event);
        const auto* message = static_cast<const WindowMessage*>(event);
        received.push_back({message->message(), message->wparam()});
        switch (message->message()) {
        case kMsgHoldSender:
            if (sender) sender->HoldSend();
            break;
        case kMsgReleaseSender:
            if (sender) sender->ReleaseSend();
            break;
        case kMsgRingNearlyFull:
            if (sender) sender->HoldSendFor500ms();
            break;
        case kMsgDropFiles:
            dropped = *reinterpret_cast<const QStringList*>(message->wparam());
            break;
        default: break;
        }
        return true;
    }
};

// The positions the controller reports to the video window, in arrival order.
class PositionRecorder : public QObject {
public:
    std::vector<uintptr_t> values;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == WindowMessage::EventType()) {
            const auto* message = static_cast<const WindowMessage*>(event);
            if (message->message() == kMsgPosition) values.push_back(message->wparam());
        }
        return false;
    }
};

// The renderer of the graph playing now: a child of the video window, or a
// top-level window of its own in full screen.
VideoRenderer* Renderer(VideoWindow& video)
{
    if (auto* child = video.findChild<VideoRenderer*>()) return child;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* renderer = qobject_cast<VideoRenderer*>(widget)) return renderer;
    }
    return nullptr;
}

// A UDP socket on `port` of every address, without SO_REUSEADDR: no other
// socket can bind that port while it is open.
class PortBlocker {
public:
    explicit PortBlocker(uint16_t port) : fd_(socket(AF_INET, SOCK_DGRAM, 0))
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        bound_ = fd_ >= 0 && bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~PortBlocker()
    {
        if (fd_ >= 0) close(fd_);
    }
    PortBlocker(const PortBlocker&) = delete;
    PortBlocker& operator=(const PortBlocker&) = delete;
    bool bound() const { return bound_; }

private:
    int fd_;
    bool bound_ = false;
};

class VideoWindowTest : public testing::Test {
protected:
    static constexpr QPoint kVideoStart{40, 30};
    static constexpr QRect kMainStart{40, 390, 485, 120};  // docked under the video window

    VideoWindowTest() : video_(&main_)
    {
        main_.video = &video_;
        video_.SetMainWindow(&main_);
        video_.show_message = [this](QWidget*, const QString& text) {
            shown_.push_back(text);
            // A real box runs the event loop: the failure was posted before it.
            QApplication::processEvents();
            failures_known_to_box_ = main_.Count(kMsgStartFailed);
        };
        main_.setGeometry(kMainStart);
        video_.move(kVideoStart);
        main_.show();
        video_.show();
        QApplication::processEvents();
    }

    ~VideoWindowTest() override
    {
        main_.sender = nullptr;
        if (sender_) sender_->StopQuietly();
    }

    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout)
    {
        const auto give_up = std::chrono::steady_clock::now() + timeout;
        while (!done()) {
            if (std::chrono::steady_clock::now() > give_up) return false;
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return true;
    }
    void RunFor(std::chrono::milliseconds time)
    {
        RunUntil([] { return false; }, time);
    }
    bool RunUntilReceived(int message, int count, std::chrono::milliseconds timeout)
    {
        return RunUntil([&] { return main_.Count(message) >= count; }, timeout);
    }

    // Starts broadcasting `file` on `channel`, as the main window does after
    // the video window has tuned in.
    bool Cast(const std::string& file, int channel = 0)
    {
        if (sender_) sender_->StopQuietly();
        main_.sender = nullptr;
        sender_ = std::make_unique<Broadcaster>(file, channel, 2048, nullptr);
        if (!sender_->Start(0)) {
            ADD_FAILURE() << file << ": " << sender_->error();
            return false;
        }
        main_.sender = sender_.get();
        sender_->Run();
        return true;
    }
    // Tunes to channel 0, casts `file` and waits until its graph runs.
    bool PlayUntilRunning(const std::string& file)
    {
        video_.set_channel(0);
        if (video_.StartPlayback() != 1) return false;
        if (!Cast(file)) return false;
        return RunUntilReceived(kMsgReleaseSender, 1, 30s);
    }

    // The pointer is a point on the screen; the window sees it in its own
    // coordinates, wherever it has moved meanwhile.
    void Mouse(QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons held)
    {
        const QPointF local = pointer_ - video_.pos();
        QMouseEvent event(type, local, QPointF(pointer_), button, held, Qt::NoModifier);
        QApplication::sendEvent(&video_, &event);
    }
    void PressAt(QPoint local)
    {
        pointer_ = video_.pos() + local;
        Mouse(QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton);
    }
    void MoveBy(int dx, int dy)
    {
        pointer_ += QPoint(dx, dy);
        Mouse(QEvent::MouseMove, Qt::NoButton, Qt::LeftButton);
    }
    void Release() { Mouse(QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton); }

    // Right-clicks the frame; `use` gets the menu once it is up.
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
        pointer_ = video_.pos() + QPoint(20, 10);
        Mouse(QEvent::MouseButtonPress, Qt::RightButton, Qt::RightButton);
        Mouse(QEvent::MouseButtonRelease, Qt::RightButton, Qt::NoButton);
        EXPECT_TRUE(used);
    }
    static void Choose(QMenu& menu, int command)
    {
        for (QAction* action : menu.actions()) {
            if (action->data().toInt() == command) menu.setActiveAction(action);
        }
        QTest::keyClick(&menu, Qt::Key_Return);
    }

    FakeMainWindow main_;
    VideoWindow video_;
    std::unique_ptr<Broadcaster> sender_;
    PositionRecorder positions_;
    std::vector<QString> shown_;
    int failures_known_to_box_ = 0;
    QPointF pointer_;
};

// ---- the window and its skin ----

TEST_F(VideoWindowTest, IsAFixedSizeFramelessWindowOwnedByTheMainWindow)
{
    EXPECT_TRUE(video_.isWindow());
    EXPECT_EQ(video_.parentWidget(), &main_);
    EXPECT_TRUE(video_.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(video_.size(), QSize(485, 360));
    EXPECT_EQ(video_.minimumSize(), video_.maximumSize());
    EXPECT_TRUE(video_.acceptDrops());
}

TEST_F(VideoWindowTest, PaintsTheFrameWithTheIdlePictureInTheVideoArea)
{
    const QImage frame = LoadBitmap(Bitmap::VideoFrame).toImage().convertToFormat(QImage::Format_RGB32);
    const QImage idle = LoadBitmap(Bitmap::IdlePicture).toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(frame.size(), QSize(485, 360));
    ASSERT_EQ(idle.size(), QSize(377, 302));
    const QImage shown = video_.grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shown.size(), QSize(485, 360));

    int frame_mismatches = 0;
    int idle_mismatches = 0;
    for (int y = 0; y < shown.height(); ++y) {
        for (int x = 0; x < shown.width(); ++x) {
            const bool in_area = x >= 54 && x < 54 + 377 && y >= 29 && y < 29 + 302;
            if (in_area)
                idle_mismatches += shown.pixel(x, y) != idle.pixel(x - 54, y - 29);
            else
                frame_mismatches += shown.pixel(x, y) != frame.pixel(x, y);
        }
    }
    EXPECT_EQ(frame_mismatches, 0);
    EXPECT_EQ(idle_mismatches, 0);
}

// Writes the idle window when KINOVERD_SCREENSHOT_DIR names a folder.
TEST_F(VideoWindowTest, Screenshot)
{
    const QString folder = qEnvironmentVariable("KINOVERD_SCREENSHOT_DIR");
    if (folder.isEmpty()) GTEST_SKIP() << "set KINOVERD_SCREENSHOT_DIR to write video-window.png";
    EXPECT_TRUE(video_.grab().save(QDir(folder).filePath(QStringLiteral("video-window.png"))));
}

// ---- messages passed on to the main window ----

TEST_F(VideoWindowTest, PositionsAreSentOnWithTheirValue)
{
    WindowMessage::Send(&video_, kMsgPosition, 123456);
    // Sent: handled by the main window before the video window's handler ends.
    EXPECT_EQ(main_.received, (std::vector<Received>{{kMsgPosition, 123456}}));
}

TEST_F(VideoWindowTest, RestartSendsAZeroPosition)
{
    WindowMessage::Send(&video_, kMsgRestart);
    EXPECT_EQ(main_.received, (std::vector<Received>{{kMsgPosition, 0}}));
}

TEST_F(VideoWindowTest, ClosePostsAZeroPosition)
{
    WindowMessage::Send(&video_, kMsgClose);
    EXPECT_TRUE(main_.received.empty());
    QApplication::processEvents();
    EXPECT_EQ(main_.received, (std::vector<Received>{{kMsgPosition, 0}}));
}

TEST_F(VideoWindowTest, EndPostsAZeroPositionThenTheProgrammeEnd)
{
    WindowMessage::Send(&video_, kMsgEndOfStream);
    EXPECT_TRUE(main_.received.empty());
    QApplication::processEvents();
    EXPECT_EQ(main_.received,
              (std::vector<Received>{{kMsgPosition, 0}, {kMsgProgrammeEnd, 0}}));
}

TEST_F(VideoWindowTest, RingNearlyFullIsPostedOn)
{
    WindowMessage::Send(&video_, kMsgRingNearlyFull);
    EXPECT_TRUE(main_.received.empty());
    QApplication::processEvents();
    EXPECT_EQ(main_.received, (std::vector<Received>{{kMsgRingNearlyFull, 0}}));
}

TEST_F(VideoWindowTest, UnderrunStaysWithTheWindow)
{
    WindowMessage::Send(&video_, kMsgRingEmpty);
    QApplication::processEvents();
    EXPECT_TRUE(main_.received.empty());
}

TEST_F(VideoWindowTest, WithoutAMainWindowMessagesAreDropped)
{
    VideoWindow orphan(nullptr);
    WindowMessage::Send(&orphan, kMsgPosition, 5);
    WindowMessage::Send(&orphan, kMsgEndOfStream);
    QApplication::processEvents();
    EXPECT_TRUE(main_.received.empty());
}

// ---- keys and the menu ----

TEST_F(VideoWindowTest, EscAndReturnPostModeChangesAndNeverClose)
{
    QTest::keyClick(&video_, Qt::Key_Escape);
    QTest::keyClick(&video_, Qt::Key_Return);
    QTest::keyClick(&video_, Qt::Key_Enter, Qt::KeypadModifier);
    QTest::keyClick(&video_, Qt::Key_Space);
    EXPECT_TRUE(main_.received.empty());
    QApplication::processEvents();
    EXPECT_EQ(main_.received, (std::vector<Received>{{kMsgWindowMode, 0},
                                                     {kMsgFullScreen, 0},
                                                     {kMsgFullScreen, 0}}));
    EXPECT_TRUE(video_.isVisible());
}

TEST_F(VideoWindowTest, CloseRequestsAreRefused)
{
    ASSERT_NE(video_.windowHandle(), nullptr);
    video_.windowHandle()->close();
    EXPECT_FALSE(video_.close());
    QApplication::processEvents();
    EXPECT_TRUE(video_.isVisible());
}

TEST_F(VideoWindowTest, RightClickShowsTheThreeCommands)
{
    QStringList texts;
    std::vector<int> commands;
    WithPopupMenu([&](QMenu& menu) {
        for (QAction* action : menu.actions()) {
            texts << action->text();
            commands.push_back(action->data().toInt());
        }
        menu.close();
    });
    EXPECT_EQ(texts, (QStringList{QStringLiteral("声道(&C)"), QStringLiteral("窗口模式(&W)\tEsc"),
                                  QStringLiteral("全屏模式(&F)\tReturn")}));
    EXPECT_EQ(commands, (std::vector<int>{32779, 32778, 32777}));
    QApplication::processEvents();
    EXPECT_TRUE(main_.received.empty());
}

TEST_F(VideoWindowTest, MenuCommandsPostModeChanges)
{
    WithPopupMenu([](QMenu& menu) { Choose(menu, VideoWindow::kCmdFullScreen); });
    WithPopupMenu([](QMenu& menu) { Choose(menu, VideoWindow::kCmdWindowMode); });
    // Without a graph there are no audio decoder pages to show.
    WithPopupMenu([](QMenu& menu) { Choose(menu, VideoWindow::kCmdAudioChannel); });
    QApplication::processEvents();
    EXPECT_EQ(main_.received, (std::vector<Received>{{kMsgFullScreen, 0},
                                                     {kMsgWindowMode, 0},
                                                     {kMsgWindowMode, 0}}));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

// ---- dropped files ----

TEST_F(VideoWindowTest, DroppedFilesAreSentAsLocalPaths)
{
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QStringLiteral("/media/片/a.mpg")),
                  QUrl(QStringLiteral("https://example.org/b.mpg")),
                  QUrl::fromLocalFile(QStringLiteral("/media/c d.dat"))});
    QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&video_, &enter);
    EXPECT_TRUE(enter.isAccepted());

    QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&video_, &drop);
    EXPECT_TRUE(drop.isAccepted());
    ASSERT_EQ(main_.Count(kMsgDropFiles), 1);
    EXPECT_EQ(main_.dropped,
              (QStringList{QStringLiteral("/media/片/a.mpg"), QStringLiteral("/media/c d.dat")}));
}

TEST_F(VideoWindowTest, DragsWithoutLocalFilesAreRefused)
{
    QMimeData data;
    data.setText(QStringLiteral("/media/a.mpg"));
    QDragEnterEvent text(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&video_, &text);
    EXPECT_FALSE(text.isAccepted());

    data.setUrls({QUrl(QStringLiteral("https://example.org/b.mpg"))});
    QDragEnterEvent remote(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&video_, &remote);
    EXPECT_FALSE(remote.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&video_, &drop);
    EXPECT_EQ(main_.Count(kMsgDropFiles), 0);
}

// ---- dragging with magnetic snapping ----

class VideoWindowDragTest : public VideoWindowTest {
protected:
    VideoWindowDragTest() { main_.flags = {false, false, false}; }
};

TEST_F(VideoWindowDragTest, InsideTheVideoAreaNothingMovesUntilThePointerLeavesIt)
{
    PressAt({100, 100});
    MoveBy(30, 20);
    MoveBy(200, 0);  // (330, 120): still over the picture
    EXPECT_EQ(video_.pos(), kVideoStart);
    MoveBy(0, 250);  // (330, 370): below it, on the frame
    EXPECT_EQ(video_.pos(), kVideoStart + QPoint(230, 270));
    Release();
}

TEST_F(VideoWindowDragTest, TheFrameDragsTheWindowWithThePointer)
{
    main_.move(600, 500);
    PressAt({20, 10});
    MoveBy(7, 3);
    EXPECT_EQ(video_.pos(), kVideoStart + QPoint(7, 3));
    MoveBy(-20, 12);
    EXPECT_EQ(video_.pos(), kVideoStart + QPoint(-13, 15));
    EXPECT_EQ(main_.flags, (DockingFlags{false, false, false}));
    Release();
    EXPECT_FALSE(main_.flags.moves_with_main);
    // Without the button nothing follows the pointer.
    MoveBy(40, 40);
    EXPECT_EQ(video_.pos(), kVideoStart + QPoint(-13, 15));
}

TEST_F(VideoWindowDragTest, CatchesTheMainWindowsBottomEdgeAndAlignsTheLeftEdges)
{
    // 30 pixels under the main window, 9 pixels right of its left edge.
    main_.move(100, 50);
    video_.move(109, 200);
    PressAt({20, 10});
    MoveBy(0, -20);  // top 10 pixels under the main window's bottom (170)
    const QRect main = main_.frameGeometry();
    EXPECT_EQ(video_.frameGeometry().topLeft(), QPoint(main.x(), main.y() + main.height()));
    EXPECT_TRUE(main_.flags.x_snap);
    EXPECT_TRUE(main_.flags.y_snap);
    Release();
    EXPECT_TRUE(main_.flags.moves_with_main);
}

TEST_F(VideoWindowDragTest, SnappedWindowHoldsWithinFifteenPixelsThenSlidesAlongTheEdge)
{
    main_.move(100, 50);
    video_.move(100, 170);  // touching the main window's bottom, left edges aligned
    main_.flags = {true, true, false};
    const QPoint docked = video_.pos();
    PressAt({20, 10});
    MoveBy(15, 0);
    MoveBy(-30, 15);
    MoveBy(15, -30);
    EXPECT_EQ(video_.pos(), docked);
    EXPECT_EQ(main_.flags, (DockingFlags{true, true, false}));

    MoveBy(16, 15);  // 16 pixels right of the anchor, back on its row
    EXPECT_EQ(video_.pos(), docked + QPoint(16, 0));
    // Still on the main window's bottom edge: caught again along it.
    EXPECT_EQ(main_.flags, (DockingFlags{false, true, false}));
    Release();
    EXPECT_TRUE(main_.flags.moves_with_main);

    // Pulled well away: both flags go, and the release undocks.
    PressAt({20, 10});
    MoveBy(0, 100);
    EXPECT_FALSE(main_.flags.x_snap);
    EXPECT_FALSE(main_.flags.y_snap);
    EXPECT_EQ(video_.pos(), docked + QPoint(16, 100));
    Release();
    EXPECT_FALSE(main_.flags.moves_with_main);
}

// ---- start failures ----

TEST_F(VideoWindowTest, StartFailsWhenTheDataPortIsTaken)
{
    {
        PortBlocker data_port(4000);
        ASSERT_TRUE(data_port.bound());
        video_.set_channel(0);
        EXPECT_EQ(video_.StartPlayback(), 0);
        EXPECT_EQ(shown_, (std::vector<QString>{QStringLiteral("Kinoverd 初始化失败!")}));
        EXPECT_EQ(failures_known_to_box_, 1);
        EXPECT_EQ(main_.received, (std::vector<Received>{{kMsgStartFailed, 0}}));
    }
    // The control port was let go again: with the data port free, it starts.
    EXPECT_EQ(video_.StartPlayback(), 1);
    EXPECT_EQ(shown_.size(), 1u);
    video_.StopPlayback();
}

TEST_F(VideoWindowTest, StartUsesTheChannelsPorts)
{
    PortBlocker control_port_of_channel_3(4007);
    ASSERT_TRUE(control_port_of_channel_3.bound());
    video_.set_channel(2);
    EXPECT_EQ(video_.channel(), 2);
    EXPECT_EQ(video_.StartPlayback(), 1);
    video_.set_channel(3);
    EXPECT_EQ(video_.StartPlayback(), 0);
    EXPECT_EQ(shown_.size(), 1u);
    QApplication::processEvents();
    EXPECT_EQ(main_.Count(kMsgStartFailed), 1);
}

// ---- playing broadcasts ----

TEST_F(VideoWindowTest, PlaysABroadcastToTheEndAndTellsTheMainWindow)
{
    video_.installEventFilter(&positions_);
    video_.set_channel(0);
    ASSERT_EQ(video_.StartPlayback(), 1);
    ASSERT_TRUE(Cast(kMedia + "/demo.mpg"));
    ASSERT_TRUE(RunUntilReceived(kMsgReleaseSender, 1, 30s));

    // The sender is held while the graph is built; on success the main
    // window shows positions again and applies its full-screen choice.
    std::vector<Received> start;
    for (const Received& r : main_.received) {
        if (r.message != kMsgPosition) start.push_back(r);
    }
    EXPECT_EQ(start, (std::vector<Received>{{kMsgHoldSender, 0},
                                            {kClearPositionHoldCall, 0},
                                            {kApplyFullScreenCall, 0},
                                            {kMsgReleaseSender, 0}}));
    // The picture lies in the video area, a pixel larger than it.
    VideoRenderer* renderer = Renderer(video_);
    ASSERT_NE(renderer, nullptr);
    EXPECT_EQ(renderer->parentWidget(), &video_);
    EXPECT_EQ(renderer->geometry(), QRect(54, 29, 378, 303));

    // Keys over the picture reach the video window.
    QTest::keyClick(renderer, Qt::Key_Return);
    ASSERT_TRUE(RunUntilReceived(kMsgFullScreen, 1, 5s));

    ASSERT_TRUE(RunUntilReceived(kMsgProgrammeEnd, 1, 60s));
    RunFor(500ms);
    // Every position the controller reported reached the main window, in
    // order, and the end added a zero.
    std::vector<uintptr_t> relayed = positions_.values;
    ASSERT_GT(relayed.size(), 100u);
    relayed.push_back(0);
    EXPECT_EQ(main_.Positions(), relayed);
    // They grow, but for one step back: the graph reads the head of the
    // stream, then is seeked back to the first live block after it.
    int steps_back = 0;
    for (size_t i = 1; i + 1 < relayed.size(); ++i) steps_back += relayed[i] < relayed[i - 1];
    EXPECT_LE(steps_back, 1);
    // The end: a zero position, then the end of the programme.
    ASSERT_GE(main_.received.size(), 2u);
    EXPECT_EQ(main_.received[main_.received.size() - 2], (Received{kMsgPosition, 0}));
    EXPECT_EQ(main_.received.back(), (Received{kMsgProgrammeEnd, 0}));
    EXPECT_EQ(main_.Count(kMsgHoldSender), 1);
    EXPECT_EQ(Renderer(video_), nullptr);
}

TEST_F(VideoWindowTest, AudioChannelCommandLeavesFullScreenBeforeItsDialog)
{
    // The decoder's pages exist once the audio reaches an output.
    PulseNullOutput& output = PulseNullOutput::Shared();
    ASSERT_TRUE(output.running()) << output.error();
    ASSERT_TRUE(PlayUntilRunning(kMedia + "/demo.mpg"));
    ASSERT_TRUE(RunUntil([&] { return Renderer(video_) && Renderer(video_)->frames_presented() > 5; },
                         10s));
    bool dialog_seen = false;
    int window_modes_when_shown = -1;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (!dialog || dialog_seen) return;
        dialog_seen = true;
        window_modes_when_shown = main_.Count(kMsgWindowMode);
        dialog->close();
    });
    poll.start(10);
    video_.OnCommand(VideoWindow::kCmdAudioChannel);
    EXPECT_TRUE(dialog_seen);
    EXPECT_EQ(window_modes_when_shown, 1);
    video_.StopPlayback();
}

TEST_F(VideoWindowTest, RestartPacketTearsDownTheGraphAndReceptionGoesOn)
{
    ASSERT_TRUE(PlayUntilRunning(kMedia + "/demo.mpg"));
    ASSERT_TRUE(RunUntil([&] { return main_.Positions().size() > 10; }, 10s));
    const size_t before = main_.received.size();
    sender_->StopAndRestart();
    ASSERT_TRUE(RunUntil([&] { return Renderer(video_) == nullptr; }, 5s));
    RunFor(200ms);
    const std::vector<Received> after(main_.received.begin() + long(before), main_.received.end());
    EXPECT_NE(std::find(after.begin(), after.end(), Received{kMsgPosition, 0}), after.end());

    // Still tuned: the next broadcast on the channel plays.
    ASSERT_TRUE(Cast(kMedia + "/short.mpg"));
    EXPECT_TRUE(RunUntilReceived(kMsgReleaseSender, 2, 30s));
    EXPECT_NE(Renderer(video_), nullptr);
    video_.StopPlayback();
}

TEST_F(VideoWindowTest, ClosePacketStopsReception)
{
    ASSERT_TRUE(PlayUntilRunning(kMedia + "/demo.mpg"));
    sender_->StopAndClose();
    ASSERT_TRUE(RunUntil([&] { return Renderer(video_) == nullptr; }, 5s));
    RunFor(200ms);
    EXPECT_EQ(main_.received.back(), (Received{kMsgPosition, 0}));

    ASSERT_TRUE(Cast(kMedia + "/short.mpg"));
    RunFor(4s);
    EXPECT_EQ(main_.Count(kMsgHoldSender), 1);
}

TEST_F(VideoWindowTest, FullScreenPictureCannotBeDraggedAndTakesTheKeys)
{
    main_.flags = {false, false, false};
    main_.full_screen_choice = true;
    ASSERT_TRUE(PlayUntilRunning(kMedia + "/demo.mpg"));
    EXPECT_EQ(video_.controller().IsFullScreen(), 1);
    VideoRenderer* renderer = Renderer(video_);
    ASSERT_NE(renderer, nullptr);
    EXPECT_TRUE(renderer->IsFullScreenMode());

    const QPoint before = video_.pos();
    PressAt({20, 10});
    MoveBy(40, 40);
    Release();
    EXPECT_EQ(video_.pos(), before);

    QTest::keyClick(renderer, Qt::Key_Escape);
    EXPECT_TRUE(RunUntilReceived(kMsgWindowMode, 1, 5s));
    video_.StopPlayback();
}

TEST_F(VideoWindowTest, FailedBuildReleasesTheSenderAndTunesAgain)
{
    video_.set_channel(0);
    ASSERT_EQ(video_.StartPlayback(), 1);
    // Nothing buffered: there is no stream to build a graph for.
    WindowMessage::Send(&video_, kMsgRingHalfFull);
    EXPECT_EQ(main_.received,
              (std::vector<Received>{{kMsgHoldSender, 0}, {kMsgReleaseSender, 0}}));
    EXPECT_EQ(Renderer(video_), nullptr);
    EXPECT_TRUE(shown_.empty());

    // Still tuned: a broadcast that begins now plays.
    ASSERT_TRUE(Cast(kMedia + "/short.mpg"));
    EXPECT_TRUE(RunUntilReceived(kMsgReleaseSender, 2, 30s));
    EXPECT_EQ(main_.Count(kClearPositionHoldCall), 1);
    EXPECT_NE(Renderer(video_), nullptr);
    video_.StopPlayback();
}

TEST_F(VideoWindowTest, FailedGraphIsTornDownAndTheChannelTunedAgain)
{
    ASSERT_TRUE(PlayUntilRunning(kMedia + "/demo.mpg"));
    WindowMessage::Send(&video_, kMsgGraphFailed);
    // Released at once, as after a failed build.
    EXPECT_EQ(main_.Count(kMsgReleaseSender), 2);
    EXPECT_EQ(Renderer(video_), nullptr);
    // Buffering starts over: the broadcast going on is played again.
    EXPECT_TRUE(RunUntilReceived(kMsgReleaseSender, 3, 30s));
    EXPECT_EQ(main_.Count(kMsgHoldSender), 2);
    EXPECT_NE(Renderer(video_), nullptr);
    video_.StopPlayback();
}

}  // namespace
}  // namespace kinoverd
