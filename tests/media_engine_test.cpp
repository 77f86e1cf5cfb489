// The playback engine end to end: a broadcast on the private loopback network,
// received by the controller and played through a real GStreamer pipeline
// into the renderer.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "broadcast/broadcaster.h"
#include "broadcast/notify_target.h"
#include "playback/video_renderer.h"
#include "tests/support/child_process.h"
#include "tests/support/playback_host.h"
#include "tests/support/recorded_notify.h"
#include "tests/support/test_streams.h"

namespace kinoverd::test {
namespace {

const std::string kMedia = KINOVERD_TEST_MEDIA_DIR;

struct Station {
    PlaybackHost host;
    RecordedNotify sender_notify;
    std::unique_ptr<Broadcaster> sender;

    // Casts `file` on channel 0 and tunes in, holding the sender when the
    // ring is nearly full, as the main window does.
    bool Cast(const std::string& file)
    {
        host.on_ring_nearly_full = [this] {
            if (sender) sender->HoldSendFor500ms();
        };
        if (!host.Tune(0)) {
            ADD_FAILURE() << "cannot tune in";
            return false;
        }
        sender = std::make_unique<Broadcaster>(file, 0, 2048, &sender_notify);
        if (!sender->Start(0)) {
            ADD_FAILURE() << file << ": " << sender->error();
            return false;
        }
        sender->Run();
        return true;
    }
    bool RunUntilMessage(int message, std::chrono::seconds timeout)
    {
        return host.RunUntil([&] { return host.Count(message) > 0; }, timeout);
    }
};

// Positions reported while one graph plays never go backwards.
void ExpectPositionsInOrder(const PlaybackHost& host)
{
    uintptr_t last = 0;
    for (const auto& r : host.received()) {
        if (r.message == kMsgRingHalfFull) last = 0;
        if (r.message != kMsgPosition) continue;
        EXPECT_GE(r.wparam, last);
        last = r.wparam;
    }
}

// Underruns between the graph's start and the end of the stream.
int UnderrunsWhilePlaying(const PlaybackHost& host)
{
    bool playing = false;
    int underruns = 0;
    for (const auto& r : host.received()) {
        if (r.message == kMsgRingHalfFull) playing = true;
        if (r.message == kMsgEndOfStream) playing = false;
        if (playing && r.message == kMsgRingEmpty) ++underruns;
    }
    return underruns;
}

TEST(MediaEngine, PlainFilePlaysFramesInOrderToTheEnd)
{
    Station station;
    ASSERT_TRUE(station.Cast(kMedia + "/demo.mpg"));
    ASSERT_TRUE(station.RunUntilMessage(kMsgEndOfStream, std::chrono::seconds(40)));
    EXPECT_EQ(station.host.Count(kMsgRingHalfFull), 1);
    EXPECT_EQ(station.host.builds(), 1);
    EXPECT_EQ(station.host.failed_builds(), 0);
    EXPECT_EQ(station.host.Count(kMsgGraphFailed), 0);
    // 10 s at 25 frames per second, less the head dropped by the start search.
    EXPECT_GT(station.host.frames(), 150);
    EXPECT_GT(station.host.Count(kMsgPosition), 100);
    ExpectPositionsInOrder(station.host);
    EXPECT_EQ(UnderrunsWhilePlaying(station.host), 0);
    // The end tears the graph down; reception goes on.
    EXPECT_EQ(station.host.renderer(), nullptr);
}

TEST(MediaEngine, VideoCdTrackPlays)
{
    Station station;
    ASSERT_TRUE(station.Cast(kMedia + "/demo.dat"));
    ASSERT_TRUE(station.RunUntilMessage(kMsgEndOfStream, std::chrono::seconds(40)));
    EXPECT_EQ(station.host.failed_builds(), 0);
    EXPECT_GT(station.host.frames(), 150);
    ExpectPositionsInOrder(station.host);
}

TEST(MediaEngine, RestartTearsDownAndTheNextStreamRebuilds)
{
    Station station;
    ASSERT_TRUE(station.Cast(kMedia + "/demo.mpg"));
    ASSERT_TRUE(station.host.RunUntil([&] { return station.host.frames() > 10; },
                                      std::chrono::seconds(20)));
    station.sender->StopAndRestart();
    ASSERT_TRUE(station.RunUntilMessage(kMsgRestart, std::chrono::seconds(5)));
    EXPECT_EQ(station.host.renderer(), nullptr);

    station.sender = std::make_unique<Broadcaster>(kMedia + "/short.mpg", 0, 2048,
                                                   &station.sender_notify);
    ASSERT_TRUE(station.sender->Start(0));
    station.sender->Run();
    ASSERT_TRUE(station.host.RunUntil([&] { return station.host.builds() == 2; },
                                      std::chrono::seconds(20)));
    EXPECT_EQ(station.host.failed_builds(), 0);
    ASSERT_TRUE(station.RunUntilMessage(kMsgEndOfStream, std::chrono::seconds(30)));
}

TEST(MediaEngine, CloseStopsReception)
{
    Station station;
    ASSERT_TRUE(station.Cast(kMedia + "/demo.mpg"));
    ASSERT_TRUE(station.host.RunUntil([&] { return station.host.frames() > 10; },
                                      std::chrono::seconds(20)));
    station.sender->StopAndClose();
    ASSERT_TRUE(station.RunUntilMessage(kMsgClose, std::chrono::seconds(5)));
    EXPECT_EQ(station.host.renderer(), nullptr);
    // A new broadcast on the channel is no longer heard.
    station.sender = std::make_unique<Broadcaster>(kMedia + "/short.mpg", 0, 2048,
                                                   &station.sender_notify);
    ASSERT_TRUE(station.sender->Start(0));
    station.sender->Run();
    EXPECT_FALSE(station.host.RunUntil([&] { return station.host.builds() == 2; },
                                       std::chrono::seconds(4)));
}

TEST(MediaEngine, SixtySecondClipFromTheCasterPlaysSteadily)
{
    PlaybackHost host;
    ASSERT_TRUE(host.Tune(0));
    ChildProcess cast(KINOVERD_CAST_PATH, {"--channel", "0", kMedia + "/long.mpg"});
    ASSERT_TRUE(cast.started());
    ASSERT_TRUE(host.RunUntil([&] { return host.Count(kMsgEndOfStream) > 0; },
                              std::chrono::seconds(90)));
    EXPECT_EQ(host.builds(), 1);
    EXPECT_EQ(host.failed_builds(), 0);
    EXPECT_EQ(UnderrunsWhilePlaying(host), 0);
    EXPECT_GT(host.frames(), 1300);
    ExpectPositionsInOrder(host);
    EXPECT_EQ(cast.WaitForExit(std::chrono::seconds(10)), 0);
}

std::vector<uint8_t> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A station stays usable after bad input: the next good stream plays.
void ExpectAGoodStreamPlaysAfterwards(Station& station)
{
    station.sender = std::make_unique<Broadcaster>(kMedia + "/demo.mpg", 0, 2048,
                                                   &station.sender_notify);
    ASSERT_TRUE(station.sender->Start(0));
    station.sender->Run();
    const int frames = station.host.frames();
    EXPECT_TRUE(station.host.RunUntil([&] { return station.host.frames() > frames + 50; },
                                      std::chrono::seconds(30)));
}

// Casts `bytes` and waits until its broadcast is over (the end packet has
// gone out and been played or dropped).
void CastBytesToTheEnd(Station& station, const std::vector<uint8_t>& bytes)
{
    TempDir dir;
    const std::string file = dir.File("input.mpg");
    ASSERT_TRUE(WriteBytes(file, bytes));
    ASSERT_TRUE(station.Cast(file));
    const auto seconds = std::chrono::seconds(5 + bytes.size() / 2048 * 6 / 1000);
    station.host.RunUntil([&] { return station.sender->sent_position() >= bytes.size(); },
                          seconds + std::chrono::seconds(20));
    station.host.RunUntil([] { return false; }, std::chrono::seconds(3));
    station.sender->StopQuietly();
}

TEST(MediaEngine, GarbageBlocksSplicedIntoAStreamDoNotStopPlayback)
{
    std::vector<uint8_t> clip = ReadFile(kMedia + "/demo.mpg");
    std::mt19937 random(7);
    for (size_t at = 200 * 1024; at + 4096 < clip.size(); at += 150 * 1024)
        for (size_t i = 0; i < 4096; ++i) clip[at + i] = uint8_t(random());
    Station station;
    CastBytesToTheEnd(station, clip);
    EXPECT_GT(station.host.frames(), 100);
    ExpectAGoodStreamPlaysAfterwards(station);
}

TEST(MediaEngine, AStreamWithoutAudioPlaysItsPicture)
{
    Station station;
    ASSERT_TRUE(station.Cast(kMedia + "/silent.mpg"));
    ASSERT_TRUE(station.RunUntilMessage(kMsgEndOfStream, std::chrono::seconds(30)));
    EXPECT_EQ(station.host.failed_builds(), 0);
    EXPECT_GT(station.host.frames(), 60);
}

TEST(MediaEngine, AStreamOfZerosOrNoiseNeverBuildsAndLeavesTheStationUsable)
{
    // One real pack, so that the sender takes it for a stream, then zeros.
    std::vector<uint8_t> zeros = ReadFile(kMedia + "/demo.mpg");
    zeros.resize(1024 * 1024);
    std::fill(zeros.begin() + 2324, zeros.end(), 0);
    {
        Station station;
        CastBytesToTheEnd(station, zeros);
        EXPECT_EQ(station.host.frames(), 0);
        ExpectAGoodStreamPlaysAfterwards(station);
    }
    // One station at a time: a second one here could not tune in.
    Station noisy;
    CastBytesToTheEnd(noisy, MpegLikeStream(1024 * 1024, 3));
    EXPECT_EQ(noisy.host.frames(), 0);
    ExpectAGoodStreamPlaysAfterwards(noisy);
}

}  // namespace
}  // namespace kinoverd::test
