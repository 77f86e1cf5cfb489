// SPDX-License-Identifier: GPL-3.0-or-later
// The volume against real mixers: ALSA's "default" card on a private
// PulseAudio daemon's null sink, and ALSA configurations whose default card
// is missing, unreachable or has no playback volume.
#include "playback/mixer_volume.h"

#include <dirent.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QTest>
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/pulse_null_output.h"

namespace kinoverd {
namespace {

using test::PulseNullOutput;
using namespace std::chrono_literals;

constexpr int kFull = PulseNullOutput::kFullVolume;
constexpr int kSignalWaitMs = 5000;

PulseNullOutput& Output() { return PulseNullOutput::Shared(); }

// The values volumeChanged() has announced.
struct Announced {
    explicit Announced(MixerVolume& volume)
    {
        QObject::connect(&volume, &MixerVolume::volumeChanged, &volume,
                         [this](int value) { values.push_back(value); });
    }
    std::vector<int> values;
};

// Runs the event loop, as the main window's would, for a while.
void RunEventLoopFor(std::chrono::milliseconds time) { QTest::qWait(int(time.count())); }

int OpenDescriptorCount()
{
    int count = 0;
    if (DIR* folder = opendir("/proc/self/fd")) {
        while (readdir(folder)) ++count;
        closedir(folder);
    }
    return count;
}

class MixerVolumeTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Output().running()) << Output().error();
        ASSERT_TRUE(Output().SetSinkVolume({kFull, kFull}));
        ASSERT_TRUE(Output().SetSinkMuted(false));
    }
};

// --- The usable path, on the daemon's "Master" element.

TEST_F(MixerVolumeTest, TakesTheRangeOfTheMixerElement)
{
    MixerVolume volume;
    EXPECT_TRUE(volume.IsAvailable());
    EXPECT_EQ(volume.GetMinimum(), 0);
    EXPECT_EQ(volume.GetMaximum(), kFull);
    EXPECT_EQ(volume.GetStepCount(), kFull);
    EXPECT_EQ(volume.GetVolume(), kFull);
}

TEST_F(MixerVolumeTest, SetVolumeReachesTheSinkAndReadsBack)
{
    {
        MixerVolume volume;
        volume.SetVolume(32768);
        EXPECT_EQ(volume.GetVolume(), 32768);
        EXPECT_EQ(Output().SinkVolume(), (std::vector<int>{32768, 32768}));
    }
    MixerVolume reopened;
    EXPECT_EQ(reopened.GetVolume(), 32768);
}

TEST_F(MixerVolumeTest, SetVolumeTakesTheRangeEndsAndIgnoresValuesOutsideIt)
{
    ASSERT_TRUE(Output().SetSinkVolume({1000, 2000}));
    MixerVolume volume;

    volume.SetVolume(kFull + 1);
    volume.SetVolume(-1);
    EXPECT_EQ(Output().SinkVolume(), (std::vector<int>{1000, 2000}));
    EXPECT_EQ(volume.GetVolume(), 1000);

    volume.SetVolume(kFull);
    EXPECT_EQ(Output().SinkVolume(), (std::vector<int>{kFull, kFull}));
    volume.SetVolume(0);
    EXPECT_EQ(Output().SinkVolume(), (std::vector<int>{0, 0}));
    EXPECT_EQ(volume.GetVolume(), 0);
}

TEST_F(MixerVolumeTest, GetVolumeReadsTheFirstChannelOfAStereoElement)
{
    ASSERT_TRUE(Output().SetSinkVolume({20000, 40000}));
    MixerVolume volume;
    EXPECT_EQ(volume.GetVolume(), 20000);
}

TEST_F(MixerVolumeTest, LineOffMutesTheSinkAndLineOnUnmutesIt)
{
    MixerVolume volume;
    volume.LineOff();
    EXPECT_EQ(Output().SinkMuted(), std::optional<bool>(true));
    volume.LineOn();
    EXPECT_EQ(Output().SinkMuted(), std::optional<bool>(false));
    EXPECT_EQ(volume.GetVolume(), kFull);
}

// --- Changes made by another program, delivered by the event loop.

TEST_F(MixerVolumeTest, AChangeMadeElsewhereIsAnnounced)
{
    MixerVolume volume;
    Announced calls(volume);

    ASSERT_TRUE(Output().SetSinkVolume({30000, 30000}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !calls.values.empty(); }, kSignalWaitMs));
    EXPECT_EQ(calls.values, std::vector<int>{30000});
    EXPECT_EQ(volume.GetVolume(), 30000);
}

TEST_F(MixerVolumeTest, ItsOwnChangesAreNotReported)
{
    MixerVolume volume;
    Announced calls(volume);

    volume.SetVolume(30000);
    RunEventLoopFor(300ms);
    ASSERT_TRUE(Output().SetSinkVolume({25000, 25000}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !calls.values.empty(); }, kSignalWaitMs));
    RunEventLoopFor(200ms);
    EXPECT_EQ(calls.values, std::vector<int>{25000});
}

TEST_F(MixerVolumeTest, AChangeOfTheSecondChannelReportsTheFirstChannelsValue)
{
    MixerVolume volume;
    Announced calls(volume);

    ASSERT_TRUE(Output().SetSinkVolume({kFull, 30000}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !calls.values.empty(); }, kSignalWaitMs));
    EXPECT_EQ(calls.values, std::vector<int>{kFull});
}

TEST_F(MixerVolumeTest, ChangesOfOtherControlsAreNotAnnounced)
{
    MixerVolume volume;
    Announced calls(volume);

    // The element's own switch, then the capture side's volume, each
    // handled on its own.
    ASSERT_TRUE(Output().SetSinkMuted(true));
    RunEventLoopFor(300ms);
    ASSERT_TRUE(Output().Pactl({"set-source-volume", std::string(PulseNullOutput::kSinkName) + ".monitor", "20000"}));
    RunEventLoopFor(300ms);
    // Notifications come in order: once this one is in, the others were handled.
    ASSERT_TRUE(Output().SetSinkVolume({25000, 25000}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !calls.values.empty(); }, kSignalWaitMs));
    RunEventLoopFor(200ms);
    EXPECT_EQ(calls.values, std::vector<int>{25000});
}

TEST_F(MixerVolumeTest, UnwatchedChangesAreReadAllTheSame)
{
    MixerVolume volume;
    ASSERT_TRUE(Output().SetSinkVolume({12345, 12345}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return volume.GetVolume() == 12345; }, kSignalWaitMs));
}

TEST_F(MixerVolumeTest, ASlotMayCloseTheVolume)
{
    MixerVolume volume;
    Announced calls(volume);
    QObject::connect(&volume, &MixerVolume::volumeChanged, &volume, [&volume] { volume.Close(); });

    ASSERT_TRUE(Output().SetSinkVolume({30000, 30000}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !calls.values.empty(); }, kSignalWaitMs));
    EXPECT_FALSE(volume.IsAvailable());

    ASSERT_TRUE(Output().SetSinkVolume({20000, 20000}));
    RunEventLoopFor(300ms);
    EXPECT_EQ(calls.values, std::vector<int>{30000});
}

TEST_F(MixerVolumeTest, DestroyingWithANotificationPendingIsSafe)
{
    {
        MixerVolume volume;
        ASSERT_TRUE(Output().SetSinkVolume({30000, 30000}));
        // The notification reaches the mixer's descriptor; no event loop runs.
        std::this_thread::sleep_for(300ms);
    }
    RunEventLoopFor(300ms);  // nothing of the destroyed volume may wake up
}

long CpuMilliseconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
}

TEST_F(MixerVolumeTest, TheSoundServerEndingLeavesItNotUsable)
{
    auto own_output = std::make_unique<PulseNullOutput>();  // a daemon for this test only
    ASSERT_TRUE(own_output->running()) << own_output->error();
    MixerVolume volume;
    ASSERT_TRUE(volume.IsAvailable());
    Announced calls(volume);

    own_output.reset();
    const long cpu_before = CpuMilliseconds();
    RunEventLoopFor(1000ms);
    // The dead connection must not keep waking the event loop.
    EXPECT_LT(CpuMilliseconds() - cpu_before, 500);
    EXPECT_FALSE(volume.IsAvailable());
    EXPECT_EQ(volume.GetMaximum(), -1);
    EXPECT_EQ(volume.GetVolume(), -1);
    volume.SetVolume(100);
    EXPECT_TRUE(calls.values.empty());
}

// --- Closing.

TEST_F(MixerVolumeTest, ClosingTwiceLeavesItNotUsable)
{
    MixerVolume volume;
    Announced calls(volume);
    volume.Close();
    volume.Close();

    EXPECT_FALSE(volume.IsAvailable());
    EXPECT_EQ(volume.GetMinimum(), -1);
    EXPECT_EQ(volume.GetMaximum(), -1);
    EXPECT_EQ(volume.GetStepCount(), -1);
    EXPECT_EQ(volume.GetVolume(), -1);
    volume.SetVolume(100);
    volume.LineOff();
    EXPECT_EQ(Output().SinkVolume(), (std::vector<int>{kFull, kFull}));
    EXPECT_EQ(Output().SinkMuted(), std::optional<bool>(false));

    ASSERT_TRUE(Output().SetSinkVolume({20000, 20000}));
    RunEventLoopFor(300ms);
    EXPECT_TRUE(calls.values.empty());
}

TEST_F(MixerVolumeTest, ClosingReleasesTheMixersDescriptors)
{
    { MixerVolume warm_up; }  // ALSA's configuration and plugins stay loaded
    const int before = OpenDescriptorCount();
    for (int i = 0; i < 10; ++i) {
        MixerVolume volume;
        ASSERT_TRUE(volume.IsAvailable());
    }
    EXPECT_EQ(OpenDescriptorCount(), before);
}

// --- Other mixers: the default card replaced for one test.

// Points ALSA's configuration at `text` alone for the life of the object.
class ScopedAlsaConfig {
public:
    explicit ScopedAlsaConfig(const std::string& text)
    {
        char path[] = "/tmp/kinoverd-alsa-XXXXXX";
        const int fd = mkstemp(path);
        if (fd >= 0) close(fd);
        path_ = path;
        std::ofstream(path_) << text;
        const char* old = getenv("ALSA_CONFIG_PATH");
        if (old) old_ = old;
        setenv("ALSA_CONFIG_PATH", path_.c_str(), 1);
    }
    ~ScopedAlsaConfig()
    {
        if (old_) {
            setenv("ALSA_CONFIG_PATH", old_->c_str(), 1);
        } else {
            unsetenv("ALSA_CONFIG_PATH");
        }
        unlink(path_.c_str());
    }

private:
    std::string path_;
    std::optional<std::string> old_;
};

// The daemon's mixer with its controls renamed or combined; PULSE_SERVER
// names the daemon.
std::string RemappedPulseMixer(const std::string& rules)
{
    return "ctl.!default { type remap child { type pulse } " + rules + " }\n";
}

void ExpectNotUsable(MixerVolume& volume)
{
    EXPECT_FALSE(volume.IsAvailable());
    EXPECT_EQ(volume.GetMinimum(), -1);
    EXPECT_EQ(volume.GetMaximum(), -1);
    EXPECT_EQ(volume.GetStepCount(), -1);
    EXPECT_EQ(volume.GetVolume(), -1);
    volume.SetVolume(0);
    volume.SetVolume(100);
    volume.LineOn();
    volume.LineOff();
    volume.Close();
}

TEST_F(MixerVolumeTest, AMissingCardLeavesItNotUsable)
{
    ScopedAlsaConfig config("ctl.!default { type hw card 31 }\n");
    MixerVolume volume;
    ExpectNotUsable(volume);
}

TEST_F(MixerVolumeTest, AnUnreachableSoundServerLeavesItNotUsable)
{
    ScopedAlsaConfig config("ctl.!default { type pulse server \"unix:/nonexistent/kinoverd/native\" }\n");
    MixerVolume volume;
    ExpectNotUsable(volume);
}

TEST_F(MixerVolumeTest, AMixerWithoutPlaybackVolumeLeavesItNotUsable)
{
    ScopedAlsaConfig config(
        RemappedPulseMixer(R"(remap { "name='Master Playback Volume'" "name='Master Capture Volume'" })"));
    MixerVolume volume;
    ExpectNotUsable(volume);
    EXPECT_EQ(Output().SinkVolume(), (std::vector<int>{kFull, kFull}));
    EXPECT_EQ(Output().SinkMuted(), std::optional<bool>(false));
}

TEST_F(MixerVolumeTest, WithoutPcmOrMasterTheFirstPlaybackVolumeIsUsed)
{
    ScopedAlsaConfig config(
        RemappedPulseMixer(R"(remap { "name='Master Playback Volume'" "name='Speaker Playback Volume'" })"));
    MixerVolume volume;
    ASSERT_TRUE(volume.IsAvailable());
    volume.SetVolume(40000);
    EXPECT_EQ(Output().SinkVolume(), (std::vector<int>{40000, 40000}));
}

TEST_F(MixerVolumeTest, PcmIsPreferredToMaster)
{
    // "PCM" here is a mono view of the sink's left channel.
    ScopedAlsaConfig config(RemappedPulseMixer(
        R"(map { "name='PCM Playback Volume'" { "name='Master Playback Volume'" { vindex.0 0 } } })"));
    MixerVolume volume;
    ASSERT_TRUE(volume.IsAvailable());
    volume.SetVolume(20000);
    EXPECT_EQ(volume.GetVolume(), 20000);
    EXPECT_EQ(Output().SinkVolume(), (std::vector<int>{20000, kFull}));
}

}  // namespace
}  // namespace kinoverd
