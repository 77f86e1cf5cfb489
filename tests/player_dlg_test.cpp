// The main window: its layout and start-up state, the panes, docking, keys,
// and programmes played end to end on the private loopback network through
// the real video window, broadcaster and GStreamer pipeline.
#include "app/player_dlg.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/video_cd_scanner.h"
#include "broadcast/broadcaster.h"
#include "broadcast/free_channel_probe.h"
#include "broadcast/notify_target.h"
#include "broadcast/wire_format.h"
#include "controls/about_dialog.h"
#include "controls/hover_bitmap_button.h"
#include "controls/link_label.h"
#include "controls/skin_slider.h"
#include "playback/media_graph_controller.h"
#include "playback/mixer_volume.h"
#include "app/video_window.h"
#include "playback/window_message.h"
#include "resources/bitmap_resource.h"
#include "tests/support/child_process.h"
#include "tests/support/pulse_null_output.h"
#include "tests/support/test_streams.h"

namespace kinoverd::test {
namespace {

using namespace std::chrono_literals;

const QString kMedia = QStringLiteral(KINOVERD_TEST_MEDIA_DIR);
QString Media(const char* name) { return kMedia + QLatin1Char('/') + QLatin1String(name); }

// Listens to a channel's port the way no station does: address reuse is on
// before the bind, so it can share the port with this station's own
// receiver (which, like every peer, turns reuse on only after its bind and
// so cannot share with WireCapture). Datagrams wait in a large kernel queue
// until Drain reads them; loopback delivers them while the send call runs.
class PortListener {
public:
    PortListener(int channel, uint16_t port)
    {
        fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        const int on = 1;
        setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        const int bytes = 8 << 20;
        if (setsockopt(fd_, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) != 0)
            setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        ip_mreq membership{};
        inet_pton(AF_INET, wire::GroupAddress(channel).c_str(), &membership.imr_multiaddr);
        ok_ = bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
              setsockopt(fd_, IPPROTO_IP, IP_ADD_MEMBERSHIP, &membership, sizeof membership) == 0;
    }
    ~PortListener() { close(fd_); }
    PortListener(const PortListener&) = delete;
    PortListener& operator=(const PortListener&) = delete;

    bool ok() const { return ok_; }

    // Every datagram queued since the last call.
    std::vector<std::vector<uint8_t>> Drain()
    {
        std::vector<std::vector<uint8_t>> packets;
        std::vector<uint8_t> buffer(65536);
        for (;;) {
            const ssize_t length = recv(fd_, buffer.data(), buffer.size(), 0);
            if (length < 0) return packets;
            packets.emplace_back(buffer.begin(), buffer.begin() + length);
        }
    }

private:
    int fd_ = -1;
    bool ok_ = false;
};

int CountKind(const std::vector<std::vector<uint8_t>>& packets, wire::Kind kind)
{
    int count = 0;
    for (const auto& packet : packets) count += packet.size() >= wire::kHeadBytes && wire::HasHead(packet.data(), kind);
    return count;
}

// A plain UDP socket holding a port, as another program would.
class PortHolder {
public:
    explicit PortHolder(uint16_t port)
    {
        fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        ok_ = bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~PortHolder() { close(fd_); }
    PortHolder(const PortHolder&) = delete;
    PortHolder& operator=(const PortHolder&) = delete;
    bool ok() const { return ok_; }

private:
    int fd_ = -1;
    bool ok_ = false;
};

bool IsElapsedTime(const QString& text)
{
    return text.size() == 8 && text[2] == QLatin1Char(':') && text[5] == QLatin1Char(':');
}

int ElapsedSeconds(const QString& text)
{
    return text.left(2).toInt() * 3600 + text.mid(3, 2).toInt() * 60 + text.mid(6, 2).toInt();
}

class PlayerDlgTest : public testing::Test {
protected:
    void SetUp() override
    {
        dlg_ = std::make_unique<CPlayerDlg>();
        dlg_->set_message_box([this](const QString& text) { messages_ << text; });
        dlg_->video_window()->show_message = [this](QWidget*, const QString& text) { messages_ << text; };
        dlg_->set_file_chooser([this] { return chosen_files_; });
        dlg_->set_channel_finder([this] {
            ++probes_;
            return FreeChannelProbe(CPlayerDlg::kBlockSize).FindFreeChannel();
        });
        // No drive: no disc.
        dlg_->set_video_cd_scanner(std::make_unique<VideoCdScanner>(std::vector<std::string>{}));
        dlg_->show();
        statuses_ = {dlg_->status_text()};
        media_texts_ = {dlg_->media_text()};
    }

    void TearDown() override { dlg_.reset(); }

    // Runs the event loop until `done()` holds, noting every change of the
    // two panes' texts on the way; false on timeout.
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout)
    {
        QElapsedTimer timer;
        timer.start();
        for (;;) {
            Note();
            if (done()) return true;
            if (timer.elapsed() > timeout.count()) return false;
            QEventLoop loop;
            QTimer::singleShot(10, &loop, &QEventLoop::quit);
            loop.exec();
        }
    }
    void RunFor(std::chrono::milliseconds time)
    {
        RunUntil([] { return false; }, time);
    }
    void Note()
    {
        if (statuses_.back() != dlg_->status_text()) statuses_ << dlg_->status_text();
        if (media_texts_.back() != dlg_->media_text()) media_texts_ << dlg_->media_text();
    }
    bool Playing() const { return IsElapsedTime(dlg_->status_text()) && !dlg_->position_hold(); }
    bool RunUntilPlaying(std::chrono::milliseconds timeout = 30s)
    {
        return RunUntil([this] { return Playing(); }, timeout);
    }
    bool RunUntilTheEnd(std::chrono::milliseconds timeout)
    {
        return RunUntil([this] { return dlg_->status_text() == QLatin1String("the end"); }, timeout);
    }
    int Count(const QStringList& list, const QString& text) const { return int(list.count(text)); }

    void Play(const QStringList& files)
    {
        chosen_files_ = files;
        dlg_->OnFile();
    }

    bool Enabled(int id) const { return dlg_->control(id)->isEnabled(); }
    void ExpectIdleButtons() const
    {
        EXPECT_TRUE(Enabled(CPlayerDlg::kFileButton));
        EXPECT_TRUE(Enabled(CPlayerDlg::kDiscButton));
    }

    // After bad input a good file still plays to its end.
    void ExpectAGoodFilePlaysToTheEnd()
    {
        dlg_->OnStop();
        Play({Media("short.mpg")});
        EXPECT_TRUE(RunUntilPlaying());
        EXPECT_TRUE(RunUntilTheEnd(60s));
        ExpectIdleButtons();
    }

    std::unique_ptr<CPlayerDlg> dlg_;
    QStringList messages_;
    QStringList chosen_files_;
    int probes_ = 0;
    QStringList statuses_;
    QStringList media_texts_;
};

// ---- Start-up, layout, panes, keys, docking ----

TEST_F(PlayerDlgTest, StartsIdleWithBothWindowsPlacedAndDocked)
{
    EXPECT_EQ(dlg_->status_text(), QStringLiteral("ready"));
    EXPECT_EQ(dlg_->media_text(), QStringLiteral("no media"));
    EXPECT_FALSE(Enabled(CPlayerDlg::kChannelButton));
    ExpectIdleButtons();
    EXPECT_EQ(dlg_->position_slider()->value(), 0);
    EXPECT_EQ(dlg_->position_slider()->minimum(), 0);
    EXPECT_EQ(dlg_->position_slider()->maximum(), 99);
    EXPECT_TRUE(dlg_->position_hold());
    EXPECT_EQ(dlg_->broadcaster(), nullptr);
    EXPECT_EQ(dlg_->docking_flags(), (DockingFlags{true, true, true}));

    // The video window centred on the screen and lifted by 90 pixels, this
    // window right under it with the same left edge.
    VideoWindow* video = dlg_->video_window();
    ASSERT_TRUE(video->isVisible());
    QRect expected_video(0, 0, VideoWindow::kWidth, VideoWindow::kHeight);
    expected_video.moveCenter(video->screen()->availableGeometry().center());
    expected_video.translate(0, -90);
    EXPECT_EQ(video->frameGeometry(), expected_video);
    EXPECT_EQ(dlg_->frameGeometry(), QRect(expected_video.left(), expected_video.bottom() + 1, 485, 120));

    EXPECT_EQ(dlg_->windowTitle(), QStringLiteral("胶片花园"));
    EXPECT_TRUE(dlg_->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(dlg_->acceptDrops());
    EXPECT_FALSE(dlg_->windowIcon().isNull());

    // KINOVERD_MAIN_WINDOW_PNG=docs/main-window.png redraws the picture of
    // the two windows docked, as they start.
    if (const char* picture = std::getenv("KINOVERD_MAIN_WINDOW_PNG")) {
        QImage both(VideoWindow::kWidth, VideoWindow::kHeight + 120, QImage::Format_RGB32);
        both.fill(Qt::black);
        QPainter painter(&both);
        painter.drawPixmap(0, 0, video->grab());
        painter.drawPixmap(0, VideoWindow::kHeight, dlg_->grab());
        painter.end();
        EXPECT_TRUE(both.save(QString::fromLocal8Bit(picture)));
    }
}

TEST_F(PlayerDlgTest, ControlsLieAtTheirPlacesWithTheirTooltips)
{
    struct Expected {
        int id;
        QRect place;
        const char* tooltip;
        bool visible;
    };
    // Dialog units converted: x * 1.5 and y * 1.625, cut to whole pixels.
    const Expected controls[] = {
        {CPlayerDlg::kOptionsButton, {7, 0, 9, 9}, "音频属性,帮助,退出", false},
        {CPlayerDlg::kInternetButton, {18, 0, 9, 9}, "访问Internet", false},
        {CPlayerDlg::kFileButton, {19, 92, 43, 26}, "播放文件", true},
        {CPlayerDlg::kDiscButton, {67, 92, 43, 26}, "播放影碟", true},
        {CPlayerDlg::kFullScreenToggle, {259, 92, 43, 26}, "全屏观看", true},
        {CPlayerDlg::kStopButton, {115, 92, 43, 26}, "停止播放", true},
        {CPlayerDlg::kVolumeSlider, {210, 43, 192, 22}, "调节音量", true},
        {CPlayerDlg::kPositionSlider, {13, 68, 450, 22}, "当前播放位置", true},
        {CPlayerDlg::kLoopToggle, {307, 92, 43, 26}, "循环播放", true},
        {CPlayerDlg::kStatusPane, {19, 4, 187, 60}, "播放信息", false},
        {CPlayerDlg::kMediaPane, {214, 4, 244, 34}, "媒体文件名", false},
        {CPlayerDlg::kExitButton, {163, 92, 43, 26}, "退出", true},
        {CPlayerDlg::kChannelButton, {409, 42, 43, 26}, "声道", true},
        {CPlayerDlg::kAboutButton, {211, 92, 43, 26}, "关于", true},
    };
    for (const Expected& expected : controls) {
        QWidget* control = dlg_->control(expected.id);
        ASSERT_NE(control, nullptr) << expected.id;
        EXPECT_EQ(control->geometry(), expected.place) << expected.id;
        EXPECT_EQ(control->toolTip(), QString::fromUtf8(expected.tooltip)) << expected.id;
        EXPECT_EQ(control->isVisible(), expected.visible) << expected.id;
    }
    auto* file = qobject_cast<HoverBitmapButton*>(dlg_->control(CPlayerDlg::kFileButton));
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(file->has_frame_strip());
    auto* loop = qobject_cast<HoverBitmapButton*>(dlg_->control(CPlayerDlg::kLoopToggle));
    ASSERT_NE(loop, nullptr);
    EXPECT_TRUE(loop->isCheckable());
    EXPECT_FALSE(loop->icon().isNull());

    auto* label = qobject_cast<LinkLabel*>(dlg_->control(CPlayerDlg::kHomePageLabel));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->link_target(), CPlayerDlg::kHomePage);
    EXPECT_EQ(label->link_color(), QColor(0, 0, 255));
    EXPECT_EQ(label->visited_color(), QColor(255, 0, 0));
    EXPECT_EQ(label->hover_color(), QColor(255, 0, 0));
    EXPECT_FALSE(label->underlined());
    EXPECT_TRUE(label->text().contains(QStringLiteral("2000.8")));
}

TEST_F(PlayerDlgTest, PanesShowTheirTextsInTheirColours)
{
    const QImage image = dlg_->grab().toImage();
    auto has_colour = [&image](const QRect& area, QColor colour) {
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                if (image.pixelColor(x, y) == colour) return true;
        return false;
    };
    const QRect status = dlg_->status_pane().TextRect(dlg_->PaneRect(CPlayerDlg::kStatusPane));
    const QRect media = dlg_->media_pane().TextRect(dlg_->PaneRect(CPlayerDlg::kMediaPane));
    EXPECT_TRUE(has_colour(status, QColor(0, 220, 0)));
    EXPECT_TRUE(has_colour(media, QColor(71, 220, 187)));

    // The status pane's picture is copied at its own size, not the pane's.
    EXPECT_EQ(dlg_->status_pane().PaintedRect(QRect(19, 4, 187, 60)), QRect(19, 4, 188, 49));
    EXPECT_EQ(dlg_->media_pane().PaintedRect(QRect(214, 4, 244, 34)), QRect(214, 4, 244, 34));
    EXPECT_EQ(dlg_->status_pane().TextRect(QRect(19, 4, 187, 60)), QRect(27, 12, 159, 40));
    EXPECT_EQ(dlg_->media_pane().TextRect(QRect(214, 4, 244, 34)), QRect(221, 10, 232, 22));
}

TEST(InfoPanePainter, TextThatDoesNotFitEndsInThreeDots)
{
    const InfoPanePainter pane = InfoPanePainter::MediaPane();
    const QFontMetrics metrics(pane.font());
    const QString path = QStringLiteral("/home/用户/影片/") + QString(300, QLatin1Char('x')) + QStringLiteral(".mpg");
    const QString shown = InfoPanePainter::EndEllipsis(metrics, path, 232);
    EXPECT_TRUE(shown.endsWith(QStringLiteral("...")));
    EXPECT_TRUE(path.startsWith(shown.chopped(3)));
    EXPECT_LE(metrics.horizontalAdvance(shown), 232);
    // One more character would not have fitted.
    EXPECT_GT(metrics.horizontalAdvance(path.left(shown.size() - 3 + 1) + QStringLiteral("...")), 232);
    EXPECT_EQ(InfoPanePainter::EndEllipsis(metrics, QStringLiteral("short"), 232), QStringLiteral("short"));
    // Characters outside the basic plane are never split.
    QString wide;
    for (int i = 0; i < 40; ++i) wide += QStringLiteral("\U0001F3AC");
    const QString cut = InfoPanePainter::EndEllipsis(metrics, wide, 60);
    EXPECT_FALSE(cut.chopped(3).endsWith(QChar(0xD83C)));
}

TEST(InfoPanePainter, RepaintLeavesNoTraceOfALongerText)
{
    const InfoPanePainter pane = InfoPanePainter::StatusPane();
    const QRect place(19, 4, 187, 60);
    auto render = [&](const QStringList& texts) {
        QImage image(485, 120, QImage::Format_RGB32);
        image.fill(Qt::magenta);
        QPainter painter(&image);
        for (const QString& text : texts) pane.Paint(painter, place, text);
        return image;
    };
    const QImage repainted = render({QStringLiteral("connect ... and much more"), QStringLiteral("00:00:01")});
    EXPECT_EQ(repainted, render({QStringLiteral("00:00:01")}));
    // Nothing outside the picture's 188 x 49 pixels is touched.
    EXPECT_EQ(repainted.pixelColor(19, 4 + 49), QColor(Qt::magenta));
    EXPECT_NE(repainted.pixelColor(19 + 187, 4 + 48), QColor(Qt::magenta));
}

TEST_F(PlayerDlgTest, PositionDisplayShowsTheTimeAtTheAssumedRate)
{
    dlg_->ClearPositionHold();
    auto shown = [this](uint32_t position) {
        WindowMessage::Send(dlg_.get(), kMsgPosition, position);
        return dlg_->status_text();
    };
    EXPECT_EQ(shown(153599), QStringLiteral("00:00:00"));
    EXPECT_EQ(shown(153600), QStringLiteral("00:00:01"));
    EXPECT_EQ(shown(153600 * 69), QStringLiteral("00:01:09"));
    EXPECT_EQ(shown(552960000), QStringLiteral("01:00:00"));
    EXPECT_EQ(shown(4294967295u), QStringLiteral("07:46:02"));
    // No stream length known yet: the slider stays at the start.
    EXPECT_EQ(dlg_->position_slider()->value(), 0);

    // Any use of the slider holds the display.
    dlg_->position_slider()->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_TRUE(dlg_->position_hold());
    EXPECT_EQ(shown(153600 * 5), QStringLiteral("07:46:02"));
    // Released with no broadcast: the display stays frozen.
    dlg_->position_slider()->setSliderDown(true);
    dlg_->position_slider()->setSliderDown(false);
    EXPECT_EQ(shown(153600 * 5), QStringLiteral("07:46:02"));
    EXPECT_EQ(dlg_->status_text(), QStringLiteral("07:46:02"));
}

TEST_F(PlayerDlgTest, EscAndReturnSwitchModesAndNothingButExitCloses)
{
    QWidget* focus = dlg_->control(CPlayerDlg::kFileButton);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(focus, &enter);
    EXPECT_EQ(dlg_->full_screen_choice(), 1);
    EXPECT_TRUE(qobject_cast<QPushButton*>(dlg_->control(CPlayerDlg::kFullScreenToggle))->isChecked());
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(dlg_.get(), &escape);
    EXPECT_EQ(dlg_->full_screen_choice(), 0);
    EXPECT_FALSE(qobject_cast<QPushButton*>(dlg_->control(CPlayerDlg::kFullScreenToggle))->isChecked());

    // The same from the video window's messages.
    WindowMessage::Post(dlg_.get(), kMsgFullScreen);
    RunFor(50ms);
    EXPECT_EQ(dlg_->full_screen_choice(), 1);
    WindowMessage::Post(dlg_.get(), kMsgWindowMode);
    RunFor(50ms);
    EXPECT_EQ(dlg_->full_screen_choice(), 0);

    // Alt+F4 and the window manager's close button ask to close; refused.
    EXPECT_FALSE(dlg_->close());
    RunFor(50ms);
    EXPECT_TRUE(dlg_->isVisible());
    EXPECT_TRUE(dlg_->video_window()->isVisible());

    bool finished = false;
    QObject::connect(dlg_.get(), &CPlayerDlg::finished, [&finished] { finished = true; });
    dlg_->OnExit();
    EXPECT_TRUE(finished);
    EXPECT_FALSE(dlg_->isVisible());
    EXPECT_FALSE(dlg_->video_window()->isVisible());
}

TEST_F(PlayerDlgTest, LoopToggleShowsItsStateAndMenusHoldTheirCommands)
{
    auto* loop = qobject_cast<QPushButton*>(dlg_->control(CPlayerDlg::kLoopToggle));
    auto picture = [](const QPixmap& pixmap) { return pixmap.toImage().convertToFormat(QImage::Format_ARGB32); };
    auto shown = [&] { return picture(loop->icon().pixmap(44, 24)); };
    EXPECT_EQ(shown(), picture(LoadBitmap(Bitmap::LoopOff)));
    loop->click();
    EXPECT_EQ(dlg_->loop_flag(), 1);
    EXPECT_EQ(shown(), picture(LoadBitmap(Bitmap::LoopOn)));
    loop->click();
    EXPECT_EQ(dlg_->loop_flag(), 0);
    EXPECT_EQ(shown(), picture(LoadBitmap(Bitmap::LoopOff)));

    const auto options = dlg_->CreatePopupMenu(CPlayerDlg::kOptionsMenu);
    QStringList texts;
    for (QAction* action : options->actions()) texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    EXPECT_EQ(texts, (QStringList{QStringLiteral("音频调节\t(&A)"), QStringLiteral("-"),
                                  QStringLiteral("使用帮助\t(&H)"), QStringLiteral("关于....\t(&O)"),
                                  QStringLiteral("-"), QStringLiteral("退出\t(&X)")}));
    const auto internet = dlg_->CreatePopupMenu(CPlayerDlg::kInternetMenu);
    ASSERT_EQ(internet->actions().size(), 2);
    EXPECT_FALSE(internet->actions()[0]->isEnabled());
    EXPECT_EQ(internet->actions()[1]->text(), QStringLiteral("Kinoverd主页\t(&H)"));
}

TEST_F(PlayerDlgTest, AboutRunsTheAboutBoxModally)
{
    bool shown = false;
    QTimer::singleShot(100, [&shown] {
        QWidget* modal = QApplication::activeModalWidget();
        shown = qobject_cast<AboutDialog*>(modal) != nullptr;
        if (modal) modal->close();
    });
    dlg_->OnAbout();
    EXPECT_TRUE(shown);
}

TEST_F(PlayerDlgTest, DraggingTheDockedMainWindowCarriesTheVideoWindow)
{
    VideoWindow* video = dlg_->video_window();
    const QRect main_before = dlg_->frameGeometry();
    const QRect video_before = video->frameGeometry();
    // A point of the skin between the controls.
    const QPoint press(100, 30);
    auto mouse = [this](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
        QMouseEvent event(type, at, dlg_->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(dlg_.get(), &event);
    };
    mouse(QEvent::MouseButtonPress, press, Qt::LeftButton);
    mouse(QEvent::MouseMove, press + QPoint(30, 20), Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, press + QPoint(30, 20), Qt::NoButton);
    EXPECT_EQ(dlg_->frameGeometry(), main_before.translated(30, 20));
    EXPECT_EQ(video->frameGeometry(), video_before.translated(30, 20));
    EXPECT_EQ(dlg_->docking_flags(), (DockingFlags{true, true, true}));

    // Undocked and 10 pixels below the video window: a small drag pulls it
    // up to touch, aligns the left edges, and the release docks the pair.
    dlg_->docking_flags() = DockingFlags{false, false, false};
    dlg_->move(video->frameGeometry().left() + 8, video->frameGeometry().bottom() + 1 + 10);
    mouse(QEvent::MouseButtonPress, press, Qt::LeftButton);
    mouse(QEvent::MouseMove, press + QPoint(0, 2), Qt::LeftButton);
    EXPECT_EQ(dlg_->frameGeometry().topLeft(),
              QPoint(video->frameGeometry().left(), video->frameGeometry().bottom() + 1));
    mouse(QEvent::MouseButtonRelease, press + QPoint(0, 2), Qt::NoButton);
    EXPECT_TRUE(dlg_->docking_flags().moves_with_main);
}

TEST_F(PlayerDlgTest, DiscWithNoDiscDoesNothing)
{
    dlg_->OnDisc();
    RunFor(100ms);
    EXPECT_EQ(dlg_->status_text(), QStringLiteral("ready"));
    EXPECT_EQ(dlg_->media_text(), QStringLiteral("no media"));
    EXPECT_EQ(dlg_->broadcaster(), nullptr);
    EXPECT_EQ(probes_, 0);
    EXPECT_TRUE(messages_.isEmpty());
    ExpectIdleButtons();
}

TEST_F(PlayerDlgTest, DiscPlaysTheTracksOfAVideoCdInOrder)
{
    // A disc image stands in for the Video CD in a drive.
    const QString image = Media("vcd.cue");
    const QStringList tracks{image + QStringLiteral("#1"), image + QStringLiteral("#2")};
    dlg_->set_video_cd_scanner(std::make_unique<VideoCdScanner>(std::vector<std::string>{image.toStdString()}));

    dlg_->OnDisc();
    EXPECT_EQ(dlg_->play_list().all(), tracks);
    EXPECT_EQ(dlg_->media_text(), tracks[0]);
    ASSERT_TRUE(RunUntilPlaying());
    ASSERT_TRUE(RunUntilTheEnd(60s));
    EXPECT_TRUE(media_texts_.contains(tracks[1]));
    EXPECT_TRUE(messages_.isEmpty());

    // Chosen or dropped, an image is its tracks too.
    Play({image});
    EXPECT_EQ(dlg_->play_list().all(), tracks);
    dlg_->PlayDroppedFiles({Media("short.mpg"), image});
    EXPECT_EQ(dlg_->play_list().all(), QStringList{Media("short.mpg")} + tracks);
    dlg_->OnStop();
}

TEST_F(PlayerDlgTest, FolderDroppedIsRefusedAndThePlayerStaysUsable)
{
    TempDir folder;
    const QString path = QString::fromStdString(folder.path());
    dlg_->PlayDroppedFiles({path});
    ASSERT_EQ(messages_.size(), 1);
    EXPECT_TRUE(messages_[0].contains(path));
    EXPECT_EQ(dlg_->status_text(), QStringLiteral("ready"));
    EXPECT_EQ(probes_, 0);

    // Dropped on the main window itself, or on the video window (8302).
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    for (QWidget* window : {static_cast<QWidget*>(dlg_.get()), static_cast<QWidget*>(dlg_->video_window())}) {
        QDragEnterEvent enter(QPoint(100, 30), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window, &enter);
        EXPECT_TRUE(enter.isAccepted());
        QDropEvent drop(QPointF(100, 30), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window, &drop);
    }
    EXPECT_EQ(messages_.size(), 3);
    EXPECT_EQ(dlg_->broadcaster(), nullptr);
    ExpectIdleButtons();

    // A folder among files: the files play.
    dlg_->PlayDroppedFiles({path, Media("short.mpg")});
    EXPECT_EQ(messages_.size(), 4);
    EXPECT_EQ(dlg_->play_list().all(), QStringList{Media("short.mpg")});
    EXPECT_TRUE(RunUntilTheEnd(60s));
}

// ---- Programmes on the network ----

TEST_F(PlayerDlgTest, ThreeFilesPlayInOrderOnOneChannelToTheEnd)
{
    const QStringList files{Media("short.mpg"), Media("short.dat"), Media("short.mpg")};
    Play(files);
    const int channel = dlg_->video_window()->channel();
    EXPECT_EQ(dlg_->status_text(), QStringLiteral("open ... "));
    EXPECT_EQ(dlg_->media_text(), files[0]);
    EXPECT_FALSE(Enabled(CPlayerDlg::kFileButton));
    EXPECT_FALSE(Enabled(CPlayerDlg::kDiscButton));
    EXPECT_EQ(dlg_->play_list().all(), files);
    EXPECT_EQ(dlg_->play_list().pending(), files.mid(1));
    ASSERT_NE(dlg_->broadcaster(), nullptr);

    ASSERT_TRUE(RunUntilPlaying());
    EXPECT_TRUE(Enabled(CPlayerDlg::kChannelButton));
    ASSERT_TRUE(RunUntilTheEnd(90s)) << statuses_.join(QLatin1Char(',')).toStdString();
    EXPECT_EQ(dlg_->media_text(), QStringLiteral("no media"));
    ExpectIdleButtons();
    EXPECT_EQ(dlg_->broadcaster(), nullptr);
    EXPECT_TRUE(dlg_->position_hold());
    EXPECT_EQ(dlg_->position_slider()->value(), 0);
    EXPECT_EQ(probes_, 1);
    EXPECT_EQ(dlg_->video_window()->channel(), channel);
    EXPECT_EQ(Count(statuses_, QStringLiteral("open ... ")), 3);
    EXPECT_EQ(media_texts_, (QStringList{QStringLiteral("no media"), files[0], files[1], files[2],
                                         QStringLiteral("no media")}));
    EXPECT_TRUE(messages_.isEmpty()) << messages_.join(QLatin1Char(',')).toStdString();
}

TEST_F(PlayerDlgTest, LoopRepeatsAOneFileListWithoutProbingAgain)
{
    auto* loop = qobject_cast<QPushButton*>(dlg_->control(CPlayerDlg::kLoopToggle));
    loop->click();
    Play({Media("short.mpg")});
    const int channel = dlg_->video_window()->channel();
    // Started three times: the first and two repeats.
    ASSERT_TRUE(RunUntil([this] { return Count(statuses_, QStringLiteral("open ... ")) >= 3; }, 90s))
        << statuses_.join(QLatin1Char(',')).toStdString();
    EXPECT_EQ(probes_, 1);
    EXPECT_EQ(dlg_->video_window()->channel(), channel);
    EXPECT_EQ(dlg_->media_text(), Media("short.mpg"));

    // Off during the last file: the programme ends after it.
    loop->click();
    ASSERT_TRUE(RunUntilTheEnd(60s));
    EXPECT_EQ(Count(statuses_, QStringLiteral("open ... ")), 3);
    EXPECT_EQ(probes_, 1);
}

TEST_F(PlayerDlgTest, StopAndExitSendTheClosePackets)
{
    Play({Media("demo.mpg")});
    ASSERT_TRUE(RunUntilPlaying());
    const int channel = dlg_->video_window()->channel();
    // Bound only while the station listens: a receiver cannot share a port
    // bound before it.
    auto control = std::make_unique<PortListener>(channel, wire::ControlPort(channel));
    ASSERT_TRUE(control->ok());

    // The slider follows the stream: position over total length, in percent.
    const uint32_t total = dlg_->video_window()->controller().reception().stream_length();
    ASSERT_GT(total, 0u);
    WindowMessage::Send(dlg_.get(), kMsgPosition, total / 2);
    EXPECT_EQ(dlg_->position_slider()->value(), 50);
    WindowMessage::Send(dlg_.get(), kMsgPosition, total);
    EXPECT_EQ(dlg_->position_slider()->value(), 99);

    dlg_->OnStop();
    EXPECT_EQ(CountKind(control->Drain(), wire::Kind::kClose), 4);
    control.reset();
    EXPECT_EQ(dlg_->status_text(), QStringLiteral("ready"));
    EXPECT_EQ(dlg_->media_text(), Media("demo.mpg"));
    EXPECT_EQ(dlg_->broadcaster(), nullptr);
    EXPECT_FALSE(Enabled(CPlayerDlg::kChannelButton));
    EXPECT_TRUE(dlg_->position_hold());
    ExpectIdleButtons();

    Play({Media("demo.mpg")});
    ASSERT_TRUE(RunUntilPlaying());
    ASSERT_EQ(dlg_->video_window()->channel(), channel);
    control = std::make_unique<PortListener>(channel, wire::ControlPort(channel));
    ASSERT_TRUE(control->ok());
    dlg_->OnExit();
    EXPECT_EQ(CountKind(control->Drain(), wire::Kind::kClose), 4);
    EXPECT_FALSE(dlg_->isVisible());
}

TEST_F(PlayerDlgTest, ASixtySecondClipNeverOverflowsTheStationsRingAndTheDisplayAdvances)
{
    const PacketRing& ring = dlg_->video_window()->controller().reception().ring();
    const uint64_t dropped_before = ring.dropped();
    Play({Media("long.mpg")});
    ASSERT_TRUE(RunUntilPlaying());

    // Sampled every two seconds: the time and the slider only move forward.
    std::vector<int> seconds, slider;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        if (!Playing()) return;
        seconds.push_back(ElapsedSeconds(dlg_->status_text()));
        slider.push_back(dlg_->position_slider()->value());
    });
    sampler.start(2000);
    ASSERT_TRUE(RunUntilTheEnd(90s)) << statuses_.join(QLatin1Char(',')).toStdString();
    sampler.stop();

    // The 8202 holds kept the sender within what this station plays.
    EXPECT_EQ(ring.dropped(), dropped_before);
    ASSERT_GE(seconds.size(), 20u);
    for (size_t i = 1; i < seconds.size(); ++i) {
        EXPECT_GT(seconds[i], seconds[i - 1]) << i;
        EXPECT_GE(slider[i], slider[i - 1]) << i;
    }
    EXPECT_GT(slider.back(), 90);
    EXPECT_LE(slider.front(), 5);
}

TEST_F(PlayerDlgTest, ReleasingThePositionSliderRestartsTheBroadcastThere)
{
    Play({Media("long.mpg")});
    ASSERT_TRUE(RunUntilPlaying());
    const int channel = dlg_->video_window()->channel();
    PortListener control(channel, wire::ControlPort(channel));
    PortListener data(channel, wire::DataPort(channel));
    ASSERT_TRUE(control.ok() && data.ok());
    Broadcaster* broadcaster = dlg_->broadcaster();
    ASSERT_NE(broadcaster, nullptr);
    const uint32_t length = broadcaster->stream_length();

    SkinSlider* slider = dlg_->position_slider();
    slider->setSliderDown(true);
    EXPECT_TRUE(dlg_->position_hold());
    slider->setSliderPosition(50);
    data.Drain();
    slider->setSliderDown(false);
    EXPECT_EQ(dlg_->status_text(), QStringLiteral("connect ..."));
    EXPECT_EQ(dlg_->broadcaster(), broadcaster);
    const uint32_t offset = uint32_t(double(length) * 50 * 0.01);
    EXPECT_EQ(broadcaster->start_offset(), offset - offset % CPlayerDlg::kBlockSize);
    EXPECT_EQ(CountKind(control.Drain(), wire::Kind::kRestart), 1);

    // Playback resumes from there.
    ASSERT_TRUE(RunUntilPlaying());
    // The first data packet after the new stream's start: the stream's head
    // goes in header packets, data follows it from the offset on.
    std::optional<uint32_t> first_block;
    bool restarted = false;
    for (const auto& packet : data.Drain()) {
        restarted = restarted || wire::HasHead(packet.data(), wire::Kind::kStreamStart);
        if (restarted && !first_block && wire::HasHead(packet.data(), wire::Kind::kData))
            first_block = wire::BlockIndex(packet.data());
    }
    EXPECT_EQ(first_block, (broadcaster->start_offset() + wire::kHeaderBytes) / CPlayerDlg::kBlockSize);
    // The graph reads the stream's head first; then the time goes on from
    // the new offset.
    const int seconds = int(broadcaster->start_offset() / CPlayerDlg::kBytesPerSecond);
    EXPECT_TRUE(RunUntil([&] { return Playing() && ElapsedSeconds(dlg_->status_text()) >= seconds; }, 20s))
        << statuses_.join(QLatin1Char(',')).toStdString();
    dlg_->OnStop();
}

// Counts the close reports (8116) the video window receives.
class CloseReportCounter : public QObject {
public:
    int count = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == WindowMessage::EventType())
            count += static_cast<WindowMessage*>(event)->message() == kMsgClose;
        return false;
    }
};

TEST_F(PlayerDlgTest, FileChosenWhilePlayingStartsTheNewProgramme)
{
    CloseReportCounter close_reports;
    dlg_->video_window()->installEventFilter(&close_reports);
    Play({Media("demo.mpg")});
    ASSERT_TRUE(RunUntilPlaying());
    Play({Media("short.mpg")});
    EXPECT_EQ(dlg_->media_text(), Media("short.mpg"));
    ASSERT_TRUE(RunUntilPlaying()) << statuses_.join(QLatin1Char(',')).toStdString();
    ASSERT_TRUE(RunUntilTheEnd(60s));
    EXPECT_EQ(probes_, 2);
    // The station had stopped listening before the old broadcast's close
    // packets went out: a late report of them would end the new programme.
    EXPECT_EQ(close_reports.count, 0);
}

TEST_F(PlayerDlgTest, FilesDroppedWhilePlayingReplaceTheProgramme)
{
    Play({Media("demo.mpg")});
    ASSERT_TRUE(RunUntilPlaying());
    const QStringList dropped{Media("short.mpg")};
    WindowMessage::Send(dlg_.get(), kMsgDropFiles, reinterpret_cast<uintptr_t>(&dropped));
    EXPECT_EQ(dlg_->play_list().all(), dropped);
    ASSERT_TRUE(RunUntilPlaying());
    ASSERT_TRUE(RunUntilTheEnd(60s));
}

TEST_F(PlayerDlgTest, LateEndReportOfAnEarlierBroadcastIsIgnored)
{
    Play({Media("demo.mpg")});
    ASSERT_TRUE(RunUntilPlaying());
    Broadcaster* broadcaster = dlg_->broadcaster();
    ASSERT_NE(broadcaster, nullptr);
    ASSERT_LT(broadcaster->sent_position(), broadcaster->stream_length());
    WindowMessage::Post(dlg_.get(), kMsgBroadcastEnded);
    RunFor(50ms);
    EXPECT_EQ(dlg_->broadcaster(), broadcaster);
    ASSERT_TRUE(RunUntilTheEnd(60s));
    EXPECT_EQ(dlg_->broadcaster(), nullptr);
}

TEST_F(PlayerDlgTest, HoldAndReleaseWithoutABroadcastStillEnableChannel)
{
    WindowMessage::Send(dlg_.get(), kMsgHoldSender);
    WindowMessage::Post(dlg_.get(), kMsgRingNearlyFull);
    WindowMessage::Post(dlg_.get(), kMsgStartFailed);
    WindowMessage::Post(dlg_.get(), kMsgBroadcastEnded);
    RunFor(50ms);
    EXPECT_FALSE(Enabled(CPlayerDlg::kChannelButton));
    WindowMessage::Send(dlg_.get(), kMsgReleaseSender);
    EXPECT_TRUE(Enabled(CPlayerDlg::kChannelButton));
    EXPECT_EQ(dlg_->status_text(), QStringLiteral("ready"));
}

// ---- Bad input ----

TEST_F(PlayerDlgTest, FileThatIsNotMpegIsAFileError)
{
    TempDir dir;
    const std::string path = dir.File("notes.mpg");
    ASSERT_TRUE(WriteBytes(path, NonMpegBytes(4000)));
    Play({QString::fromStdString(path)});
    ASSERT_EQ(messages_.size(), 1);
    EXPECT_TRUE(messages_[0].startsWith(QStringLiteral("File Error"))) << messages_[0].toStdString();
    EXPECT_EQ(dlg_->broadcaster(), nullptr);
    EXPECT_EQ(dlg_->status_text(), QStringLiteral("open ... "));
    ExpectAGoodFilePlaysToTheEnd();
}

TEST_F(PlayerDlgTest, MissingFileAndFolderAreFileErrors)
{
    TempDir dir;
    Play({QString::fromStdString(dir.File("gone.mpg"))});
    Play({QString::fromStdString(dir.path())});
    ASSERT_EQ(messages_.size(), 2);
    for (const QString& message : messages_) EXPECT_TRUE(message.startsWith(QStringLiteral("File Error")));
    EXPECT_EQ(dlg_->broadcaster(), nullptr);
    ExpectAGoodFilePlaysToTheEnd();
}

TEST_F(PlayerDlgTest, LongUnicodePathIsKeptWhole)
{
    TempDir dir;
    QString folder = QString::fromStdString(dir.path());
    // Well past 260 characters, in parts short enough for the file system.
    for (int part = 0; part < 4; ++part) folder += QStringLiteral("/胶片花园的影片目录第") + QString::number(part) + QString(60, QLatin1Char('d'));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString path = folder + QStringLiteral("/短片|一.mpg");
    ASSERT_TRUE(QFile::copy(Media("short.mpg"), path));
    ASSERT_GT(path.size(), 300);
    Play({path});
    EXPECT_EQ(dlg_->current_file(), path);
    EXPECT_EQ(dlg_->media_text(), path);
    ASSERT_TRUE(RunUntilPlaying()) << messages_.join(QLatin1Char(',')).toStdString();
    ASSERT_TRUE(RunUntilTheEnd(60s));
}

TEST_F(PlayerDlgTest, FourBusyChannelsAreReportedAndThePlayerStaysUsable)
{
    {
        std::vector<std::unique_ptr<PortHolder>> holders;
        for (int channel = wire::kFirstChannel; channel <= wire::kLastChannel; ++channel) {
            holders.push_back(std::make_unique<PortHolder>(wire::DataPort(channel)));
            ASSERT_TRUE(holders.back()->ok());
        }
        Play({Media("short.mpg")});
        EXPECT_EQ(messages_, QStringList{QStringLiteral("没有空闲的频道.")});
        EXPECT_EQ(dlg_->broadcaster(), nullptr);
        EXPECT_EQ(dlg_->status_text(), QStringLiteral("open ... "));
        EXPECT_FALSE(Enabled(CPlayerDlg::kFileButton));
    }
    ExpectAGoodFilePlaysToTheEnd();
}

TEST_F(PlayerDlgTest, FailedTuningTakesTheBroadcastAwayWhileItsMessageShows)
{
    // The channel's data port is free, so the probe picks it, but its
    // control port is taken: the video window cannot tune in. Its message
    // box runs an event loop, in which 8118 arrives.
    PortHolder control(wire::ControlPort(0));
    ASSERT_TRUE(control.ok());
    dlg_->video_window()->show_message = [this](QWidget*, const QString& text) {
        messages_ << text;
        QEventLoop loop;
        QTimer::singleShot(100, &loop, &QEventLoop::quit);
        loop.exec();
    };
    Play({Media("short.mpg")});
    EXPECT_EQ(messages_, QStringList{VideoWindow::kStartFailedText});
    EXPECT_EQ(dlg_->broadcaster(), nullptr);
    EXPECT_EQ(dlg_->status_text(), QStringLiteral("open ... "));
}

// ---- The program ----

TEST(KinoverdProgram, HelpAndVersionPrintAndExit)
{
    ChildProcess version(KINOVERD_PATH, {"--version"});
    EXPECT_EQ(version.WaitForExit(20s), 0);
    EXPECT_NE(version.out().find("kinoverd"), std::string::npos);
    ChildProcess help(KINOVERD_PATH, {"--help"});
    EXPECT_EQ(help.WaitForExit(20s), 0);
    EXPECT_NE(help.out().find("FILE"), std::string::npos);
}

TEST(KinoverdProgram, FilesOnTheCommandLineAreBroadcast)
{
    ChildProcess player(KINOVERD_PATH, {(Media("long.mpg")).toStdString()});
    ASSERT_TRUE(player.started());
    // The station probes channel 0 for about a second and then tunes in;
    // only then may another socket share the port.
    std::this_thread::sleep_for(4s);
    PortListener data(0, wire::DataPort(0));
    ASSERT_TRUE(data.ok());
    std::this_thread::sleep_for(1s);
    EXPECT_GT(CountKind(data.Drain(), wire::Kind::kData), 10);
}

// Last in the binary: the sound server it starts stays for the tests after it.
TEST(PlayerDlgVolume, VolumeSliderSetsTheSystemVolume)
{
    PulseNullOutput& output = PulseNullOutput::Shared();
    ASSERT_TRUE(output.running()) << output.error();
    ASSERT_TRUE(output.SetSinkVolume({30000, 30000}));
    CPlayerDlg dlg;
    dlg.video_window()->show_message = [](QWidget*, const QString&) {};
    const MixerVolume mixer;
    ASSERT_TRUE(mixer.IsAvailable());
    SkinSlider* slider = dlg.volume_slider();
    EXPECT_EQ(slider->minimum(), mixer.GetMinimum());
    EXPECT_EQ(slider->maximum(), mixer.GetMaximum());
    EXPECT_EQ(slider->value(), mixer.GetVolume());

    // Dragged by the user: the volume follows at once.
    slider->setSliderDown(true);
    slider->setSliderPosition(20000);
    EXPECT_EQ(output.SinkVolume(), (std::vector<int>{20000, 20000}));
    slider->setSliderDown(false);
    slider->triggerAction(QAbstractSlider::SliderToMinimum);
    EXPECT_EQ(output.SinkVolume(), (std::vector<int>{mixer.GetMinimum(), mixer.GetMinimum()}));

    // Changed by another program: the slider follows and sets nothing back,
    // so the right channel keeps its own value.
    ASSERT_TRUE(output.SetSinkVolume({40000, 10000}));
    QElapsedTimer waited;
    waited.start();
    while (slider->value() != 40000 && waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(slider->value(), 40000);
    EXPECT_EQ(output.SinkVolume(), (std::vector<int>{40000, 10000}));
}

}  // namespace
}  // namespace kinoverd::test
