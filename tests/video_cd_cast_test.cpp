// SPDX-License-Identifier: GPL-3.0-or-later
// kinoverd-cast broadcasting a Video CD image made by vcdimager, and
// kinoverd-tune receiving it, both run as a user would.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "broadcast/broadcaster.h"
#include "broadcast/sector_source.h"
#include "broadcast/wire_format.h"
#include "disc/disc_track.h"
#include "tests/support/child_process.h"
#include "tests/support/recorded_broadcast_ends.h"
#include "tests/support/test_streams.h"

namespace kinoverd {
namespace {

using namespace std::chrono_literals;
using test::ChildProcess;
using test::TempDir;
using testing::HasSubstr;
using Bytes = std::vector<uint8_t>;

constexpr int kChannel = 2;
// The tuner writes the header without its last block, the one whose slot
// the stream-start packet takes (bytes 63,488 to 65,535 of the stream).

std::string Media(const std::string& name) { return std::string(KINOVERD_TEST_MEDIA_DIR) + "/" + name; }

Bytes ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(VideoCdCastTest, EveryTrackIsSentInOrderAndTunedAsVcdxripExtractsIt)
{
    TempDir dir;
    const std::string cue = Media("vcd.cue");
    ChildProcess tune(KINOVERD_TUNE_PATH, {"--channel", std::to_string(kChannel), "--output", dir.File("tuned")});
    ASSERT_TRUE(tune.WaitForError("waiting for a broadcast", 10s)) << tune.err();
    ChildProcess cast(KINOVERD_CAST_PATH, {"--channel", std::to_string(kChannel), cue});
    ASSERT_EQ(tune.WaitForExit(60s), 0) << tune.err();
    ASSERT_EQ(cast.WaitForExit(60s), 0) << cast.err();
    EXPECT_LT(cast.out().find(cue + "#1: "), cast.out().find(cue + "#2: ")) << cast.out();

    // The first track: vcdxrip's MPEG sectors, then the zero sectors of the
    // track's margin.
    const Bytes expected = ReadFile(Media("vcd-avseq01.mpg"));
    ASSERT_GT(expected.size(), wire::kHeaderBytes);
    const Bytes tuned = ReadFile(dir.File("tuned"));
    ASSERT_GE(tuned.size(), expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), tuned.begin()));
    EXPECT_TRUE(std::all_of(tuned.begin() + long(expected.size()), tuned.end(), [](uint8_t b) { return b == 0; }));
}

TEST(VideoCdCastTest, ADamagedImageOrAMissingTrackFailsBeforeAnythingIsSent)
{
    TempDir dir;
    std::filesystem::copy_file(Media("vcd.cue"), dir.File("cut.cue"));
    std::filesystem::copy_file(Media("vcd.bin"), dir.File("cut.bin"));
    std::filesystem::resize_file(dir.File("cut.bin"), 1000 * SectorSource::kSectorBytes);
    const std::string channel = std::to_string(kChannel);
    const struct {
        std::vector<std::string> arguments;
        std::string reason;
    } cases[] = {
        {{"--channel", channel, dir.File("cut.cue")}, "is the image truncated?"},
        {{"--channel", channel, dir.File("gone.cue")}, "No such file or directory"},
        {{"--channel", channel, "--track", "3", Media("vcd.cue")}, "no track 3, only tracks 1 to 2"},
        {{"--channel", channel, Media("vcd.cue") + "#3"}, "no track 3"},
        {{"--channel", channel, Media("demo.mpg"), Media("demo.mpg") + ".cue"}, "No such file"},
    };
    for (const auto& c : cases) {
        ChildProcess cast(KINOVERD_CAST_PATH, c.arguments);
        EXPECT_EQ(cast.WaitForExit(10s), 1);
        EXPECT_THAT(cast.err(), HasSubstr(c.reason));
        EXPECT_EQ(cast.out(), "") << "nothing is sent before every disc is checked";
    }
}

TEST(VideoCdCastTest, ADiscThatFailsMidStreamEndsTheDataAndSaysWhy)
{
    TempDir dir;
    std::filesystem::copy_file(Media("vcd.cue"), dir.File("vcd.cue"));
    std::filesystem::copy_file(Media("vcd.bin"), dir.File("vcd.bin"));
    const DiscTrackOpener tracks;
    test::RecordedBroadcastEnds notify;
    Broadcaster broadcaster(dir.File("vcd.cue") + "#1", kChannel, wire::kBlockSize, &notify, &tracks);
    ASSERT_TRUE(broadcaster.Start(0)) << broadcaster.error();
    // The first track's sectors end at 600 of its 1,271 from here on.
    std::filesystem::resize_file(dir.File("vcd.bin"), 600 * SectorSource::kSectorBytes);
    broadcaster.Run();
    ASSERT_TRUE(notify.WaitFor(30s));
    EXPECT_LT(broadcaster.sent_position(), broadcaster.stream_length());
    EXPECT_THAT(broadcaster.read_error(), HasSubstr("cannot read sectors"));
    broadcaster.StopQuietly();
}

}  // namespace
}  // namespace kinoverd
