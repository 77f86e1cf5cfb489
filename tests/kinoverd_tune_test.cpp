// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the built kinoverd-tune as a user would, against broadcasts made in
// this process, and checks what it writes block by block.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <cstdio>
#include <map>
#include <optional>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "broadcast/broadcaster.h"
#include "broadcast/multicast_socket.h"
#include "broadcast/wire_format.h"
#include "tests/support/child_process.h"
#include "tests/support/datagram_relay.h"
#include "tests/support/recorded_broadcast_ends.h"
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


// Drops datagrams leaving for the tuned channel's data port inside the
// private namespace, by an nftables rule such as "numgen random mod 1000 < 20"
// (empty: every one). Only packets of `kind` (payload byte 3; data packets
// by default, so that the stream start and end stay), or of every kind.
class PacketLoss {
public:
    PacketLoss(const std::string& condition, bool every_kind = false, wire::Kind kind = wire::Kind::kData)
    {
        const std::string match = "udp dport " + std::to_string(wire::DataPort(kChannel)) +
                                  (every_kind ? "" : " @th,88,8 " + std::to_string(int(kind)));
        added_ = Nft("add table inet kinoverd_loss\n"
                     "add chain inet kinoverd_loss out { type filter hook output priority 0 ; }\n"
                     "add rule inet kinoverd_loss out " + match + " " + condition + " drop\n");
    }
    ~PacketLoss() { Nft("delete table inet kinoverd_loss\n"); }
    bool added() const { return added_; }

private:
    static bool Nft(const std::string& script)
    {
        FILE* nft = popen("nft -f -", "w");
        if (!nft) return false;
        std::fputs(script.c_str(), nft);
        return pclose(nft) == 0;
    }
    bool added_ = false;
};

// Another host on the segment: a socket bound to another loopback address.
class ForeignHost {
public:
    ForeignHost()
    {
        fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(0x7F000002);
        bound_ = bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        const int ttl = 1;
        setsockopt(fd_, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl);
    }
    ~ForeignHost() { close(fd_); }
    bool bound() const { return bound_; }
    void Send(wire::Kind kind, uint32_t index = 0)
    {
        const bool control = kind == wire::Kind::kRestart || kind == wire::Kind::kClose;
        Bytes packet(wire::PacketSize(kBlock), 0x33);
        wire::WriteHead(packet.data(), kind);
        wire::WriteIndexAndLength(packet.data(), index, 100 * 1024 * 1024);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(control ? wire::ControlPort(kChannel) : wire::DataPort(kChannel));
        inet_pton(AF_INET, wire::GroupAddress(kChannel).c_str(), &to.sin_addr);
        sendto(fd_, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    }

private:
    int fd_ = -1;
    bool bound_ = false;
};

// A sender of packets made here, from its own socket.
class RawSender {
public:
    RawSender() { EXPECT_TRUE(socket_.OpenSender(kBlock)); }
    void Send(wire::Kind kind, uint32_t index = 0, uint32_t stream_length = 100 * 1024 * 1024,
              const uint8_t* payload = nullptr)
    {
        const bool control = kind == wire::Kind::kRestart || kind == wire::Kind::kClose;
        Bytes packet(wire::PacketSize(kBlock), 0);
        wire::WriteHead(packet.data(), kind);
        wire::WriteIndexAndLength(packet.data(), index, stream_length);
        if (payload) std::copy_n(payload, kBlock, packet.begin() + wire::kHeadBytes);
        socket_.SendTo(packet.data(), packet.size(), wire::GroupAddress(kChannel),
                       control ? wire::ControlPort(kChannel) : wire::DataPort(kChannel));
        std::this_thread::sleep_for(1ms);
    }

private:
    MulticastSocket socket_;
};

// A count from the tuner's closing summary, such as "blocks lost".
uint64_t Reported(const std::string& err, const std::string& what)
{
    std::smatch match;
    if (!std::regex_search(err, match, std::regex("([0-9]+) " + what))) return UINT64_MAX;
    return std::stoull(match[1]);
}

// The written blocks are stream blocks, the head then strictly increasing.
void ExpectInStreamOrder(const std::vector<int>& indices)
{
    ASSERT_GT(indices.size(), kHeaderBlocks);
    for (size_t i = 0; i < indices.size(); ++i) {
        ASSERT_NE(indices[i], -1) << "block " << i;
        if (i > kHeaderBlocks) {
            ASSERT_GT(indices[i], indices[i - 1]) << "block " << i;
        }
    }
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

    // Broadcasts `path` on the tuned channel (or `channel`) until its end.
    void Broadcast(const std::string& path, int channel = kChannel)
    {
        Broadcaster broadcaster(path, channel, kBlock, &notify_);
        ASSERT_TRUE(broadcaster.Start(0));
        broadcaster.Run();
        ASSERT_TRUE(notify_.WaitFor(60s, ++broadcasts_));
        broadcaster.StopQuietly();
    }

    TempDir directory_;
    std::map<std::string, Bytes> streams_;
    test::RecordedBroadcastEnds notify_;
    size_t broadcasts_ = 0;
};

TEST_F(KinoverdTuneTest, HelpAndBadUsage)
{
    TuneProcess help({"--help"});
    EXPECT_EQ(help.WaitForExit(10s), 0);
    EXPECT_THAT(help.out(), HasSubstr("Usage: kinoverd-tune --channel N"));
    TuneProcess version({"--version"});
    EXPECT_EQ(version.WaitForExit(10s), 0);
    EXPECT_EQ(version.out(), "kinoverd-tune " KINOVERD_VERSION "\n");

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
    // Nothing lost, but the copy jumps past what the restart skipped.
    ASSERT_EQ(tuner->WaitForExit(60s), 4) << tuner->err();
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
    RawSender sender;
    sender.Send(wire::Kind::kStreamStart, 0);
    for (uint32_t i = 0; i < 32; ++i) sender.Send(wire::Kind::kHeader, i);
    for (uint32_t i = 32; i < 32 + 400; ++i) sender.Send(wire::Kind::kData, i);
    ASSERT_EQ(tuner->WaitForExit(30s), 3) << tuner->err();
    EXPECT_THAT(tuner->err(), HasSubstr("stopped without an end packet"));
}

// Tuned in while a broadcast runs, the tuner waits for its next header
// series; a broadcast that closes or falls silent before that ends it.
TEST_F(KinoverdTuneTest, AnUnsynchronisedTunerEndsOnItsSendersCloseOrSilence)
{
    for (const bool close : {true, false}) {
        SCOPED_TRACE(close ? "close" : "silence");
        auto tuner = StartTuner();
        RawSender sender;
        for (uint32_t i = 500; i < 600; ++i) sender.Send(wire::Kind::kData, i);
        if (close)
            for (int i = 0; i < 4; ++i) sender.Send(wire::Kind::kClose);
        ASSERT_EQ(tuner->WaitForExit(15s), 3) << tuner->err();
        EXPECT_THAT(tuner->err(), HasSubstr(close ? "the broadcast was closed before its end"
                                                  : "nothing received for 5 s"));
        EXPECT_THAT(tuner->err(), HasSubstr("0 bytes written"));
    }
}

// A script tells a complete copy (0), a late join that lost nothing after
// it (4) and a damaged copy (3, see LostBlocksAreCounted...) apart. A
// sender that never sends the last part short of a chunk still gives a
// complete copy.
TEST_F(KinoverdTuneTest, TheExitStatusTellsACompleteCopyFromALateJoin)
{
    const uint32_t sent_bytes = wire::kHeaderBytes + 4 * wire::kChunkBytes;
    const Bytes stream = test::MpegLikeStream(sent_bytes + 13192, 5);
    {
        auto tuner = StartTuner();
        RawSender sender;
        sender.Send(wire::Kind::kStreamStart);
        for (uint32_t i = 0; i < sent_bytes / kBlock; ++i)
            sender.Send(i < kHeaderBlocks ? wire::Kind::kHeader : wire::Kind::kData, i, uint32_t(stream.size()),
                        stream.data() + size_t(i) * kBlock);
        sender.Send(wire::Kind::kEnd);
        ASSERT_EQ(tuner->WaitForExit(30s), 0) << tuner->err();
        EXPECT_THAT(tuner->err(), HasSubstr("left out the stream's last 7 blocks"));
        EXPECT_TRUE(ReadFile(Output()) == Bytes(stream.begin(), stream.begin() + sent_bytes));
    }
    // Joined after the first header series: from the second on.
    const std::string path = WriteStream("movie.mpg", 1600 * 1024);
    Broadcaster broadcaster(path, kChannel, kBlock, &notify_);
    ASSERT_TRUE(broadcaster.Start(0));
    broadcaster.Run();
    while (broadcaster.sent_position() < 200 * 1024) std::this_thread::sleep_for(10ms);
    broadcaster.HoldSend();
    auto tuner = StartTuner();
    broadcaster.ReleaseSend();
    ASSERT_EQ(tuner->WaitForExit(30s), 4) << tuner->err();
    broadcaster.StopQuietly();
    EXPECT_THAT(tuner->err(), HasSubstr("the copy is whole from where it joined the stream"));
    const int second_series_data = int((wire::kHeaderBytes + 16 * wire::kChunkBytes) / kBlock);
    EXPECT_EQ(BlockIndices(ReadFile(Output()), streams_["movie.mpg"]),
              HeaderThenLive(second_series_data, 1600 * 1024));
}

// Reception stalls before the ring is half full, so the tuner starts on what
// it has; the next header series must not land in the middle of its output.
TEST_F(KinoverdTuneTest, AStallBeforeHalfFullDoesNotRepeatTheHeader)
{
    auto tuner = StartTuner();
    RawSender sender;
    constexpr uint32_t kBlocks = 232;
    auto send = [&](wire::Kind kind, uint32_t index) { sender.Send(kind, index, kBlocks * kBlock); };
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

// Anyone can send to a group: a host that forges restart, close, end and
// stream-start packets and floods the channel with well-formed data changes
// nothing in what two tuners of this station write.
TEST_F(KinoverdTuneTest, ForgedPacketsAndAFloodFromAnotherHostAreIgnored)
{
    const std::string path = WriteStream("movie.mpg", 1600 * 1024 + 1000);
    auto tuner = StartTuner();
    auto second = StartTuner({"--output", directory_.File("second.out")});
    std::thread forgery([] {
        std::this_thread::sleep_for(1500ms);
        ForeignHost forger;
        ASSERT_TRUE(forger.bound());
        using wire::Kind;
        for (Kind kind : {Kind::kRestart, Kind::kClose, Kind::kClose, Kind::kEnd, Kind::kStreamStart})
            forger.Send(kind);
        for (uint32_t n = 0; n < 2000; ++n) {
            forger.Send(Kind::kData, 40 + n);
            if (n % 4 == 0) std::this_thread::sleep_for(1ms);
        }
    });
    Broadcast(path);
    forgery.join();
    ASSERT_EQ(tuner->WaitForExit(30s), 0) << tuner->err();
    ASSERT_EQ(second->WaitForExit(30s), 0) << second->err();
    EXPECT_TRUE(ReadFile(Output()) == streams_["movie.mpg"]);
    EXPECT_TRUE(ReadFile(directory_.File("second.out")) == streams_["movie.mpg"]);
    EXPECT_THAT(tuner->err(), HasSubstr("another sender is broadcasting on this channel"));
    EXPECT_GT(Reported(tuner->err(), "foreign datagrams"), 1000u);
    EXPECT_EQ(Reported(tuner->err(), "blocks lost"), 0u);
}

// Real loss inside the namespace, at random and in bursts, and an outage of
// two seconds: the tuner counts the lost blocks, writes the rest in order,
// goes on to the end and calls the copy damaged.
TEST_F(KinoverdTuneTest, LostBlocksAreCountedAndTheCopyIsDamaged)
{
    const std::string path = WriteStream("movie.mpg", 1600 * 1024);
    for (const char* condition : {"numgen random mod 1000 < 20", "numgen inc mod 200 > 189", ""}) {
        SCOPED_TRACE(condition);
        auto tuner = StartTuner();
        std::optional<PacketLoss> loss;
        std::thread outage;
        if (*condition) {
            loss.emplace(condition);
            ASSERT_TRUE(loss->added());
        } else {
            outage = std::thread([&] {
                std::this_thread::sleep_for(1500ms);
                loss.emplace("", /*every_kind=*/true);
                std::this_thread::sleep_for(2s);
                loss.reset();
            });
        }
        Broadcast(path);
        if (outage.joinable()) outage.join();
        loss.reset();
        ASSERT_EQ(tuner->WaitForExit(30s), 3) << tuner->err();
        EXPECT_THAT(tuner->err(), HasSubstr("the copy is damaged"));
        const uint64_t lost = Reported(tuner->err(), "blocks lost");
        EXPECT_GT(lost, *condition ? 0u : 200u);
        const std::vector<int> indices = BlockIndices(ReadFile(Output()), streams_["movie.mpg"]);
        ExpectInStreamOrder(indices);
        EXPECT_EQ(indices.size() + lost, 1600u / 2);
    }
}

// The end packet lost: the last block has ended the stream already.
TEST_F(KinoverdTuneTest, ALostEndPacketStillEndsAWholeCopy)
{
    const std::string path = WriteStream("short.mpg", 300 * 1024 + 5);
    PacketLoss loss("", false, wire::Kind::kEnd);
    ASSERT_TRUE(loss.added());
    auto tuner = StartTuner();
    Broadcast(path);
    ASSERT_EQ(tuner->WaitForExit(30s), 0) << tuner->err();
    EXPECT_TRUE(ReadFile(Output()) == streams_["short.mpg"]);
}

// A network that duplicates and reorders, by a relay from channel 2: a
// duplicate is dropped, so the copy stays whole; a block that comes after a
// later one is dropped as late and lost.
TEST_F(KinoverdTuneTest, DuplicatesAreDroppedAndLateBlocksLost)
{
    const std::string path = WriteStream("movie.mpg", 1200 * 1024);
    {
        test::DatagramRelay relay(2, kChannel, {.duplicate_every = 7});
        ASSERT_TRUE(relay.Start());
        auto tuner = StartTuner();
        Broadcast(path, 2);
        ASSERT_EQ(tuner->WaitForExit(30s), 0) << tuner->err();
        EXPECT_TRUE(ReadFile(Output()) == streams_["movie.mpg"]);
        EXPECT_GT(Reported(tuner->err(), "duplicate"), 50u);
    }
    test::DatagramRelay relay(2, kChannel, {.swap_every = 50});
    ASSERT_TRUE(relay.Start());
    auto tuner = StartTuner();
    Broadcast(path, 2);
    ASSERT_EQ(tuner->WaitForExit(30s), 3) << tuner->err();
    const uint64_t late = Reported(tuner->err(), "late");
    EXPECT_GT(late, 5u);
    EXPECT_EQ(Reported(tuner->err(), "blocks lost"), late);
    ExpectInStreamOrder(BlockIndices(ReadFile(Output()), streams_["movie.mpg"]));
}

TEST_F(KinoverdTuneTest, StopsCleanlyOnASignal)
{
    for (int signal_number : {SIGTERM, SIGINT}) {
        auto tuner = StartTuner();
        ASSERT_TRUE(tuner->WaitUntilSignalsAreBlocked(10s));
        tuner->Signal(signal_number);
        EXPECT_EQ(tuner->WaitForExit(5s), 128 + signal_number);
    }
    // An output pipe that nobody reads holds the open, never the signal.
    const std::string pipe = directory_.File("pipe");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    TuneProcess waiting({"--channel", std::to_string(kChannel), "--output", pipe});
    std::this_thread::sleep_for(300ms);
    waiting.Signal(SIGTERM);
    EXPECT_EQ(waiting.WaitForExit(5s), -SIGTERM);
}

}  // namespace
}  // namespace kinoverd
