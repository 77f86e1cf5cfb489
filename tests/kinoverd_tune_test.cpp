// Runs the built kinoverd-tune as a user would, against broadcasts made in
// this process, and checks what it writes block by block.
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

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
constexpr uint32_t kHeaderBlocks = 32;
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

// Header blocks 0..31, then `first_live` onwards to the stream's last whole block.
std::vector<int> HeaderThenLive(int first_live, size_t stream_bytes)
{
    std::vector<int> indices;
    for (int i = 0; i < int(kHeaderBlocks); ++i) indices.push_back(i);
    const int blocks = int(stream_bytes / kBlock);
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
    // A program that binds the port without sharing it.
    const int holder = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(wire::DataPort(kChannel));
    ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    TuneProcess busy({"--channel", std::to_string(kChannel), "--output", Output()});
    EXPECT_EQ(busy.WaitForExit(10s), 1);
    EXPECT_THAT(busy.err(), HasSubstr("cannot listen on channel 1"));
    close(holder);

    TuneProcess unwritable({"--channel", std::to_string(kChannel), "--output", directory_.File("no/such/dir")});
    EXPECT_EQ(unwritable.WaitForExit(10s), 1);
    EXPECT_THAT(unwritable.err(), HasSubstr("No such file or directory"));
}

// Tuned in from the start, the output is the stream byte for byte: a plain
// file long enough to fill half the ring before its end, and a Video CD
// track, whose stream is its sectors' user data.
TEST_F(KinoverdTuneTest, TunedFromTheStartTheOutputIsAnExactCopyOfTheStream)
{
    const Bytes plain = test::MpegLikeStream(1600 * 1024 + 1000, 1);
    const Bytes track_mpeg = test::MpegLikeStream(900 * 1024 + 77, 2);
    const Bytes track = test::VcdTrackOf(track_mpeg);
    const Bytes track_stream = test::VcdTrackStream(track_mpeg);
    for (const auto& [file, stream] : {std::pair{plain, plain}, std::pair{track, track_stream}}) {
        const std::string path = directory_.File("source");
        ASSERT_TRUE(test::WriteBytes(path, file));
        auto tuner = StartTuner();
        Broadcaster broadcaster(path, kChannel, kBlock, &notify_);
        ASSERT_TRUE(broadcaster.Start(0));
        broadcaster.Run();
        ASSERT_EQ(tuner->WaitForExit(60s), 0) << tuner->err();
        broadcaster.StopQuietly();
        EXPECT_THAT(tuner->err(), HasSubstr("end of stream"));
        EXPECT_TRUE(ReadFile(Output()) == stream) << "stream of " << stream.size() << " bytes";
    }
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
    EXPECT_TRUE(written == streams_["short.mpg"]);
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
    ASSERT_EQ(tuner->WaitForExit(10s), 3) << tuner->err();
    EXPECT_THAT(tuner->err(), HasSubstr("the broadcast was closed before its end"));
    EXPECT_THAT(tuner->err(), HasSubstr("0 blocks lost"));
    const std::vector<int> indices = BlockIndices(ReadFile(Output()), streams_["long.mpg"]);
    ASSERT_GT(indices.size(), kHeaderBlocks);
    for (size_t i = 0; i < indices.size(); ++i) ASSERT_EQ(indices[i], int(i)) << "block " << i;
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
    ASSERT_GT(first.size(), kHeaderBlocks);
    for (size_t i = 0; i < first.size(); ++i) ASSERT_EQ(first[i], int(i)) << "block " << i;
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
    ASSERT_EQ(tuner->WaitForExit(30s), 3) << tuner->err();
    EXPECT_THAT(tuner->err(), HasSubstr("stopped without an end packet"));
}

// Reception stalls before the ring is half full, so the tuner starts on what
// it has; the next header series must not land in the middle of its output.
TEST_F(KinoverdTuneTest, AStallBeforeHalfFullDoesNotRepeatTheHeader)
{
    auto tuner = StartTuner();
    MulticastSocket sender;
    ASSERT_TRUE(sender.OpenSender(kBlock));
    constexpr uint32_t kBlocks = 232;
    Bytes packet(wire::PacketSize(kBlock), 0);
    auto send = [&](wire::Kind kind, uint32_t index) {
        wire::WriteHead(packet.data(), kind);
        wire::WriteIndexAndLength(packet.data(), index, kBlocks * kBlock);
        sender.SendTo(packet.data(), packet.size(), wire::GroupAddress(kChannel), wire::DataPort(kChannel));
        std::this_thread::sleep_for(1ms);
    };
    auto header_series = [&] {
        send(wire::Kind::kStreamStart, 0);
        for (uint32_t i = 0; i < kHeaderBlocks; ++i) send(wire::Kind::kHeader, i);
    };
    header_series();
    for (uint32_t i = kHeaderBlocks; i < 132; ++i) send(wire::Kind::kData, i);
    std::this_thread::sleep_for(3s);
    header_series();
    for (uint32_t i = 132; i < kBlocks; ++i) send(wire::Kind::kData, i);
    send(wire::Kind::kEnd, 0);
    ASSERT_EQ(tuner->WaitForExit(30s), 0) << tuner->err();
    EXPECT_EQ(ReadFile(Output()).size(), size_t(kBlocks) * kBlock);
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
