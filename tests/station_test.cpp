// SPDX-License-Identifier: GPL-3.0-or-later
// The station without windows: programmes broadcast, received back and
// played on the private loopback network through the real broadcaster,
// reception and GStreamer graph, with a plain widget as the picture's place.
#include "station/station.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <vector>

#include "broadcast/broadcaster.h"
#include "broadcast/free_channel_probe.h"
#include "broadcast/wire_format.h"
#include "playback/media_graph_controller.h"
#include "playback/video_renderer.h"
#include "tests/support/player_checks.h"
#include "tests/support/test_streams.h"
#include "tests/support/wait_until.h"
#include "tests/support/wire_capture.h"

namespace kinoverd::test {
namespace {

using namespace std::chrono_literals;

// Where the main window puts the picture in its video window.
constexpr QRect kPictureArea{54, 29, 377, 302};

// A plain UDP socket holding a port, as another program would.
class PortHolder {
public:
    explicit PortHolder(uint16_t port) : fd_(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0))
    {
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
    int fd_;
    bool ok_ = false;
};

class StationTest : public testing::Test {
protected:
    StationTest() : station_(std::make_unique<Station>())
    {
        picture_.resize(485, 360);
        picture_.show();
        station_->SetPicturePlace(&picture_, kPictureArea);
        station_->set_channel_finder([this] {
            ++probes_;
            return FreeChannelProbe(wire::kBlockSize).FindFreeChannel();
        });
        Station* station = station_.get();
        QObject::connect(station, &Station::statusChanged, station,
                         [this](const QString& text) { statuses_ << text; });
        QObject::connect(station, &Station::mediaChanged, station,
                         [this](const QString& text) { media_ << text; });
        QObject::connect(station, &Station::positionChanged, station,
                         [this](int percent) { position_ = percent; });
        QObject::connect(station, &Station::pictureChanged, station, [this](bool playing) {
            picture_playing_ = playing;
            if (playing) played_ << media_.value(media_.size() - 1);
        });
        QObject::connect(station, &Station::errorOccurred, station, [this, station](const QString& text) {
            errors_ << text;
            broadcasting_when_told_ = station->broadcaster() != nullptr;
        });
    }

    QString status() const { return statuses_.value(statuses_.size() - 1); }
    bool Playing() const { return picture_playing_ && IsElapsedTime(status()); }
    bool RunUntilPlaying() { return RunUntil([this] { return Playing(); }, 30s); }
    bool RunUntilTheEnd(std::chrono::milliseconds timeout)
    {
        return RunUntil([this] { return status() == Station::kTheEndText; }, timeout);
    }
    QString History() const { return statuses_.join(QLatin1Char(',')); }

    // Bad input leaves nothing running: File and Disc can be used again.
    // The channel is searched on a thread of its own: errors come once it
    // has answered.
    void ExpectIdleAfter(const QString& error)
    {
        EXPECT_TRUE(RunUntil([this] { return !errors_.isEmpty(); }, 10s));
        EXPECT_EQ(errors_, QStringList{error});
        EXPECT_FALSE(broadcasting_when_told_);
        EXPECT_EQ(station_->broadcaster(), nullptr);
        EXPECT_FALSE(station_->programme_running());
        EXPECT_EQ(status(), Station::kReadyText);
        errors_.clear();
    }

    QWidget picture_;
    std::unique_ptr<Station> station_;
    int probes_ = 0;
    QStringList statuses_;
    QStringList media_;
    QStringList played_;  // the media text whenever a picture started
    QStringList errors_;
    bool broadcasting_when_told_ = false;
    bool picture_playing_ = false;
    int position_ = 0;
};

TEST_F(StationTest, ThreeFilesPlayInOrderOnOneChannelToTheEnd)
{
    // The last one by a long Unicode path, with "|" in it, kept whole.
    TempDir dir;
    QString folder = QString::fromStdString(dir.path());
    for (int part = 0; part < 4; ++part)
        folder +=
            QStringLiteral("/胶片花园的影片目录第") + QString::number(part) + QString(60, QLatin1Char('d'));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString long_path = folder + QStringLiteral("/短片|一.mpg");
    ASSERT_TRUE(QFile::copy(Media("short.mpg"), long_path));
    ASSERT_GT(long_path.size(), 300);

    const QStringList files{Media("short.mpg"), Media("short.dat"), long_path};
    station_->Play(files);
    EXPECT_EQ(status(), Station::kOpenText);
    EXPECT_EQ(media_, QStringList{files[0]});
    EXPECT_TRUE(station_->programme_running());
    EXPECT_EQ(station_->play_list().all(), EncodeNames(files));
    EXPECT_EQ(station_->play_list().pending(), EncodeNames(files.mid(1)));

    ASSERT_TRUE(RunUntilPlaying()) << History().toStdString();
    // Played from its start, a file's time starts at its first picture.
    EXPECT_EQ(status(), QStringLiteral("00:00:00")) << History().toStdString();
    const int channel = station_->channel();
    // The picture lies in its place, a pixel larger than it.
    const auto* renderer = picture_.findChild<VideoRenderer*>();
    ASSERT_NE(renderer, nullptr);
    EXPECT_EQ(renderer->geometry(), QRect(54, 29, 378, 303));

    ASSERT_TRUE(RunUntilTheEnd(90s)) << History().toStdString();
    EXPECT_EQ(media_, (QStringList{files[0], files[1], files[2], Station::kNoMediaText}));
    EXPECT_EQ(played_, files);
    EXPECT_EQ(statuses_.count(Station::kOpenText), 3);
    EXPECT_EQ(probes_, 1);
    EXPECT_EQ(station_->channel(), channel);
    EXPECT_FALSE(station_->programme_running());
    EXPECT_EQ(station_->broadcaster(), nullptr);
    EXPECT_EQ(position_, 0);
    EXPECT_TRUE(errors_.isEmpty()) << errors_.join(QLatin1Char(',')).toStdString();
}

TEST_F(StationTest, LoopRepeatsTheListWithoutProbingAgain)
{
    station_->SetLoop(true);
    station_->Play({Media("short.mpg")});
    const int channel = station_->channel();
    // Started three times: the first and two repeats.
    ASSERT_TRUE(RunUntil([this] { return statuses_.count(Station::kOpenText) >= 3; }, 90s))
        << History().toStdString();
    EXPECT_EQ(probes_, 1);
    EXPECT_EQ(station_->channel(), channel);

    // Off during the last file: the programme ends after it.
    station_->SetLoop(false);
    ASSERT_TRUE(RunUntilTheEnd(60s));
    EXPECT_EQ(statuses_.count(Station::kOpenText), 3);
    EXPECT_EQ(played_.size(), 3);
    EXPECT_EQ(probes_, 1);
}

TEST_F(StationTest, SeekRestartsTheBroadcastThereAndTheTimeGoesOnFromIt)
{
    station_->Play({Media("long.mpg")});
    ASSERT_TRUE(RunUntilPlaying());
    WireCapture capture(station_->channel());
    ASSERT_TRUE(capture.Start());

    // While the user works the slider, the time stands still.
    station_->HoldPositionDisplay();
    const qsizetype shown = statuses_.size();
    RunFor(500ms);
    EXPECT_EQ(statuses_.size(), shown);

    Broadcaster* broadcaster = station_->broadcaster();
    ASSERT_NE(broadcaster, nullptr);
    const uint32_t length = broadcaster->stream_length();
    capture.Clear();
    // A second seek while the first is under way is merged into it. Neither
    // waits out the broadcaster's pause, and the old picture goes at once.
    const auto called = std::chrono::steady_clock::now();
    station_->SeekToPercent(30);
    station_->SeekToPercent(50);
    EXPECT_LT(std::chrono::steady_clock::now() - called, 100ms);
    EXPECT_EQ(status(), Station::kConnectText);
    EXPECT_FALSE(picture_playing_);
    EXPECT_EQ(station_->broadcaster(), broadcaster);

    // Playing again, from the last offset on: the time never shows the
    // stream's head, read first, as 00:00:00.
    const qsizetype sought = statuses_.size();
    ASSERT_TRUE(RunUntil([&] { return Playing(); }, 30s)) << History().toStdString();
    const auto offset = uint32_t(double(length) * 50 * 0.01);
    EXPECT_EQ(broadcaster->start_offset(), offset - offset % wire::kBlockSize);
    const int seconds = int(broadcaster->start_offset() / Station::kBytesPerSecond);
    ASSERT_TRUE(RunUntil([&] { return Playing() && ElapsedSeconds(status()) > seconds; }, 30s))
        << History().toStdString();
    QStringList before_the_offset;
    for (const QString& text : statuses_.mid(sought))
        if (IsElapsedTime(text) && ElapsedSeconds(text) < seconds) before_the_offset << text;
    EXPECT_TRUE(before_the_offset.isEmpty()) << History().toStdString();

    // On the wire: one restart, then the new stream, whose data goes on from
    // the offset after the stream's head.
    const WireCapture::Records records = capture.records();
    EXPECT_EQ(CountKind(records, wire::Kind::kRestart), 1);
    bool restarted = false;
    std::optional<uint32_t> first_block;
    for (const CapturedDatagram& datagram : records) {
        if (datagram.bytes.size() < wire::kHeadBytes) continue;
        restarted = restarted || wire::HasHead(datagram.bytes.data(), wire::Kind::kStreamStart);
        if (restarted && !first_block && wire::HasHead(datagram.bytes.data(), wire::Kind::kData))
            first_block = wire::BlockIndex(datagram.bytes.data());
    }
    EXPECT_EQ(first_block, (broadcaster->start_offset() + wire::kHeaderBytes) / wire::kBlockSize);
}

// Another sender takes the channel: the broadcast moves on from the picture
// on screen, not from what had been sent seconds ahead of it, and leaves the
// channel without a close packet, which the other sender's stations would obey.
TEST_F(StationTest, AMoveOffATakenChannelResumesAtThePictureOnScreenAndClosesNothing)
{
    station_->Play({Media("long.mpg")});
    ASSERT_TRUE(RunUntilPlaying());
    RunFor(4s);
    const int before = ElapsedSeconds(status());
    const int taken = station_->channel();
    WireCapture capture(taken);
    ASSERT_TRUE(capture.Start());
    Broadcaster intruder(Media("long.mpg").toStdString(), taken, wire::kBlockSize, nullptr);
    ASSERT_TRUE(intruder.Start(0));
    intruder.Run();
    ASSERT_TRUE(RunUntil([this] { return statuses_.contains(Station::kChannelTakenText); }, 15s))
        << History().toStdString();
    const qsizetype moved = statuses_.size();
    ASSERT_TRUE(RunUntil([&] { return Playing() && statuses_.size() > moved; }, 30s)) << History().toStdString();
    EXPECT_EQ(CountKind(capture.records(), wire::Kind::kClose), 0);
    intruder.StopAndClose();
    EXPECT_NE(station_->channel(), taken);
    ASSERT_NE(station_->broadcaster(), nullptr);
    const int resumed = int(station_->broadcaster()->start_offset() / Station::kBytesPerSecond);
    EXPECT_GE(resumed, before - 2);
    EXPECT_LE(resumed, before + 1);
    const int shown_after = ElapsedSeconds(status());
    EXPECT_GE(shown_after, before - 2) << History().toStdString();
    EXPECT_LE(shown_after, before + 2) << History().toStdString();
}

TEST_F(StationTest, StopAndDestructionSendTheClosePackets)
{
    station_->Play({Media("demo.mpg")});
    ASSERT_TRUE(RunUntilPlaying());
    auto capture = std::make_unique<WireCapture>(station_->channel());
    ASSERT_TRUE(capture->Start());
    auto four_closes = [&capture] {
        return capture->WaitFor([](const auto& records) { return CountKind(records, wire::Kind::kClose) >= 4; },
                                2s);
    };
    station_->Stop();
    EXPECT_TRUE(four_closes());
    EXPECT_EQ(status(), Station::kReadyText);
    EXPECT_EQ(media_.back(), Media("demo.mpg"));
    EXPECT_EQ(station_->broadcaster(), nullptr);
    EXPECT_FALSE(station_->programme_running());
    EXPECT_FALSE(picture_playing_);
    EXPECT_EQ(position_, 0);

    station_->Play({Media("demo.mpg")});
    ASSERT_TRUE(RunUntilPlaying());
    capture = std::make_unique<WireCapture>(station_->channel());
    ASSERT_TRUE(capture->Start());
    station_.reset();
    EXPECT_TRUE(four_closes());
    RunFor(100ms);
    EXPECT_EQ(CountKind(capture->records(), wire::Kind::kClose), 4);
}

TEST_F(StationTest, ASixtySecondClipNeverOverflowsTheRingAndTheDisplayAdvances)
{
    const PacketRing& ring = station_->controller().reception().ring();
    const uint64_t dropped_before = ring.dropped();
    station_->Play({Media("long.mpg")});
    ASSERT_TRUE(RunUntilPlaying());

    // Sampled every two seconds: the time and the position only go forward.
    std::vector<int> seconds, positions;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        if (!Playing()) return;
        seconds.push_back(ElapsedSeconds(status()));
        positions.push_back(position_);
    });
    sampler.start(2000);
    ASSERT_TRUE(RunUntilTheEnd(90s)) << History().toStdString();
    sampler.stop();

    // Holding the sender whenever the ring nearly filled kept it within
    // what this station plays.
    EXPECT_EQ(ring.dropped(), dropped_before);
    ASSERT_GE(seconds.size(), 20u);
    for (size_t i = 1; i < seconds.size(); ++i) {
        EXPECT_GT(seconds[i], seconds[i - 1]) << i;
        EXPECT_GE(positions[i], positions[i - 1]) << i;
    }
    EXPECT_LE(positions.front(), 5);
    EXPECT_GT(positions.back(), 90);
    // The time is the picture's own: the clip's last picture is at 60 s.
    int latest = 0;
    for (const QString& text : statuses_)
        if (IsElapsedTime(text)) latest = std::max(latest, ElapsedSeconds(text));
    EXPECT_LE(latest, 60);
    EXPECT_GE(latest, 58);
}

TEST_F(StationTest, BadInputIsReportedAndTheStationStaysUsable)
{
    TempDir dir;
    const std::string not_mpeg = dir.File("notes.mpg");
    ASSERT_TRUE(WriteBytes(not_mpeg, NonMpegBytes(4000)));
    const std::string pipe = dir.File("pipe.mpg");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    QStringList told;
    for (const std::string& path : {not_mpeg, dir.File("gone.mpg"), dir.path(), pipe}) {
        station_->Play({QString::fromStdString(path)});
        ASSERT_TRUE(RunUntil([this] { return !errors_.isEmpty(); }, 10s)) << path;
        ASSERT_EQ(errors_.size(), 1) << path;
        EXPECT_TRUE(errors_[0].startsWith(QStringLiteral("File Error\n"))) << errors_[0].toStdString();
        told << errors_[0];
        ExpectIdleAfter(errors_[0]);
    }
    // A pipe is no file without a pack: it is no file to play at all.
    EXPECT_NE(told[3], told[0]);
    // Files that broadcast but never make a picture: shorter than the
    // stream's head, and one valid pack followed by noise, long enough to
    // be still on the air when the picture fails.
    QFile clip_file(Media("short.mpg"));
    ASSERT_TRUE(clip_file.open(QIODevice::ReadOnly));
    const QByteArray clip = clip_file.readAll();
    const std::string tiny = dir.File("tiny.mpg");
    const std::string noisy = dir.File("noisy.mpg");
    ASSERT_TRUE(WriteBytes(tiny, {clip.begin(), clip.begin() + 30000}));
    std::vector<uint8_t> noise = NonMpegBytes(2000000);
    std::copy(clip.begin(), clip.begin() + 2324, noise.begin());
    ASSERT_TRUE(WriteBytes(noisy, noise));
    for (const std::string& path : {tiny, noisy}) {
        station_->Play({QString::fromStdString(path)});
        ASSERT_TRUE(RunUntil([this] { return !errors_.isEmpty(); }, 30s)) << path << History().toStdString();
        EXPECT_EQ(errors_[0], QStringLiteral("File Error\n") + QString::fromUtf8(Station::kUnplayableReason));
        ExpectIdleAfter(errors_[0]);
    }
    {
        std::vector<std::unique_ptr<PortHolder>> holders;
        for (int channel = wire::kFirstChannel; channel <= wire::kLastChannel; ++channel) {
            holders.push_back(std::make_unique<PortHolder>(wire::DataPort(channel)));
            ASSERT_TRUE(holders.back()->ok());
        }
        station_->Play({Media("short.mpg")});
        ExpectIdleAfter(QStringLiteral("没有空闲的频道."));
    }
    {
        // The data port is free, so the probe picks the channel, but its
        // control port is taken: the station cannot tune in, and the
        // broadcast is gone before the user is told.
        PortHolder control(wire::ControlPort(wire::kFirstChannel));
        ASSERT_TRUE(control.ok());
        station_->Play({Media("short.mpg")});
        ExpectIdleAfter(QStringLiteral("Kinoverd 初始化失败!"));
    }
    station_->Play({Media("short.mpg")});
    EXPECT_TRUE(RunUntilPlaying());
    EXPECT_TRUE(RunUntilTheEnd(60s));
    EXPECT_TRUE(errors_.isEmpty());
}

constexpr int kWatchedChannel = 2;

TEST_F(StationTest, WatchingAnotherStationFollowsItsRestartsUntilItCloses)
{
    station_->Watch(kWatchedChannel);
    EXPECT_EQ(status(), Station::kConnectText);
    EXPECT_TRUE(station_->watching());
    EXPECT_EQ(station_->broadcaster(), nullptr);
    auto cast = [](const char* file) {
        auto sender = std::make_unique<Broadcaster>(Media(file).toStdString(), kWatchedChannel,
                                                    wire::kBlockSize, nullptr);
        EXPECT_TRUE(sender->Start(0)) << sender->error();
        sender->Run();
        return sender;
    };
    auto sender = cast("demo.mpg");
    ASSERT_TRUE(RunUntilPlaying());

    // A restart tears the picture down; reception goes on and the next
    // broadcast on the channel plays.
    sender->StopAndRestart();
    ASSERT_TRUE(RunUntil([this] { return !picture_playing_; }, 5s));
    EXPECT_EQ(position_, 0);
    sender = cast("short.mpg");
    ASSERT_TRUE(RunUntilPlaying());

    // A close ends reception: what is broadcast afterwards is not played.
    sender->StopAndClose();
    ASSERT_TRUE(RunUntil([this] { return !picture_playing_; }, 5s));
    sender = cast("short.mpg");
    RunFor(4s);
    EXPECT_FALSE(picture_playing_);
    EXPECT_EQ(played_.size(), 2);
    sender->StopQuietly();
    EXPECT_EQ(probes_, 0);
}

// Replaces the programme while the end of the stream playing waits in the
// station's queue. The end follows the broadcast's last packet, so from the
// first event handed to the station once that packet was sent, the station
// is held (the graph plays on meanwhile) until the end is queued, and then
// given the new programme.
class ReplaceAtTheEnd : public QObject {
public:
    ReplaceAtTheEnd(Station& station, QStringList files) : station_(station), files_(std::move(files))
    {
        QObject::connect(
            &station, &Station::streamEventQueued, &station,
            [this](int event, quint64) {
                if (event == Station::kEndOfStream) end_queued_ = true;
            },
            Qt::DirectConnection);
        station.installEventFilter(this);
    }
    bool replaced() const { return replaced_; }
    bool end_was_waiting() const { return end_was_waiting_; }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        // Gone once the station has heard that the whole stream went out.
        const Broadcaster* broadcaster = station_.broadcaster();
        const bool all_sent = !broadcaster || broadcaster->sent_position() >= broadcaster->stream_length();
        if (event->type() != QEvent::MetaCall || replaced_ || !all_sent) return false;
        end_was_waiting_ = WaitUntil([this] { return end_queued_.load(); }, 10s);
        replaced_ = true;
        station_.Play(files_);
        return false;
    }

private:
    Station& station_;
    const QStringList files_;
    std::atomic<bool> end_queued_{false};
    bool replaced_ = false;
    bool end_was_waiting_ = false;
};

TEST_F(StationTest, NothingOfAReplacedProgrammeActsOnTheNewOne)
{
    station_->Play({Media("demo.mpg")});
    ASSERT_TRUE(RunUntilPlaying());
    // Replaced while playing: the old broadcast's close packets go out after
    // this station stopped listening, and never end the new programme.
    station_->Play({Media("short.mpg")});
    EXPECT_EQ(media_.back(), Media("short.mpg"));
    ASSERT_TRUE(RunUntilPlaying()) << History().toStdString();

    // Replaced with the old one's end on its way: the new list's first file
    // still plays.
    const QStringList files{Media("short.dat"), Media("short.mpg")};
    ReplaceAtTheEnd replace(*station_, files);
    ASSERT_TRUE(RunUntil([&] { return replace.replaced(); }, 30s)) << History().toStdString();
    EXPECT_TRUE(replace.end_was_waiting());
    ASSERT_TRUE(RunUntilTheEnd(60s)) << History().toStdString();
    EXPECT_EQ(played_, (QStringList{Media("demo.mpg"), Media("short.mpg"), files[0], files[1]}));
    EXPECT_EQ(media_.mid(media_.size() - 3), (QStringList{files[0], files[1], Station::kNoMediaText}));
    EXPECT_EQ(probes_, 3);
    EXPECT_TRUE(errors_.isEmpty());
}

}  // namespace
}  // namespace kinoverd::test
