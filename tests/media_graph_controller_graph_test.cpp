// SPDX-License-Identifier: GPL-3.0-or-later
// The controller's graph operations with a recording graph in place of the
// media framework: what BuildAndRun asks of the graph, in which order, and
// what is left when a step fails.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "playback/media_graph_controller.h"
#include "tests/support/test_packets.h"

namespace kinoverd {
namespace {

using test::MakePacket;
using wire::Kind;

// Every call on every graph, in order, e.g. "render", "seek 67584", "run".
struct Calls {
    std::vector<std::string> log;
    int graphs_alive = 0;
};

class RecordingGraph : public MediaGraph {
public:
    RecordingGraph(Calls& calls, bool refuse_seek) : calls_(calls), refuse_seek_(refuse_seek)
    {
        ++calls_.graphs_alive;
    }
    ~RecordingGraph() override
    {
        --calls_.graphs_alive;
        calls_.log.push_back("destroy");
    }
    void Run() override { calls_.log.push_back("run"); }
    void Pause() override { calls_.log.push_back("pause"); }
    bool SeekTo(uint32_t position) override
    {
        calls_.log.push_back("seek " + std::to_string(position));
        return !refuse_seek_;
    }
    void SetFullScreen(bool on) override { calls_.log.push_back(on ? "full" : "window"); }
    bool HasAudioDecoder() const override { return true; }
    bool HasDecoded() const override { return true; }
    std::optional<double> ShownSeconds() const override { return std::nullopt; }

private:
    Calls& calls_;
    const bool refuse_seek_;
};

class RecordingFactory : public MediaGraphFactory {
public:
    explicit RecordingFactory(Calls& calls) : calls_(calls) {}
    std::unique_ptr<MediaGraph> Render(ChannelReception&, const VideoPlacement& placement,
                                       PlaybackEvents*) override
    {
        calls_.log.push_back("render " + std::to_string(placement.left) + "," +
                             std::to_string(placement.top) + "," +
                             std::to_string(placement.right) + "," +
                             std::to_string(placement.bottom));
        if (fail_render) return nullptr;
        return std::make_unique<RecordingGraph>(calls_, refuse_seek);
    }
    void ShowAudioDecoderPages(QWidget*) override { calls_.log.push_back("pages"); }

    bool fail_render = false;
    bool refuse_seek = false;

private:
    Calls& calls_;
};

class ControllerGraphTest : public testing::Test {
protected:
    // The head of a stream as the receive side leaves it (blocks 0 to 31),
    // then live blocks from `first_live` on.
    void FillRing(uint32_t first_live, int live_blocks)
    {
        for (uint32_t i = 0; i <= 31; ++i) Push(i);
        for (int i = 0; i < live_blocks; ++i) Push(first_live + uint32_t(i));
    }
    void Push(uint32_t block)
    {
        const auto packet = MakePacket(Kind::kData, block, 9000000);
        ASSERT_TRUE(ring().Push(packet.data()));
    }
    bool Build(bool run_now = true) { return controller_.BuildAndRun({nullptr, 54, 29, 431, 331}, run_now); }
    PacketRing& ring() { return controller_.reception().ring(); }

    Calls calls_;
    RecordingFactory factory_{calls_};
    MediaGraphController controller_{2048, &factory_};
};

TEST_F(ControllerGraphTest, BuildRendersSeeksPastTheHeadAndRuns)
{
    FillRing(500, 20);
    ASSERT_TRUE(Build());
    // Block 500 is the first past the first 64 KiB.
    EXPECT_EQ(calls_.log, (std::vector<std::string>{"render 54,29,431,331", "seek 1024000", "run"}));
    // The first live block stays, to be read first.
    EXPECT_EQ(ring().Count(), 20u);
}

// Tuned in from the start, the data after the head is block 32.
TEST_F(ControllerGraphTest, BlockThirtyTwoIsTheFirstLiveBlock)
{
    FillRing(32, 5);
    ASSERT_TRUE(Build(false));
    EXPECT_EQ(calls_.log, (std::vector<std::string>{"render 54,29,431,331", "seek 65536"}));
}

TEST_F(ControllerGraphTest, AFailedRenderLeavesNoGraphAndAnEmptyRing)
{
    FillRing(500, 20);
    controller_.reception().MarkReadingStarted();
    factory_.fail_render = true;
    EXPECT_FALSE(Build());
    EXPECT_EQ(ring().Count(), 0u);
    EXPECT_FALSE(controller_.reception().admission().start_requested());
    controller_.Run();
    controller_.SetFullScreen(true);
    EXPECT_EQ(calls_.log, (std::vector<std::string>{"render 54,29,431,331"}));
    EXPECT_FALSE(controller_.IsFullScreen());
}

TEST_F(ControllerGraphTest, NoLiveBlockMeansNoGraph)
{
    FillRing(0, 0);
    EXPECT_FALSE(Build());
    EXPECT_EQ(calls_.graphs_alive, 0);
    EXPECT_EQ(calls_.log.back(), "destroy");
}

TEST_F(ControllerGraphTest, ARefusedSeekMeansNoGraph)
{
    FillRing(500, 5);
    factory_.refuse_seek = true;
    EXPECT_FALSE(Build());
    EXPECT_EQ(calls_.graphs_alive, 0);
}

TEST_F(ControllerGraphTest, WithoutAFactoryNothingIsBuilt)
{
    MediaGraphController bare(2048);
    EXPECT_FALSE(bare.BuildAndRun({nullptr, 54, 29, 431, 331}, true));
}

TEST_F(ControllerGraphTest, FullScreenAndAudioPagesNeedAGraph)
{
    controller_.SetFullScreen(true);
    controller_.ShowAudioDecoderPages();
    EXPECT_FALSE(controller_.IsFullScreen());
    EXPECT_TRUE(calls_.log.empty());

    FillRing(500, 5);
    ASSERT_TRUE(Build(false));
    calls_.log.clear();
    controller_.SetFullScreen(true);
    EXPECT_TRUE(controller_.IsFullScreen());
    controller_.ShowAudioDecoderPages();
    controller_.SetFullScreen(false);
    EXPECT_EQ(calls_.log, (std::vector<std::string>{"full", "pages", "window"}));

    // Stop tears the graph down and forgets the full-screen flag.
    controller_.SetFullScreen(true);
    controller_.Stop();
    EXPECT_EQ(calls_.graphs_alive, 0);
    EXPECT_FALSE(controller_.IsFullScreen());
}

}  // namespace
}  // namespace kinoverd
