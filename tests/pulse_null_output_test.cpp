// SPDX-License-Identifier: GPL-3.0-or-later
// The audio output fixture itself: what ALSA's "default" PCM plays arrives
// in the recording, channel by channel, and the sink's controls answer.
#include "tests/support/pulse_null_output.h"

#include <alsa/asoundlib.h>
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <optional>
#include <vector>

namespace kinoverd::test {
namespace {

constexpr int kFull = PulseNullOutput::kFullVolume;

PulseNullOutput& Output() { return PulseNullOutput::Shared(); }

// Plays `seconds` of a 440 Hz tone through ALSA's default PCM, on the left
// channel only; true when every frame was written and drained.
bool PlayLeftTone(double seconds)
{
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, 0) < 0) return false;
    bool played = snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, 2,
                                     PulseNullOutput::kRecordRate, 1, 100000) == 0;
    const int frames = int(seconds * PulseNullOutput::kRecordRate);
    std::vector<int16_t> samples(size_t(frames) * 2, 0);
    for (int i = 0; i < frames; ++i) {
        samples[size_t(i) * 2] = int16_t(10000 * std::sin(2 * std::numbers::pi * 440 * i / PulseNullOutput::kRecordRate));
    }
    for (int written = 0; played && written < frames;) {
        const snd_pcm_sframes_t n = snd_pcm_writei(pcm, &samples[size_t(written) * 2], snd_pcm_uframes_t(frames - written));
        if (n < 0) {
            played = snd_pcm_recover(pcm, int(n), 0) == 0;
        } else {
            written += int(n);
        }
    }
    if (played) played = snd_pcm_drain(pcm) == 0;
    snd_pcm_close(pcm);
    return played;
}

class PulseNullOutputTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Output().running()) << Output().error();
        ASSERT_TRUE(Output().SetSinkVolume({kFull, kFull}));
        ASSERT_TRUE(Output().SetSinkMuted(false));
    }
};

TEST_F(PulseNullOutputTest, SinkControlsReadBackWhatWasSet)
{
    ASSERT_TRUE(Output().SetSinkVolume({1000, 50000}));
    EXPECT_EQ(Output().SinkVolume(), (std::vector<int>{1000, 50000}));
    ASSERT_TRUE(Output().SetSinkMuted(true));
    EXPECT_EQ(Output().SinkMuted(), std::optional<bool>(true));
}

TEST_F(PulseNullOutputTest, RecordsWhatTheDefaultPcmPlaysPerChannel)
{
    ASSERT_TRUE(Output().StartRecording());
    ASSERT_TRUE(PlayLeftTone(0.5));
    const std::vector<int16_t> samples = Output().StopRecording();

    ASSERT_GE(samples.size(), size_t(PulseNullOutput::kRecordRate));  // at least the half second, stereo
    // A full-scale 10000 sine has an RMS of about 7071; the recording also
    // holds silence before and after it.
    EXPECT_GT(PulseNullOutput::ChannelRms(samples, 0), 1000);
    EXPECT_LT(PulseNullOutput::ChannelRms(samples, 1), 50);
}

TEST_F(PulseNullOutputTest, AMutedSinkRecordsSilence)
{
    ASSERT_TRUE(Output().SetSinkMuted(true));
    ASSERT_TRUE(Output().StartRecording());
    ASSERT_TRUE(PlayLeftTone(0.3));
    const std::vector<int16_t> samples = Output().StopRecording();

    ASSERT_FALSE(samples.empty());
    EXPECT_LT(PulseNullOutput::ChannelRms(samples, 0), 50);
}

}  // namespace
}  // namespace kinoverd::test
