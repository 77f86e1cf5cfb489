// SPDX-License-Identifier: GPL-3.0-or-later
// The survey of the channels on a private network: a broadcast shows as on
// the air with its sender and progress, the other channels as idle, and the
// survey itself sends nothing.
#include "broadcast/channel_survey.h"

#include <gtest/gtest.h>

#include <thread>

#include "broadcast/broadcaster.h"
#include "tests/support/test_streams.h"

namespace kinoverd {
namespace {

TEST(ChannelSurveyTest, ABroadcastIsOnTheAirWithItsSenderAndProgressTheRestIdle)
{
    test::TempDir dir;
    const std::string path = dir.File("stream.mpg");
    ASSERT_TRUE(test::WriteBytes(path, test::MpegLikeStream(3 * 1024 * 1024, 5)));
    Broadcaster broadcaster(path, 2, wire::kBlockSize, nullptr);
    ASSERT_TRUE(broadcaster.Start(0));
    broadcaster.Run();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));

    const ChannelStates states = ChannelSurvey(wire::kBlockSize).Listen();
    broadcaster.StopQuietly();
    for (int channel : {0, 1, 3}) EXPECT_FALSE(states[channel].on_air) << channel;
    ASSERT_TRUE(states[2].on_air);
    EXPECT_FALSE(states[2].sender.empty());
    ASSERT_TRUE(states[2].progress_percent);
    EXPECT_GE(*states[2].progress_percent, 1);
    EXPECT_LE(*states[2].progress_percent, 20);
}

}  // namespace
}  // namespace kinoverd
