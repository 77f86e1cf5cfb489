// SPDX-License-Identifier: GPL-3.0-or-later
// The playback engine end to end: a broadcast on the private loopback network,
// watched by a real station, which receives it and plays it through a real
// GStreamer pipeline into the renderer at its picture place.
#include <gtest/gtest.h>

#include <QWidget>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "broadcast/broadcaster.h"
#include "playback/video_renderer.h"
#include "station/station.h"
#include "tests/support/child_process.h"
#include "tests/support/frame_count.h"
#include "tests/support/recorded_broadcast_ends.h"
#include "tests/support/run_events_until.h"
#include "tests/support/test_streams.h"

namespace kinoverd::test {
namespace {

using std::chrono::seconds;

const std::string kMedia = KINOVERD_TEST_MEDIA_DIR;

// A station watching channel 0 with a plain widget as its picture place,
// what its user sees there (pictures starting, their frames, the positions
// shown, "the end"), and a sender of the test's own on the channel.
// All on the test's thread.
class Watching {
public:
    Watching()
    {
        place_.resize(485, 360);
        station.SetPicturePlace(&place_, QRect(54, 29, 378, 303));
        QObject::connect(&station, &Station::pictureChanged, &place_, [this](bool playing) {
            picture_playing_ = playing;
            if (!playing) return;
            ++pictures_;
            last_position_ = 0;
            QObject::connect(renderer(), &VideoRenderer::framePresented, &place_, [this] { ++frames_; });
        });
        QObject::connect(&station, &Station::positionChanged, &place_, [this](int percent) {
            if (!picture_playing_) return;
            ++positions_;
            positions_backwards_ += percent < last_position_;
            last_position_ = percent;
        });
        QObject::connect(&station, &Station::statusChanged, &place_,
                         [this](const QString& text) { ended_ = ended_ || text == Station::kTheEndText; });
        station.Watch(0);
        EXPECT_TRUE(station.watching()) << "cannot tune in";
    }

    // Broadcasts `file` on channel 0 from `offset` on, replacing the
    // sender's last broadcast.
    bool Send(const std::string& file, uint32_t offset = 0)
    {
        sender = std::make_unique<Broadcaster>(file, 0, 2048, &sender_ends_);
        if (!sender->Start(offset)) {
            ADD_FAILURE() << file << ": " << sender->error();
            return false;
        }
        sender->Run();
        return true;
    }

    bool RunUntilTheEnd(seconds timeout)
    {
        return RunEventsUntil([&] { return ended_; }, timeout);
    }
    bool RunUntilFrames(int count, seconds timeout)
    {
        return RunEventsUntil([&] { return frames_ >= count; }, timeout);
    }

    VideoRenderer* renderer() const { return place_.findChild<VideoRenderer*>(); }
    bool picture_playing() const { return picture_playing_; }
    int pictures() const { return pictures_; }
    // Frames shown by every picture so far, including stopped ones.
    int frames() const { return frames_; }
    int positions() const { return positions_; }
    // Positions shown below the one before while one picture played.
    int positions_backwards() const { return positions_backwards_; }

private:
    // Declared before the station, which reports to them until it goes.
    QWidget place_;  // the station's graphs draw on it
    RecordedBroadcastEnds sender_ends_;
    bool picture_playing_ = false;
    bool ended_ = false;
    int pictures_ = 0;
    int frames_ = 0;
    int positions_ = 0;
    int positions_backwards_ = 0;
    int last_position_ = 0;

public:
    Station station;
    std::unique_ptr<Broadcaster> sender;
};

TEST(MediaEngine, PlainFileAndVideoCdTrackPlayFramesInOrderToTheEnd)
{
    for (const char* file : {"/demo.mpg", "/demo.dat"}) {
        SCOPED_TRACE(file);
        Watching watching;
        ASSERT_TRUE(watching.Send(kMedia + file));
        ASSERT_TRUE(watching.RunUntilTheEnd(seconds(40)));
        EXPECT_EQ(watching.pictures(), 1);
        // 10 s at 25 frames per second; the position shown ten times a second.
        EXPECT_GT(watching.frames(), 150);
        EXPECT_GT(watching.positions(), 50);
        EXPECT_EQ(watching.positions_backwards(), 0);
        EXPECT_EQ(watching.station.underruns(), 0);
        // The end takes the picture away; reception goes on.
        EXPECT_EQ(watching.renderer(), nullptr);
    }
}

TEST(MediaEngine, RestartTearsDownAndTheNextStreamRebuilds)
{
    Watching watching;
    ASSERT_TRUE(watching.Send(kMedia + "/demo.mpg"));
    ASSERT_TRUE(watching.RunUntilFrames(10, seconds(20)));
    watching.sender->StopAndRestart();
    ASSERT_TRUE(RunEventsUntil([&] { return !watching.picture_playing(); }, seconds(5)));
    EXPECT_EQ(watching.renderer(), nullptr);

    ASSERT_TRUE(watching.Send(kMedia + "/short.mpg"));
    ASSERT_TRUE(RunEventsUntil([&] { return watching.pictures() == 2; }, seconds(20)));
    ASSERT_TRUE(watching.RunUntilTheEnd(seconds(30)));
}

TEST(MediaEngine, CloseStopsReception)
{
    Watching watching;
    ASSERT_TRUE(watching.Send(kMedia + "/demo.mpg"));
    ASSERT_TRUE(watching.RunUntilFrames(10, seconds(20)));
    watching.sender->StopAndClose();
    ASSERT_TRUE(RunEventsUntil([&] { return !watching.picture_playing(); }, seconds(5)));
    EXPECT_EQ(watching.renderer(), nullptr);
    // A new broadcast on the channel is no longer heard.
    ASSERT_TRUE(watching.Send(kMedia + "/short.mpg"));
    EXPECT_FALSE(RunEventsUntil([&] { return watching.pictures() == 2; }, seconds(4)));
}

TEST(MediaEngine, SixtySecondClipFromTheCasterPlaysSteadily)
{
    Watching watching;
    ChildProcess cast(KINOVERD_CAST_PATH, {"--channel", "0", kMedia + "/long.mpg"});
    ASSERT_TRUE(cast.started());
    ASSERT_TRUE(watching.RunUntilTheEnd(seconds(90)));
    EXPECT_EQ(watching.pictures(), 1);
    EXPECT_EQ(watching.station.underruns(), 0);
    EXPECT_GT(watching.frames(), 1300);
    EXPECT_EQ(watching.positions_backwards(), 0);
    EXPECT_EQ(cast.WaitForExit(seconds(10)), 0);
}

std::vector<uint8_t> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Pictures ffprobe decodes from `bytes` of an MPEG stream; -1 when it cannot tell.
int FramesIn(const std::vector<uint8_t>& bytes)
{
    TempDir dir;
    const std::string file = dir.File("part.mpg");
    return WriteBytes(file, bytes) ? FramesInFile(file) : -1;
}

// Joining a programme halfway, the station plays every picture from the
// first it can decode on: none is dropped as lying before the time the
// demuxer guesses for the join's byte position.
TEST(MediaEngine, ALateJoinPlaysEveryPictureFromTheFirstItCanDecode)
{
    // Far into a long clip, where a guess from the stream's head is seconds off.
    const std::vector<uint8_t> clip = ReadFile(kMedia + "/long.mpg");
    const uint32_t join = uint32_t(clip.size() / 5 * 4 / 2048 * 2048);
    const int expected = FramesIn({clip.begin() + join + wire::kHeaderBytes, clip.end()});
    ASSERT_GT(expected, 50);
    Watching watching;
    ASSERT_TRUE(watching.Send(kMedia + "/long.mpg", join));
    ASSERT_TRUE(watching.RunUntilTheEnd(seconds(30)));
    EXPECT_GE(watching.frames(), expected - 3);
}

// A station stays usable after bad input: the next good stream plays.
void ExpectAGoodStreamPlaysAfterwards(Watching& watching)
{
    ASSERT_TRUE(watching.Send(kMedia + "/demo.mpg"));
    EXPECT_TRUE(watching.RunUntilFrames(watching.frames() + 50, seconds(30)));
}

// Broadcasts `bytes` and waits until the broadcast is over (the end packet
// has gone out and been played or dropped).
void SendBytesToTheEnd(Watching& watching, const std::vector<uint8_t>& bytes)
{
    TempDir dir;
    const std::string file = dir.File("input.mpg");
    ASSERT_TRUE(WriteBytes(file, bytes));
    ASSERT_TRUE(watching.Send(file));
    const auto sending = seconds(5 + bytes.size() / 2048 * 6 / 1000);
    RunEventsUntil([&] { return watching.sender->sent_position() >= bytes.size(); },
                   sending + seconds(20));
    RunEventsFor(seconds(3));
    watching.sender->StopQuietly();
}

TEST(MediaEngine, GarbageBlocksSplicedIntoAStreamDoNotStopPlayback)
{
    std::vector<uint8_t> clip = ReadFile(kMedia + "/demo.mpg");
    std::mt19937 random(7);
    for (size_t at = 200 * 1024; at + 4096 < clip.size(); at += 150 * 1024)
        for (size_t i = 0; i < 4096; ++i) clip[at + i] = uint8_t(random());
    Watching watching;
    SendBytesToTheEnd(watching, clip);
    EXPECT_GT(watching.frames(), 100);
    ExpectAGoodStreamPlaysAfterwards(watching);
}

TEST(MediaEngine, AStreamWithoutAudioPlaysItsPicture)
{
    Watching watching;
    ASSERT_TRUE(watching.Send(kMedia + "/silent.mpg"));
    ASSERT_TRUE(watching.RunUntilTheEnd(seconds(30)));
    EXPECT_EQ(watching.pictures(), 1);
    EXPECT_GT(watching.frames(), 60);
}

TEST(MediaEngine, AStreamOfZerosOrNoiseNeverBuildsAndLeavesTheStationUsable)
{
    // One real pack, so that the sender takes it for a stream, then zeros.
    std::vector<uint8_t> zeros = ReadFile(kMedia + "/demo.mpg");
    zeros.resize(1024 * 1024);
    std::fill(zeros.begin() + 2324, zeros.end(), 0);
    {
        Watching watching;
        SendBytesToTheEnd(watching, zeros);
        EXPECT_EQ(watching.frames(), 0);
        ExpectAGoodStreamPlaysAfterwards(watching);
    }
    // One station at a time: a second one here could not tune in.
    Watching noisy;
    SendBytesToTheEnd(noisy, MpegLikeStream(1024 * 1024, 3));
    EXPECT_EQ(noisy.frames(), 0);
    ExpectAGoodStreamPlaysAfterwards(noisy);
}

}  // namespace
}  // namespace kinoverd::test
