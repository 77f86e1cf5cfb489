// SPDX-License-Identifier: GPL-3.0-or-later
// The main window as the user sees and works it, with real mouse and key
// events on the real widgets, over a real station playing on the private
// loopback network; and the kinoverd program itself.
#include "app/main_window.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QHelpEvent>
#include <QImage>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QUrl>
#include <QWheelEvent>
#include <QWindow>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <thread>
#include <tuple>

#include "app/exit_signals.h"
#include "app/video_cd_scanner.h"
#include "app/video_window.h"
#include "broadcast/broadcaster.h"
#include "broadcast/free_channel_probe.h"
#include "broadcast/wire_format.h"
#include "controls/about_dialog.h"
#include "controls/hover_bitmap_button.h"
#include "controls/link_label.h"
#include "controls/message_box.h"
#include "controls/skin_slider.h"
#include "playback/mixer_volume.h"
#include "playback/video_renderer.h"
#include "resources/bitmap_resource.h"
#include "station/station.h"
#include "tests/support/player_checks.h"
#include "tests/support/child_process.h"
#include "tests/support/pulse_null_output.h"
#include "tests/support/test_streams.h"
#include "tests/support/wire_capture.h"

namespace kinoverd::test {
namespace {

using namespace std::chrono_literals;

// `data` dragged onto `window` and dropped there.
void Drop(QWidget* window, const QMimeData& data)
{
    QDragEnterEvent enter(QPoint(100, 30), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(100, 30), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &drop);
}

void Drop(QWidget* window, const QStringList& paths)
{
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
    data.setUrls(urls);
    Drop(window, data);
}

// A copy of `clip` in `dir` named "测试.mpg" in GBK: bytes that are not
// UTF-8, so no text holds the name.
MediaPath GbkNamedCopy(const TempDir& dir, const char* clip)
{
    const std::string path = dir.File("\xB2\xE2\xCA\xD4.mpg");
    std::filesystem::copy_file(Media(clip).toStdString(), path);
    return MediaPath::fromStdString(path);
}

// The picture playing now: in the video window, or covering the screen.
VideoRenderer* Renderer(VideoWindow* video)
{
    if (auto* child = video->findChild<VideoRenderer*>()) return child;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* renderer = qobject_cast<VideoRenderer*>(widget)) return renderer;
    return nullptr;
}

class MainWindowTest : public testing::Test {
protected:
    MainWindowTest()
    {
        // No disc in any drive: an empty mount table.
        station_.set_channel_finder([this] {
            ++probes_;
            return FreeChannelProbe(wire::kBlockSize).FindFreeChannel();
        });
        window_ = std::make_unique<MainWindow>(station_);
        window_->set_message_box([this](const QString& text) { messages_ << text; });
        window_->set_file_chooser([this] { return chosen_files_; });
        window_->set_video_cd_scanner(std::make_unique<VideoCdScanner>(std::vector<std::string>{}));
        window_->show();
        QApplication::processEvents();
    }

    QWidget* control(Control which) const { return window_->control(which); }
    void Click(Control which) { QTest::mouseClick(control(which), Qt::LeftButton); }
    bool Enabled(Control which) const { return control(which)->isEnabled(); }
    bool Playing() const { return Enabled(Control::Channel) && IsElapsedTime(window_->status_text()); }
    bool RunUntilPlaying() { return RunUntil([this] { return Playing(); }, 30s); }
    bool RunUntilTheEnd(std::chrono::milliseconds timeout)
    {
        return RunUntil([this] { return window_->status_text() == QLatin1String("the end"); }, timeout);
    }
    void ExpectIdleButtons() const
    {
        EXPECT_TRUE(Enabled(Control::File));
        EXPECT_TRUE(Enabled(Control::Disc));
        EXPECT_FALSE(Enabled(Control::Channel));
    }
    void ExpectToolTipAt(const QPoint& at, const QString& text)
    {
        QHelpEvent help(QEvent::ToolTip, at, window_->mapToGlobal(at));
        QApplication::sendEvent(window_.get(), &help);
        EXPECT_EQ(QToolTip::text(), text);
    }

    Station station_;  // outlives the window
    std::unique_ptr<MainWindow> window_;
    QStringList messages_;
    QStringList chosen_files_;
    int probes_ = 0;
};

// ---- What the user sees ----

TEST_F(MainWindowTest, StartsIdleUnderTheVideoWindowWithItsControlsInPlace)
{
    EXPECT_EQ(window_->status_text(), QStringLiteral("ready"));
    EXPECT_EQ(window_->media_text(), QStringLiteral("no media"));
    ExpectIdleButtons();
    const auto* position = static_cast<SkinSlider*>(control(Control::Position));
    EXPECT_EQ(position->value(), 0);
    EXPECT_EQ(position->maximum(), 99);
    EXPECT_EQ(window_->docking(), (DockingFlags{true, true, true}));
    EXPECT_EQ(window_->windowTitle(), QStringLiteral("胶片花园"));
    EXPECT_TRUE(window_->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_FALSE(window_->windowIcon().isNull());

    // The video window centred on the screen and lifted by 90 pixels, this
    // window right under it with the same left edge.
    VideoWindow* video = window_->video_window();
    ASSERT_TRUE(video->isVisible());
    QRect expected_video(0, 0, VideoWindow::kWidth, VideoWindow::kHeight);
    expected_video.moveCenter(video->screen()->availableGeometry().center());
    expected_video.translate(0, -90);
    EXPECT_EQ(video->frameGeometry(), expected_video);
    EXPECT_EQ(window_->frameGeometry(), QRect(expected_video.left(), expected_video.bottom() + 1, 485, 120));

    // Each control where the layout table puts it, with its tooltip.
    const std::tuple<Control, const char*, bool> controls[] = {
        {Control::Options, "音频属性,帮助,退出", false},
        {Control::Internet, "访问Internet", false},
        {Control::File, "播放文件", true},
        {Control::Disc, "播放影碟", true},
        {Control::Stop, "停止播放", true},
        {Control::Exit, "退出", true},
        {Control::About, "关于", true},
        {Control::FullScreen, "全屏观看", true},
        {Control::Loop, "循环播放", true},
        {Control::Channel, "声道", true},
        {Control::Volume, "调节音量", true},
        {Control::Position, "当前播放位置", true},
    };
    for (const auto& [which, tooltip, visible] : controls) {
        QWidget* widget = control(which);
        ASSERT_NE(widget, nullptr) << int(which);
        EXPECT_EQ(widget->geometry(), PlaceOf(which)) << int(which);
        EXPECT_EQ(widget->toolTip(), QString::fromUtf8(tooltip)) << int(which);
        EXPECT_EQ(widget->isVisible(), visible) << int(which);
    }
    EXPECT_TRUE(qobject_cast<HoverBitmapButton*>(control(Control::File))->has_frame_strip());

    auto* label = qobject_cast<LinkLabel*>(control(Control::HomePage));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->link_target(), MainWindow::kHomePage);
    EXPECT_EQ(label->link_color(), QColor(0, 0, 255));
    EXPECT_EQ(label->visited_color(), QColor(255, 0, 0));
    EXPECT_EQ(label->hover_color(), QColor(255, 0, 0));
    EXPECT_FALSE(label->underlined());
    EXPECT_TRUE(label->text().contains(QStringLiteral("2000.8")));

    // KINOVERD_MAIN_WINDOW_PNG=docs/main-window.png redraws the picture of
    // the two windows docked, as they start.
    if (const char* picture = std::getenv("KINOVERD_MAIN_WINDOW_PNG")) {
        QImage both(VideoWindow::kWidth, VideoWindow::kHeight + 120, QImage::Format_RGB32);
        both.fill(Qt::black);
        QPainter painter(&both);
        painter.drawPixmap(0, 0, video->grab());
        painter.drawPixmap(0, VideoWindow::kHeight, window_->grab());
        painter.end();
        EXPECT_TRUE(both.save(QString::fromLocal8Bit(picture)));
    }
}

TEST_F(MainWindowTest, PanesShowTheirTextsInTheirColoursAndExplainThemselves)
{
    const QRect status_place = PlaceOf(Control::StatusPane);
    const QRect media_place = PlaceOf(Control::MediaPane);
    const QImage image = window_->grab().toImage();
    auto has_colour = [&image](const QRect& area, QColor colour) {
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                if (image.pixelColor(x, y) == colour) return true;
        return false;
    };
    EXPECT_TRUE(has_colour(window_->status_pane().TextRect(status_place), QColor(0, 220, 0)));
    EXPECT_TRUE(has_colour(window_->media_pane().TextRect(media_place), QColor(71, 220, 187)));
    // The status pane's picture is copied at its own size, not the pane's.
    EXPECT_EQ(window_->status_pane().PaintedRect(status_place), QRect(status_place.topLeft(), QSize(188, 49)));
    EXPECT_EQ(window_->media_pane().PaintedRect(media_place), media_place);
    EXPECT_EQ(window_->status_pane().TextRect(status_place),
              QRect(status_place.topLeft() + QPoint(8, 8), QSize(159, 40)));
    EXPECT_EQ(window_->media_pane().TextRect(media_place),
              QRect(media_place.topLeft() + QPoint(7, 6), QSize(232, 22)));

    ExpectToolTipAt(status_place.center(), QStringLiteral("播放信息"));
    ExpectToolTipAt(media_place.center(), QStringLiteral("媒体文件名"));
}

TEST(InfoPanePainter, TextThatDoesNotFitEndsInThreeDots)
{
    const InfoPanePainter pane = InfoPanePainter::MediaPane();
    const QFontMetrics metrics(pane.font());
    const QString path =
        QStringLiteral("/home/用户/影片/") + QString(300, QLatin1Char('x')) + QStringLiteral(".mpg");
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

// ---- What the user does ----

TEST_F(MainWindowTest, EscAndReturnSwitchModesAndOnlyExitCloses)
{
    auto* full_screen = qobject_cast<QPushButton*>(control(Control::FullScreen));
    QTest::keyClick(control(Control::File), Qt::Key_Return);
    EXPECT_TRUE(window_->full_screen_chosen());
    EXPECT_TRUE(full_screen->isChecked());
    QTest::keyClick(window_.get(), Qt::Key_Escape);
    EXPECT_FALSE(window_->full_screen_chosen());
    EXPECT_FALSE(full_screen->isChecked());
    // The same keys on the video window (queued: they may come from the
    // picture, which a switch re-parents), and the toggle itself.
    QTest::keyClick(window_->video_window(), Qt::Key_Return);
    RunFor(10ms);
    EXPECT_TRUE(window_->full_screen_chosen());
    QTest::keyClick(window_->video_window(), Qt::Key_Escape);
    RunFor(10ms);
    EXPECT_FALSE(window_->full_screen_chosen());
    Click(Control::FullScreen);
    EXPECT_TRUE(window_->full_screen_chosen());

    // Alt+F4 and the window manager's close button ask to close; refused.
    window_->windowHandle()->close();
    EXPECT_FALSE(window_->close());
    RunFor(50ms);
    EXPECT_TRUE(window_->isVisible());
    EXPECT_TRUE(window_->video_window()->isVisible());

    QSignalSpy finished(window_.get(), &MainWindow::finished);
    Click(Control::Exit);
    EXPECT_EQ(finished.count(), 1);
    EXPECT_FALSE(window_->isVisible());
    EXPECT_FALSE(window_->video_window()->isVisible());
}

TEST_F(MainWindowTest, LoopShowsItsStateAndTheHiddenMenusHoldTheirCommands)
{
    auto* loop = qobject_cast<QPushButton*>(control(Control::Loop));
    auto picture = [](const QPixmap& pixmap) { return pixmap.toImage().convertToFormat(QImage::Format_ARGB32); };
    auto shown = [&] { return picture(loop->icon().pixmap(44, 24)); };
    EXPECT_EQ(shown(), picture(LoadBitmap(Bitmap::LoopOff)));
    Click(Control::Loop);
    EXPECT_TRUE(loop->isChecked());
    EXPECT_EQ(shown(), picture(LoadBitmap(Bitmap::LoopOn)));
    Click(Control::Loop);
    EXPECT_EQ(shown(), picture(LoadBitmap(Bitmap::LoopOff)));

    QStringList options, internet;
    for (const QMenu* menu : window_->findChildren<QMenu*>()) {
        QStringList& texts = menu->title() == QStringLiteral("选项") ? options : internet;
        for (const QAction* action : menu->actions())
            texts << (action->isSeparator() ? QStringLiteral("-") : action->text()) +
                         (action->isEnabled() ? QString() : QStringLiteral(" (off)"));
    }
    EXPECT_EQ(options, (QStringList{QStringLiteral("收看频道...\t(&V)"), QStringLiteral("音频调节\t(&A)"),
                                    QStringLiteral("-"),
                                    QStringLiteral("使用帮助\t(&H)"), QStringLiteral("关于....\t(&O)"),
                                    QStringLiteral("-"), QStringLiteral("退出\t(&X)")}));
    EXPECT_EQ(internet,
              (QStringList{QStringLiteral("下载新界面\t(&D) (off)"), QStringLiteral("Kinoverd主页\t(&H)")}));
}

TEST_F(MainWindowTest, AboutRunsTheAboutBoxModally)
{
    bool shown = false;
    QTimer::singleShot(100, [&shown] {
        QWidget* modal = QApplication::activeModalWidget();
        shown = qobject_cast<AboutDialog*>(modal) != nullptr;
        if (modal) modal->close();
    });
    Click(Control::About);
    EXPECT_TRUE(shown);
}

TEST_F(MainWindowTest, DraggingTheDockedMainWindowCarriesTheVideoWindow)
{
    VideoWindow* video = window_->video_window();
    auto drag = [](QWidget* window, QPoint press, QPoint by) {
        auto mouse = [window](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
            QMouseEvent event(type, at, window->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
            QApplication::sendEvent(window, &event);
        };
        mouse(QEvent::MouseButtonPress, press, Qt::LeftButton);
        mouse(QEvent::MouseMove, press + by, Qt::LeftButton);
        mouse(QEvent::MouseButtonRelease, press + by, Qt::NoButton);
    };
    // A point of the skin between the controls.
    const QPoint skin(100, 30);
    const QRect main_before = window_->frameGeometry();
    const QRect video_before = video->frameGeometry();
    drag(window_.get(), skin, {30, 20});
    EXPECT_EQ(window_->frameGeometry(), main_before.translated(30, 20));
    EXPECT_EQ(video->frameGeometry(), video_before.translated(30, 20));
    EXPECT_EQ(window_->docking(), (DockingFlags{true, true, true}));

    // The video window pulled away by its frame: undocked, it stays put.
    drag(video, {20, 10}, {200, -100});
    EXPECT_EQ(window_->docking(), (DockingFlags{false, false, false}));
    const QRect video_apart = video->frameGeometry();
    drag(window_.get(), skin, {-5, 5});
    EXPECT_EQ(video->frameGeometry(), video_apart);

    // 10 pixels below the video window: a small drag pulls it up to touch,
    // aligns the left edges, and the release docks the pair.
    window_->move(video_apart.left() + 8, video_apart.bottom() + 1 + 10);
    drag(window_.get(), skin, {0, 2});
    EXPECT_EQ(window_->frameGeometry().topLeft(), QPoint(video_apart.left(), video_apart.bottom() + 1));
    EXPECT_TRUE(window_->docking().moves_with_main);
}

TEST_F(MainWindowTest, DiscPlaysTheTracksOfAMountedVideoCdAndNothingWithoutOne)
{
    Click(Control::Disc);
    RunFor(100ms);
    EXPECT_EQ(window_->status_text(), QStringLiteral("ready"));
    EXPECT_EQ(window_->media_text(), QStringLiteral("no media"));
    EXPECT_EQ(probes_, 0);
    EXPECT_TRUE(messages_.isEmpty());
    ExpectIdleButtons();

    // A Video CD image in the drive: its tracks in order.
    const QString track = Media("vcd.cue") + QStringLiteral("#1");
    window_->set_video_cd_scanner(
        std::make_unique<VideoCdScanner>(std::vector<std::string>{Media("vcd.cue").toStdString()}));
    Click(Control::Disc);
    EXPECT_EQ(station_.play_list().all(), EncodeNames({track, Media("vcd.cue") + QStringLiteral("#2")}));
    EXPECT_EQ(window_->media_text(), track);
    EXPECT_FALSE(Enabled(Control::File));
    EXPECT_FALSE(Enabled(Control::Disc));
    ASSERT_TRUE(RunUntilPlaying());

    Click(Control::Stop);
    EXPECT_EQ(window_->status_text(), QStringLiteral("ready"));
    ExpectIdleButtons();
    EXPECT_TRUE(messages_.isEmpty());
}

TEST_F(MainWindowTest, ChosenAndDroppedFilesPlayAndExitSendsTheClosePackets)
{
    // The station's errors are shown once its work is done.
    TempDir dir;
    chosen_files_ = {QString::fromStdString(dir.File("gone.mpg"))};
    Click(Control::File);
    EXPECT_TRUE(messages_.isEmpty());
    ASSERT_TRUE(RunUntil([this] { return !messages_.isEmpty(); }, 10s));
    ASSERT_EQ(messages_.size(), 1);
    EXPECT_TRUE(messages_[0].startsWith(QStringLiteral("File Error")));
    ExpectIdleButtons();
    messages_.clear();

    chosen_files_ = {Media("demo.mpg")};
    Click(Control::File);
    EXPECT_EQ(window_->media_text(), Media("demo.mpg"));
    EXPECT_FALSE(Enabled(Control::File));
    EXPECT_FALSE(Enabled(Control::Disc));
    ASSERT_TRUE(RunUntilPlaying());
    auto* position = static_cast<SkinSlider*>(control(Control::Position));
    EXPECT_TRUE(RunUntil([&] { return position->value() > 0; }, 10s));

    // Keys over the picture reach the windows: full screen and back.
    VideoWindow* video = window_->video_window();
    ASSERT_NE(Renderer(video), nullptr);
    QTest::keyClick(Renderer(video), Qt::Key_Return);
    EXPECT_TRUE(RunUntil([&] { return Renderer(video) && Renderer(video)->IsFullScreenMode(); }, 5s));
    EXPECT_TRUE(station_.IsFullScreen());
    QTest::keyClick(Renderer(video), Qt::Key_Escape);
    EXPECT_TRUE(RunUntil([&] { return Renderer(video) && !Renderer(video)->IsFullScreenMode(); }, 5s));
    EXPECT_FALSE(window_->full_screen_chosen());

    // A click on the position slider's channel moves the broadcast there
    // (where it lands is the slider test's); files dropped while the
    // broadcast restarts replace the programme.
    QTest::mouseClick(position, Qt::LeftButton, Qt::NoModifier,
                      QPoint(position->width() - 10, position->height() / 2));
    EXPECT_EQ(window_->status_text(), QStringLiteral("connect ..."));
    Drop(window_.get(), {Media("short.mpg")});
    EXPECT_EQ(window_->media_text(), Media("short.mpg"));
    ASSERT_TRUE(RunUntilPlaying());
    ASSERT_TRUE(RunUntilTheEnd(60s));
    EXPECT_EQ(window_->media_text(), QStringLiteral("no media"));
    ExpectIdleButtons();
    EXPECT_EQ(position->value(), 0);

    Click(Control::File);
    ASSERT_TRUE(RunUntilPlaying());
    WireCapture capture(station_.channel());
    ASSERT_TRUE(capture.Start());
    QSignalSpy finished(window_.get(), &MainWindow::finished);
    Click(Control::Exit);
    EXPECT_TRUE(
        capture.WaitFor([](const auto& records) { return CountKind(records, wire::Kind::kClose) >= 4; }, 2s));
    EXPECT_EQ(finished.count(), 1);
    EXPECT_FALSE(window_->isVisible());
    EXPECT_EQ(probes_, 4);
    EXPECT_TRUE(messages_.isEmpty()) << messages_.join(QLatin1Char(',')).toStdString();
}

TEST_F(MainWindowTest, DroppedFoldersAreRefusedAndTheFilesBesideThemPlay)
{
    TempDir folder;
    const QString path = QString::fromStdString(folder.path());
    const QString message = QStringLiteral("不能播放文件夹:\n") + path;
    Drop(window_.get(), {path});
    Drop(window_->video_window(), {path});
    EXPECT_EQ(messages_, (QStringList{message, message}));
    EXPECT_EQ(window_->status_text(), QStringLiteral("ready"));
    EXPECT_EQ(probes_, 0);
    ExpectIdleButtons();

    Drop(window_->video_window(), {path, Media("short.mpg")});
    EXPECT_EQ(messages_.size(), 3);
    EXPECT_EQ(station_.play_list().all(), EncodeNames({Media("short.mpg")}));
    EXPECT_EQ(window_->media_text(), Media("short.mpg"));
}

TEST_F(MainWindowTest, ANameThatIsNotTextPlaysDroppedAndChosen)
{
    TempDir dir;
    const MediaPath clip = GbkNamedCopy(dir, "short.mpg");
    // A file manager's drop: the name's own bytes, escaped.
    QMimeData data;
    data.setData(QStringLiteral("text/uri-list"), "file://" + clip.toPercentEncoding("/") + "\r\n");
    Drop(window_->video_window(), data);
    EXPECT_EQ(station_.play_list().all(), MediaPaths{clip});
    EXPECT_EQ(window_->media_text(), DisplayName(clip));
    ASSERT_TRUE(RunUntilPlaying());
    Click(Control::Stop);

    // The dialog hands back the name as shown, decoded.
    chosen_files_ = {DisplayName(clip)};
    Click(Control::File);
    EXPECT_EQ(station_.play_list().all(), MediaPaths{clip});
    ASSERT_TRUE(RunUntilPlaying());
    EXPECT_TRUE(messages_.isEmpty()) << messages_.join(QLatin1Char(',')).toStdString();
}

// ---- The program ----

TEST(KinoverdProgram, HelpAndVersionPrintAndExit)
{
    ChildProcess version(KINOVERD_PATH, {"--version"});
    EXPECT_EQ(version.WaitForExit(20s), 0);
    EXPECT_EQ(version.out(), "kinoverd " KINOVERD_VERSION "\n");
    ChildProcess help(KINOVERD_PATH, {"--help"});
    EXPECT_EQ(help.WaitForExit(20s), 0);
    EXPECT_NE(help.out().find("FILE"), std::string::npos);
}

// Named by its own bytes, relative to the player's working folder.
TEST(KinoverdProgram, FilesOnTheCommandLineAreBroadcast)
{
    TempDir dir;
    const MediaPath clip = GbkNamedCopy(dir, "long.mpg");
    const std::string name = std::filesystem::path(clip.toStdString()).filename();
    ChildProcess player(KINOVERD_PATH, {name}, dir.path());
    ASSERT_TRUE(player.started());
    // The station probes channel 0 for about a second and then tunes in;
    // only then may the capture share the ports.
    std::this_thread::sleep_for(4s);
    WireCapture capture(0);
    ASSERT_TRUE(capture.Start());
    EXPECT_TRUE(
        capture.WaitFor([](const auto& records) { return CountKind(records, wire::Kind::kData) > 10; }, 2s));
}

// Real presses on the slider and the picture while a clip plays: the groove
// held down for 1.5 s restarts the broadcast once, at release; the
// picture's menu left open while the clip ends (and its renderer goes),
// then closed with Esc, leaves the player running and usable.
TEST_F(MainWindowTest, AHeldGrooveSeeksOnceAndThePicturesMenuOutlivesThePicture)
{
    chosen_files_ = {Media("demo.mpg")};
    Click(Control::File);
    ASSERT_TRUE(RunUntilPlaying());
    WireCapture capture(station_.channel());
    ASSERT_TRUE(capture.Start());
    QWidget* slider = control(Control::Position);
    const QPoint groove(slider->width() * 3 / 4, slider->height() / 2);
    QTest::mousePress(slider, Qt::LeftButton, Qt::NoModifier, groove);
    RunFor(1500ms);
    EXPECT_EQ(CountKind(capture.records(), wire::Kind::kRestart), 0);
    QTest::mouseRelease(slider, Qt::LeftButton, Qt::NoModifier, groove);
    RunFor(1s);
    EXPECT_EQ(CountKind(capture.records(), wire::Kind::kRestart), 1);

    VideoWindow* video = window_->video_window();
    ASSERT_TRUE(RunUntil([&] { return Renderer(video) && Renderer(video)->frames_presented() > 5; }, 20s));
    bool menu_open_at_the_end = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu && window_->status_text() == QLatin1String("the end")) {
            menu_open_at_the_end = true;
            QTest::keyClick(menu, Qt::Key_Escape);
        }
    });
    poll.start(20);
    QTest::mouseClick(Renderer(video), Qt::RightButton, Qt::NoModifier, QPoint(20, 20));
    EXPECT_TRUE(RunUntil([&] { return menu_open_at_the_end && !QApplication::activePopupWidget(); }, 30s));
    poll.stop();
    EXPECT_EQ(Renderer(video), nullptr);

    chosen_files_ = {Media("short.mpg")};
    Click(Control::File);
    EXPECT_TRUE(RunUntilPlaying());
}

// Where the broadcast restarted: the stream offset of the first data block
// of the stream started after the first restart packet in `records`.
std::optional<uint32_t> RestartedAt(const WireCapture::Records& records)
{
    bool restarted = false;
    bool started = false;
    for (const CapturedDatagram& datagram : records) {
        if (datagram.bytes.size() < wire::kHeadBytes) continue;
        const uint8_t* packet = datagram.bytes.data();
        restarted = restarted || wire::HasHead(packet, wire::Kind::kRestart);
        started = started || (restarted && wire::HasHead(packet, wire::Kind::kStreamStart));
        if (started && wire::HasHead(packet, wire::Kind::kData))
            return wire::BlockIndex(packet) * wire::kBlockSize - wire::kHeaderBytes;
    }
    return std::nullopt;
}

// Real presses, keys and a wheel turn on the position slider while a clip
// plays, each lasting several of the station's position updates: the
// broadcast restarts once, where the user left the slider (as the new
// stream's first data block on the wire says), and the slider stays there
// until the picture is back. A still click on the thumb seeks nothing and
// freezes nothing.
TEST_F(MainWindowTest, TheBroadcastRestartsWhereTheUserLeavesTheSlider)
{
    chosen_files_ = {Media("long.mpg")};
    Click(Control::File);
    ASSERT_TRUE(RunUntilPlaying());
    ASSERT_NE(station_.broadcaster(), nullptr);
    const uint32_t length = station_.broadcaster()->stream_length();
    auto* slider = static_cast<SkinSlider*>(control(Control::Position));
    WireCapture capture(station_.channel());
    ASSERT_TRUE(capture.Start());

    // `gesture` works the slider and returns the value it left it at.
    auto expect_restart_where_left = [&](const char* gesture_name, const std::function<int()>& gesture) {
        SCOPED_TRACE(gesture_name);
        capture.Clear();
        const int before = slider->value();
        const int chosen = gesture();
        EXPECT_NE(chosen, before);
        bool slider_stayed = true;
        ASSERT_TRUE(RunUntil(
            [&] {
                if (RestartedAt(capture.records()) && Playing()) return true;
                slider_stayed = slider_stayed && slider->value() == chosen;
                return false;
            },
            30s))
            << window_->status_text().toStdString() << " " << messages_.join('|').toStdString();
        EXPECT_TRUE(slider_stayed);
        const uint32_t wanted =
            std::min(uint32_t(double(length) * chosen * 0.01), length - Broadcaster::kRestartTailBytes);
        EXPECT_EQ(RestartedAt(capture.records()), wanted - wanted % wire::kBlockSize);
        EXPECT_EQ(CountKind(capture.records(), wire::Kind::kRestart), 1);
    };
    expect_restart_where_left("groove click", [&] {
        const QPoint groove(slider->ThumbRect().right() + 20, slider->height() / 2);
        QTest::mousePress(slider, Qt::LeftButton, {}, groove);
        const int chosen = slider->value();
        RunFor(300ms);
        QTest::mouseRelease(slider, Qt::LeftButton, {}, groove);
        return chosen;
    });
    expect_restart_where_left("Page Up", [&] {
        QTest::keyClick(slider, Qt::Key_PageUp);
        return slider->value();
    });
    expect_restart_where_left("two arrow steps back", [&] {
        QTest::keyClick(slider, Qt::Key_Left);
        QTest::keyClick(slider, Qt::Key_Left);
        return slider->value();
    });
    expect_restart_where_left("wheel", [&] {
        const QPointF at = slider->rect().center();
        QWheelEvent wheel(at, slider->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(slider, &wheel);
        return slider->value();
    });

    capture.Clear();
    const QPoint thumb = slider->ThumbRect().center();
    QTest::mousePress(slider, Qt::LeftButton, {}, thumb);
    RunFor(300ms);
    QTest::mouseRelease(slider, Qt::LeftButton, {}, thumb);
    const int left_at = slider->value();
    const QString time = window_->status_text();
    EXPECT_TRUE(RunUntil([&] { return slider->value() > left_at && window_->status_text() != time; }, 10s))
        << time.toStdString() << " at " << left_at;
    EXPECT_EQ(CountKind(capture.records(), wire::Kind::kRestart), 0);
}

// The "File Error" box as the user sees it: captioned "Kinoverd", with the
// reason in Chinese; and a real SIGTERM ends the player while that modal
// box is open.
TEST_F(MainWindowTest, AFileErrorBoxSpeaksChineseAndGivesWayToSigterm)
{
    window_->set_message_box([this](const QString& text) { ShowMessageBox(window_.get(), text); });
    ExitSignals exit_signals;
    QObject::connect(&exit_signals, &ExitSignals::exitRequested, window_.get(), &MainWindow::Exit);
    QSignalSpy finished(window_.get(), &MainWindow::finished);
    QString caption;
    QString text;
    int polls_with_the_box_open = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        if (++polls_with_the_box_open == 1) {
            caption = box->windowTitle();
            text = box->text();
            kill(getpid(), SIGTERM);
        } else if (polls_with_the_box_open == 200) {
            box->accept();  // the signal failed: the test goes on
        }
    });
    poll.start(20);
    TempDir dir;
    chosen_files_ = {QString::fromStdString(dir.File("gone.mpg"))};
    Click(Control::File);
    EXPECT_TRUE(RunUntil([&] { return polls_with_the_box_open > 0 && !QApplication::activeModalWidget(); }, 30s));
    EXPECT_LT(polls_with_the_box_open, 200);
    EXPECT_EQ(finished.count(), 1);
    EXPECT_FALSE(window_->isVisible());
    EXPECT_EQ(caption, QStringLiteral("Kinoverd"));
    EXPECT_EQ(text, QStringLiteral("File Error\n无法打开: 文件不存在"));
}

// ---- With a sound server: last in the binary, it stays for the tests after it ----

using MainWindowSoundTest = MainWindowTest;

TEST_F(MainWindowSoundTest, VolumeSliderMovesTheSystemVolumeAndFollowsIt)
{
    PulseNullOutput& output = PulseNullOutput::Shared();
    ASSERT_TRUE(output.running()) << output.error();
    ASSERT_TRUE(output.SetSinkVolume({30000, 30000}));
    // A window made now finds the mixer.
    window_.reset();
    window_ = std::make_unique<MainWindow>(station_);
    window_->show();
    const MixerVolume mixer;
    ASSERT_TRUE(mixer.IsAvailable());
    auto* slider = static_cast<SkinSlider*>(control(Control::Volume));
    EXPECT_EQ(slider->minimum(), mixer.GetMinimum());
    EXPECT_EQ(slider->maximum(), mixer.GetMaximum());
    EXPECT_EQ(slider->value(), 30000);

    // Moved by the user: the volume follows at once.
    QTest::keyClick(slider, Qt::Key_Home);
    EXPECT_EQ(output.SinkVolume(), (std::vector<int>{mixer.GetMinimum(), mixer.GetMinimum()}));
    QTest::keyClick(slider, Qt::Key_PageUp);
    EXPECT_GT(slider->value(), mixer.GetMinimum());
    EXPECT_EQ(output.SinkVolume(), (std::vector<int>{slider->value(), slider->value()}));

    // Changed by another program: the slider follows and sets nothing back,
    // so the right channel keeps its own value.
    ASSERT_TRUE(output.SetSinkVolume({40000, 10000}));
    EXPECT_TRUE(RunUntil([slider] { return slider->value() == 40000; }, 5s));
    EXPECT_EQ(output.SinkVolume(), (std::vector<int>{40000, 10000}));
}

TEST_F(MainWindowSoundTest, AudioChannelFromThePictureLeavesFullScreenBeforeItsDialog)
{
    // The decoder's pages exist once the audio reaches an output.
    PulseNullOutput& output = PulseNullOutput::Shared();
    ASSERT_TRUE(output.running()) << output.error();
    Click(Control::FullScreen);
    chosen_files_ = {Media("demo.mpg")};
    Click(Control::File);
    ASSERT_TRUE(RunUntilPlaying());
    VideoWindow* video = window_->video_window();
    ASSERT_TRUE(RunUntil([&] { return Renderer(video) && Renderer(video)->frames_presented() > 5; }, 10s));
    EXPECT_TRUE(station_.IsFullScreen());

    bool dialog_seen = false;
    bool full_screen_with_dialog = true;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            menu->setActiveAction(menu->actions()[0]);  // 声道
            QTest::keyClick(menu, Qt::Key_Return);
        } else if (QWidget* dialog = QApplication::activeModalWidget(); dialog && !dialog_seen) {
            dialog_seen = true;
            full_screen_with_dialog = station_.IsFullScreen() || window_->full_screen_chosen();
            QTest::keyClick(dialog, Qt::Key_Escape);
        }
    });
    poll.start(10);
    // On the picture covering the screen.
    QTest::mouseClick(Renderer(video), Qt::RightButton, Qt::NoModifier, QPoint(20, 10));
    EXPECT_TRUE(RunUntil([&] { return dialog_seen && !QApplication::activeModalWidget(); }, 10s));
    EXPECT_FALSE(full_screen_with_dialog);
}

}  // namespace
}  // namespace kinoverd::test
