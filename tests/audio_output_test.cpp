// SPDX-License-Identifier: GPL-3.0-or-later
// The audio decoder stage's output choice, heard at a real audio output: a
// bilingual clip (440 Hz on the left, 1000 Hz on the right) played from the
// network into a PulseAudio null sink, whose monitor is recorded.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QTimer>

#include <cmath>
#include <memory>
#include <vector>

#include "broadcast/broadcaster.h"
#include "playback/audio_channel_stage.h"
#include "playback/audio_decoder_pages_dialog.h"
#include "playback/video_renderer.h"
#include "station/station.h"
#include "tests/support/pulse_null_output.h"
#include "tests/support/recorded_broadcast_ends.h"
#include "tests/support/run_events_until.h"

namespace kinoverd::test {
namespace {

// Strength of one frequency in one channel of interleaved stereo (Goertzel).
double ToneLevel(const std::vector<int16_t>& samples, int channel, double frequency)
{
    const double step = 2 * M_PI * frequency / PulseNullOutput::kRecordRate;
    const double coefficient = 2 * std::cos(step);
    double previous = 0, before_previous = 0;
    size_t count = 0;
    for (size_t i = size_t(channel); i < samples.size(); i += 2, ++count) {
        const double current = samples[i] + coefficient * previous - before_previous;
        before_previous = previous;
        previous = current;
    }
    if (count == 0) return 0;
    const double power = previous * previous + before_previous * before_previous -
                         coefficient * previous * before_previous;
    return std::sqrt(std::max(power, 0.0)) / double(count);
}

struct Heard {
    double left_440, left_1000, right_440, right_1000;
};

TEST(AudioChannelStage, AppliesTheChoiceToStereoSamples)
{
    const std::vector<int16_t> stereo = {100, -200, 32767, 32767, -32768, -32768};
    auto with = [&](AudioOutput output) {
        std::vector<int16_t> samples = stereo;
        AudioChannelStage::Apply(output, samples.data(), samples.size() / 2);
        return samples;
    };
    EXPECT_EQ(with(AudioOutput::kStereo), stereo);
    EXPECT_EQ(with(AudioOutput::kLeftOnBoth), (std::vector<int16_t>{100, 100, 32767, 32767, -32768, -32768}));
    EXPECT_EQ(with(AudioOutput::kRightOnBoth), (std::vector<int16_t>{-200, -200, 32767, 32767, -32768, -32768}));
    // The mix never overflows.
    EXPECT_EQ(with(AudioOutput::kMonoMix), (std::vector<int16_t>{-50, -50, 32767, 32767, -32768, -32768}));
}

TEST(AudioDecoderPages, TheFilterDialogSetsTheOutputAtOnce)
{
    std::atomic<AudioOutput> output{AudioOutput::kStereo};
    AudioDecoderPagesDialog dialog(output, nullptr);
    EXPECT_EQ(dialog.windowTitle(), "Filter");
    EXPECT_TRUE(dialog.button(AudioOutput::kStereo)->isChecked());
    dialog.button(AudioOutput::kRightOnBoth)->click();
    EXPECT_EQ(output.load(), AudioOutput::kRightOnBoth);
    dialog.button(AudioOutput::kMonoMix)->click();
    EXPECT_EQ(output.load(), AudioOutput::kMonoMix);

    // A dialog opened later starts from the current choice.
    AudioDecoderPagesDialog again(output, nullptr);
    EXPECT_TRUE(again.button(AudioOutput::kMonoMix)->isChecked());
}

TEST(AudioDecoderPages, WithoutAGraphNothingOpens)
{
    Station station;
    bool opened = false;
    QTimer::singleShot(200, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            opened = true;
            modal->close();
        }
    });
    station.ShowAudioChannelDialog();
    RunEventsFor(std::chrono::milliseconds(300));
    EXPECT_FALSE(opened);
}

TEST(AudioOutput, TheChoiceChangesWhatReachesTheSpeakers)
{
    PulseNullOutput& output = PulseNullOutput::Shared();
    ASSERT_TRUE(output.running()) << output.error();

    // A station watches what the test's sender broadcasts.
    QWidget place;
    RecordedBroadcastEnds sender_ends;
    Station station;
    station.SetPicturePlace(&place, QRect(0, 0, 352, 288));
    station.Watch(0);
    ASSERT_TRUE(station.watching());
    Broadcaster sender(std::string(KINOVERD_TEST_MEDIA_DIR) + "/bilingual.mpg", 0, 2048, &sender_ends);
    ASSERT_TRUE(sender.Start(0));
    sender.Run();
    ASSERT_TRUE(RunEventsUntil(
        [&] {
            const auto* renderer = place.findChild<VideoRenderer*>();
            return renderer && renderer->frames_presented() > 5;
        },
        std::chrono::seconds(20)));

    auto listen = [&](AudioOutput choice) {
        station.graphs().set_audio_output(choice);
        // Let what was already queued for the speakers play out.
        RunEventsFor(std::chrono::milliseconds(600));
        EXPECT_TRUE(output.StartRecording());
        RunEventsFor(std::chrono::milliseconds(1000));
        const std::vector<int16_t> samples = output.StopRecording();
        return Heard{ToneLevel(samples, 0, 440), ToneLevel(samples, 0, 1000),
                     ToneLevel(samples, 1, 440), ToneLevel(samples, 1, 1000)};
    };

    const Heard stereo = listen(AudioOutput::kStereo);
    EXPECT_GT(stereo.left_440, 10 * stereo.left_1000);
    EXPECT_GT(stereo.right_1000, 10 * stereo.right_440);

    const Heard left = listen(AudioOutput::kLeftOnBoth);
    EXPECT_GT(left.left_440, 10 * left.left_1000);
    EXPECT_GT(left.right_440, 10 * left.right_1000);

    const Heard right = listen(AudioOutput::kRightOnBoth);
    EXPECT_GT(right.left_1000, 10 * right.left_440);
    EXPECT_GT(right.right_1000, 10 * right.right_440);

    const Heard mono = listen(AudioOutput::kMonoMix);
    EXPECT_GT(mono.left_440, 0.2 * stereo.left_440);
    EXPECT_GT(mono.left_1000, 0.2 * stereo.right_1000);
    EXPECT_NEAR(mono.left_440, mono.right_440, 0.1 * mono.left_440);
    EXPECT_NEAR(mono.left_1000, mono.right_1000, 0.1 * mono.left_1000);
    sender.StopQuietly();
}

}  // namespace
}  // namespace kinoverd::test
