// Runs the built kinoverd-tune as a user would, against broadcasts made in
// this process, and checks what it writes block by block.
#include <signal.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "broadcast/broadcaster.h"
#include "broadcast/multicast_socket.h"
#include "broadcast/wire_format.h"
#include "tests/support/child_process.h"
#include "tests/support/recorded_notify.h"
#include "tests/support/test_streams.h"

namespace kinoverd {
namespace {

using namespace std::chrono_literals;
using test::TempDir;
using testing::HasSubstr;
using Bytes = std::vector<uint8_t>;

constexpr uint32_t kBlock = wire::kBlockSize;
constexpr uint32_t kHeaderBlocksKept = 31;  // the stream-start packet takes the 32nd slot
constexpr int kChannel = 1;

class TuneProcess : public test::ChildProcess {
public:
    explicit TuneProcess(const std::vector<std::string>& arguments)
        : ChildProcess(KINOVERD_TUNE_PATH, arguments)
    {
    }
};

Bytes ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The stream block that each written block equals, by the block number
// stamped into it; -1 for a block that matches no stream block.
std::vector<int> BlockIndices(const Bytes& output, const Bytes& stream)
{
    std::vector<int> indices;
    for (size_t at = 0; at + kBlock <= output.size(); at += kBlock) {
        uint32_t index = 0;
        std::memcpy(&index, output.data() + at + 4, 4);
        const size_t from = size_t(index) * kBlock;
        Bytes expected(kBlock, 0);
        if (from < stream.size())
            std::copy_n(stream.begin() + long(from), std::min<size_t>(kBlock, stream.size() - from), expected.begin());
        const bool same = std::equal(expected.begin(), expected.end(), output.begin() + long(at));
        indices.push_back(same ? int(index) : -1);
    }
    return indices;
}

// Header blocks 0..30, then `first_live` onwards to the stream's last block.
std::vector<int> HeaderThenLive(int first_live, size_t stream_bytes)
{
    std::vector<int> indices;
    for (int i = 0; i < int(kHeaderBlocksKept); ++i) indices.push_back(i);
    const int blocks = int((stream_bytes + kBlock - 1) / kBlock);
    for (int i = first_live; i < blocks; ++i) indices.push_back(i);
    return indices;
}

class KinoverdTuneTest : public testing::Test {
protected:
    std::string WriteStream(const std::string& name, size_t bytes, uint32_t seed = 1)
    {
        streams_[name] = test::MpegLikeStream(bytes, seed);
        const std::string path = directory_.File(name);
        EXPECT_TRUE(test::WriteBytes(path, streams_[name]));
        return path;
    }
    std::string Output() const { return directory_.File("tuned.out"); }

    // Tune in and wait until it listens, so no packet goes out before.
    std::unique_ptr<TuneProcess> StartTuner(std::vector<std::string> extra = {})
    {
        std::vector<std::string> arguments = {"--channel", std::to_string(kChannel)};
        if (extra.empty()) extra = {"--output", Output()};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        auto tuner = std::make_unique<TuneProcess>(arguments);
        EXPECT_TRUE(tuner->started());
        EXPECT_TRUE(tuner->WaitForError("waiting for a broadcast", 10s)) << tuner->err();
        return tuner;
    }

    TempDir directory_;
    std::map<std::string, Bytes> streams_;
    test::RecordedNotify notify_;
};

TEST_F(KinoverdTuneTest, HelpAndBadUsage)
{
    TuneProcess help({"--help"});
    EXPECT_EQ(help.WaitForExit(10s), 0);
    EXPECT_THAT(help.out(), HasSubstr("Usage: kinoverd-tune --channel N"));

    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{},
                                               {"--channel"},
                                               {"--channel", "4"},
                                               {"--channel", "-1"},
                                               {"--channel", "one"},
                                               {"--channel=2x"},
                                               {"--channel", "1", "--output"},
                                               {"--channel", "1", "--output="},
                                               {"--channel", "1", "--volume", "3"},
                                               {"--channel", "1", "stray"}}) {
        TuneProcess tuner(arguments);
        EXPECT_EQ(tuner.WaitForExit(10s), 2) << testing::PrintToString(arguments);
        EXPECT_THAT(tuner.err(), HasSubstr("Try 'kinoverd-tune --help'."));
    }
}

TEST_F(KinoverdTuneTest, ATakenPortOrAnUnwritableOutputFailsClearly)
{
    MulticastSocket holder;
    ASSERT_TRUE(holder.OpenListener(wire::GroupAddress(kChannel), wire::DataPort(kChannel), kBlock, false));
    TuneProcess busy({"--channel", std::to_string(kChannel), "--output", Output()});
    EXPECT_EQ(busy.WaitForExit(10s), 1);
    EXPECT_THAT(busy.err(), HasSubstr("cannot listen on channel 1"));
    holder.Close();

    TuneProcess unwritable({"--channel", std::to_string(kChannel), "--output", directory_.File("no/such/dir")});
    EXPECT_EQ(unwritable.WaitForExit(10s), 1);
    EXPECT_THAT(unwritable.err(), HasSubstr("No such file or directory"));
}

TEST_F(KinoverdTuneTest, WritesTheHeaderThenEveryLiveBlockToTheEnd)
{
    // Long enough to fill half the ring before the end.
    const size_t bytes = 1600 * 1024 + 1000;
    const std::string path = WriteStream("long.mpg", bytes);
    auto tuner = StartTuner();
    Broadcaster broadcaster(path, kChannel, kBlock, &notify_);
    ASSERT_TRUE(broadcaster.Start(0));
    broadcaster.Run();
    ASSERT_EQ(tuner->WaitForExit(60s), 0) << tuner->err();
    broadcaster.StopQuietly();
    EXPECT_THAT(tuner->err(), HasSubstr("end of stream"));
    EXPECT_EQ(BlockIndices(ReadFile(Output()), streams_["long.mpg"]), HeaderThenLive(32, bytes));
}

TEST_F(KinoverdTuneTest, AStreamTooShortToFillHalfTheRingIsStillWritten)
{
    const size_t bytes = 300 * 1024;
    const std::string path = WriteStream("short.mpg", bytes);
    auto tuner = StartTuner({"--output", "-"});
    Broadcaster broadcaster(path, kChannel, kBlock, &notify_);
    ASSERT_TRUE(broadcaster.Start(0));
    broadcaster.Run();
    ASSERT_EQ(tuner->WaitForExit(30s), 0) << tuner->err();
    broadcaster.StopQuietly();
    const Bytes written(tuner->out().begin(), tuner->out().end());
    EXPECT_EQ(BlockIndices(written, streams_["short.mpg"]), HeaderThenLive(32, bytes));
}

TEST_F(KinoverdTuneTest, ACloseEndsTheTunerAndKeepsWhatArrived)
{
    const std::string path = WriteStream("long.mpg", 4 * 1024 * 1024);
    auto tuner = StartTuner();
    Broadcaster broadcaster(path, kChannel, kBlock, &notify_);
    ASSERT_TRUE(broadcaster.Start(0));
    broadcaster.Run();
    std::this_thread::sleep_for(3s);
    broadcaster.StopAndClose();
    ASSERT_EQ(tuner->WaitForExit(10s), 0) << tuner->err();
    EXPECT_THAT(tuner->err(), HasSubstr("the broadcast was closed"));
    const std::vector<int> indices = BlockIndices(ReadFile(Output()), streams_["long.mpg"]);
    ASSERT_GT(indices.size(), kHeaderBlocksKept);
    for (size_t i = 0; i < indices.size(); ++i) {
        const int expected = i < kHeaderBlocksKept ? int(i) : int(i) + 1;
        ASSERT_EQ(indices[i], expected) << "block " << i;
    }
}

TEST_F(KinoverdTuneTest, ARestartContinuesWithTheNextStreamInTheSameOutput)
{
    const size_t bytes = 3 * 1024 * 1024;
    const std::string path = WriteStream("long.mpg", bytes);
    auto tuner = StartTuner();
    Broadcaster broadcaster(path, kChannel, kBlock, &notify_);
    ASSERT_TRUE(broadcaster.Start(0));
    broadcaster.Run();
    std::this_thread::sleep_for(3s);
    // Repositioning: the far target is clamped to the stream's last 1,536,000 bytes.
    broadcaster.StopAndRestart();
    ASSERT_TRUE(broadcaster.Start(bytes));
    broadcaster.Run();
    ASSERT_EQ(tuner->WaitForExit(60s), 0) << tuner->err();
    broadcaster.StopQuietly();
    EXPECT_THAT(tuner->err(), HasSubstr("restart: waiting for the next stream"));

    const std::vector<int> indices = BlockIndices(ReadFile(Output()), streams_["long.mpg"]);
    // The second stream: its header, then live data from the clamped offset on.
    const int restart_block = int((bytes - Broadcaster::kRestartTailBytes) / kBlock) + 32;
    std::vector<int> second = HeaderThenLive(restart_block, bytes);
    ASSERT_GT(indices.size(), second.size());
    EXPECT_EQ(std::vector<int>(indices.end() - long(second.size()), indices.end()), second);
    // The first stream's part: its header, then consecutive blocks.
    const std::vector<int> first(indices.begin(), indices.end() - long(second.size()));
    ASSERT_GT(first.size(), kHeaderBlocksKept);
    for (size_t i = 0; i < first.size(); ++i)
        ASSERT_EQ(first[i], i < kHeaderBlocksKept ? int(i) : int(i) + 1) << "block " << i;
}

TEST_F(KinoverdTuneTest, ASenderThatVanishesMidStreamIsReported)
{
    auto tuner = StartTuner();
    // A stream-start packet, a header series and data, then nothing more:
    // enough to fill half the ring, without an end packet.
    MulticastSocket sender;
    ASSERT_TRUE(sender.OpenSender(kBlock));
    Bytes packet(wire::PacketSize(kBlock), 0);
    auto send = [&](wire::Kind kind, uint32_t index) {
        wire::WriteHead(packet.data(), kind);
        wire::WriteIndexAndLength(packet.data(), index, 100 * 1024 * 1024);
        sender.SendTo(packet.data(), packet.size(), wire::GroupAddress(kChannel), wire::DataPort(kChannel));
        std::this_thread::sleep_for(1ms);
    };
    send(wire::Kind::kStreamStart, 0);
    for (uint32_t i = 0; i < 32; ++i) send(wire::Kind::kHeader, i);
    for (uint32_t i = 32; i < 32 + 400; ++i) send(wire::Kind::kData, i);
    ASSERT_EQ(tuner->WaitForExit(30s), 1) << tuner->err();
    EXPECT_THAT(tuner->err(), HasSubstr("stopped without an end packet"));
}

TEST_F(KinoverdTuneTest, StopsCleanlyOnASignal)
{
    for (int signal_number : {SIGTERM, SIGINT}) {
        auto tuner = StartTuner();
        ASSERT_TRUE(tuner->WaitUntilSignalsAreBlocked(10s));
        tuner->Signal(signal_number);
        EXPECT_EQ(tuner->WaitForExit(5s), 128 + signal_number);
    }
}

}  // namespace
}  // namespace kinoverd
