// SPDX-License-Identifier: GPL-3.0-or-later
// The broadcaster as a receiving station sees it: every datagram is captured
// on the channel's data and control ports and compared with the packet
// sequence the stream calls for.
#include "broadcast/broadcaster.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <iterator>
#include <memory>
#include <thread>
#include <vector>

#include "broadcast/wire_format.h"
#include "tests/support/recorded_broadcast_ends.h"
#include "tests/support/test_streams.h"
#include "tests/support/wait_until.h"
#include "tests/support/wire_capture.h"

namespace kinoverd {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::CapturedDatagram;
using test::MpegLikeStream;
using test::NonMpegBytes;
using test::OpenDescriptorCount;
using test::RecordedBroadcastEnds;
using test::TempDir;
using test::WaitUntil;
using test::WireCapture;
using Records = WireCapture::Records;
using Bytes = std::vector<uint8_t>;

constexpr uint32_t kBlock = wire::kBlockSize;
constexpr size_t kPacketBytes = wire::PacketSize(kBlock);
constexpr uint32_t kHeaderBlocks = wire::kHeaderBytes / kBlock;
constexpr uint32_t kChunkBlocks = wire::kChunkBytes / kBlock;

// ---- the packet sequence a stream calls for ----

struct ExpectedPacket {
    wire::Kind kind;
    uint32_t index = 0;
    Bytes payload;  // header and data packets only
};

// Block `index` of the stream, zero-padded past its end.
Bytes StreamBlock(const Bytes& stream, uint32_t index)
{
    Bytes block(kBlock, 0);
    const size_t from = size_t(index) * kBlock;
    if (from < stream.size()) {
        const size_t count = std::min<size_t>(kBlock, stream.size() - from);
        std::copy_n(stream.begin() + long(from), count, block.begin());
    }
    return block;
}

void AddHeaderSeries(std::vector<ExpectedPacket>& out, const Bytes& stream)
{
    out.push_back({wire::Kind::kStreamStart, 0, {}});
    for (uint32_t i = 0; i < kHeaderBlocks; ++i)
        out.push_back({wire::Kind::kHeader, i, StreamBlock(stream, i)});
}

// Header series; whole chunks from start + 64 KiB with a header series after
// every 16th; the tail's blocks; the end packet.
std::vector<ExpectedPacket> ExpectedSequence(const Bytes& stream, uint32_t start)
{
    std::vector<ExpectedPacket> out;
    AddHeaderSeries(out, stream);
    uint64_t position = uint64_t(start) + wire::kHeaderBytes;
    int chunks = 0;
    for (; position + wire::kChunkBytes <= stream.size(); position += wire::kChunkBytes) {
        for (uint32_t j = 0; j < kChunkBlocks; ++j) {
            const uint32_t index = uint32_t(position / kBlock) + j;
            out.push_back({wire::Kind::kData, index, StreamBlock(stream, index)});
        }
        if (++chunks == wire::kChunksBetweenHeaderSeries) {
            AddHeaderSeries(out, stream);
            chunks = 0;
        }
    }
    for (; position < stream.size(); position += kBlock) {
        const uint32_t index = uint32_t(position / kBlock);
        out.push_back({wire::Kind::kData, index, StreamBlock(stream, index)});
    }
    out.push_back({wire::Kind::kEnd, 0, {}});
    return out;
}

bool IsKind(const CapturedDatagram& datagram, wire::Kind kind)
{
    return datagram.bytes.size() >= 4 && wire::HasHead(datagram.bytes.data(), kind);
}

// Compares captured stream datagrams with the expected sequence; with
// `whole` false the capture may stop early.
testing::AssertionResult MatchesSequence(const Records& got,
                                         const std::vector<ExpectedPacket>& expected,
                                         uint32_t stream_length, bool whole = true)
{
    if (got.size() > expected.size() || (whole && got.size() != expected.size())) {
        return testing::AssertionFailure()
               << got.size() << " datagrams instead of " << expected.size();
    }
    for (size_t i = 0; i < got.size(); ++i) {
        const CapturedDatagram& datagram = got[i];
        const ExpectedPacket& want = expected[i];
        if (datagram.length != kPacketBytes)
            return testing::AssertionFailure()
                   << "datagram " << i << " has " << datagram.length << " bytes";
        if (!IsKind(datagram, want.kind)) {
            return testing::AssertionFailure()
                   << "datagram " << i << " is kind '" << char(datagram.bytes[3])
                   << "' instead of '" << char(want.kind) << "'";
        }
        if (want.kind != wire::Kind::kHeader && want.kind != wire::Kind::kData) continue;
        const uint8_t* bytes = datagram.bytes.data();
        if (wire::BlockIndex(bytes) != want.index) {
            return testing::AssertionFailure()
                   << "datagram " << i << " ('" << char(want.kind) << "') has block index "
                   << wire::BlockIndex(bytes) << " instead of " << want.index;
        }
        if (wire::StreamLength(bytes) != stream_length) {
            return testing::AssertionFailure()
                   << "datagram " << i << " gives stream length " << wire::StreamLength(bytes);
        }
        if (std::memcmp(bytes + wire::kHeadBytes, want.payload.data(), kBlock) != 0) {
            return testing::AssertionFailure()
                   << "datagram " << i << " (block " << want.index << ") carries other bytes";
        }
    }
    return testing::AssertionSuccess();
}

Records OnPort(const Records& records, uint16_t port)
{
    Records out;
    std::copy_if(records.begin(), records.end(), std::back_inserter(out),
                 [port](const CapturedDatagram& d) { return d.port == port; });
    return out;
}

size_t CountKind(const Records& records, wire::Kind kind)
{
    return size_t(std::count_if(records.begin(), records.end(),
                                [kind](const CapturedDatagram& d) { return IsKind(d, kind); }));
}

// Stream packets only on the data port, control packets only on the control
// port, every datagram of full length.
void ExpectPortsAndSizes(const WireCapture& capture)
{
    for (const CapturedDatagram& datagram : capture.records()) {
        EXPECT_EQ(datagram.length, kPacketBytes);
        const bool control =
            IsKind(datagram, wire::Kind::kRestart) || IsKind(datagram, wire::Kind::kClose);
        EXPECT_EQ(datagram.port, control ? capture.control_port() : capture.data_port())
            << "kind '" << char(datagram.bytes[3]) << "'";
    }
}

WireCapture::Predicate HasKind(wire::Kind kind, size_t count = 1)
{
    return [kind, count](const Records& records) { return CountKind(records, kind) >= count; };
}

std::chrono::milliseconds BroadcastTime(size_t datagrams) { return datagrams * 12ms + 3s; }

double Milliseconds(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// The header that makes a file a Video CD track.
Bytes RiffHeaded(Bytes content)
{
    std::copy_n("RIFF\0\0\0\0CDXA", 12, content.begin());
    return content;
}

// When the end is reported, the end packet must already be on the wire. The
// send thread waits in the report meanwhile, so an end packet sent only
// after it could not arrive in time.
class EndOrderNotify : public RecordedBroadcastEnds {
public:
    explicit EndOrderNotify(const WireCapture& capture) : capture_(capture) {}
    void BroadcastEnded() override
    {
        end_was_sent_ = capture_.WaitFor(HasKind(wire::Kind::kEnd), 2s);
        RecordedBroadcastEnds::BroadcastEnded();
    }
    bool end_was_sent() const { return end_was_sent_; }

private:
    const WireCapture& capture_;
    std::atomic<bool> end_was_sent_{false};
};

class BroadcasterTest : public testing::Test {
protected:
    std::string Write(const std::string& name, const Bytes& content)
    {
        const std::string path = dir_.File(name);
        EXPECT_TRUE(test::WriteBytes(path, content));
        return path;
    }

    // Runs a started broadcast to its end and checks it against `stream`.
    void ExpectWholeBroadcast(Broadcaster& broadcaster, WireCapture& capture,
                              EndOrderNotify& notify, const Bytes& stream)
    {
        const auto expected = ExpectedSequence(stream, broadcaster.start_offset());
        broadcaster.Run();
        ASSERT_TRUE(capture.WaitFor(HasKind(wire::Kind::kEnd), BroadcastTime(expected.size())));
        ASSERT_TRUE(notify.WaitFor(2s));
        std::this_thread::sleep_for(50ms);
        EXPECT_TRUE(notify.end_was_sent());
        EXPECT_EQ(notify.Count(), 1u);

        const Records records = capture.records();
        const Records stream_packets = OnPort(records, capture.data_port());
        EXPECT_TRUE(MatchesSequence(stream_packets, expected, uint32_t(stream.size())));
        EXPECT_EQ(OnPort(records, capture.control_port()).size(), 0u);
        ExpectPortsAndSizes(capture);

        broadcaster.StopQuietly();
        std::this_thread::sleep_for(50ms);
        EXPECT_EQ(capture.count(), records.size()) << "sent after the end";
        EXPECT_EQ(notify.Count(), 1u);
        EXPECT_EQ(OpenDescriptorCount(broadcaster.file_name()), 0);
    }

    TempDir dir_;
};

// ---- whole broadcasts ----

TEST_F(BroadcasterTest, PlainFileGoesOutAsTheExactPacketSequence)
{
    // Seventeen chunks (a second header series after the sixteenth) and a tail.
    const Bytes stream = MpegLikeStream(wire::kHeaderBytes + 17 * wire::kChunkBytes + 3000);
    WireCapture capture(1);
    ASSERT_TRUE(capture.Start());
    EndOrderNotify notify(capture);
    Broadcaster broadcaster(Write("plain.mpg", stream), 1, kBlock, &notify);
    EXPECT_EQ(broadcaster.first_pack_offset(), 0);
    ASSERT_TRUE(broadcaster.Start(0)) << broadcaster.error();
    EXPECT_FALSE(broadcaster.sector_mode());
    EXPECT_EQ(broadcaster.stream_length(), stream.size());
    EXPECT_EQ(broadcaster.start_offset(), 0u);
    EXPECT_EQ(OpenDescriptorCount(broadcaster.file_name()), 1);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(capture.count(), 0u) << "sent before Run";

    ExpectWholeBroadcast(broadcaster, capture, notify, stream);

    // One datagram every 6 ms on average; the exact figure is benchmarked.
    const Records sent = OnPort(capture.records(), capture.data_port());
    ASSERT_GT(sent.size(), 300u);
    const double mean =
        Milliseconds(sent.back().arrival - sent.front().arrival) / double(sent.size() - 1);
    EXPECT_GT(mean, 5.5);
    EXPECT_LT(mean, 9.0);
}

TEST_F(BroadcasterTest, VideoCdTrackGoesOutAsItsUserData)
{
    const Bytes stream = MpegLikeStream(wire::kHeaderBytes + 16 * wire::kChunkBytes + 5000, 7);
    const Bytes carried = test::VcdTrackStream(stream);
    WireCapture capture(3);
    ASSERT_TRUE(capture.Start());
    EndOrderNotify notify(capture);
    Broadcaster broadcaster(Write("track.dat", test::VcdTrackOf(stream)), 3, kBlock, &notify);
    EXPECT_EQ(broadcaster.first_pack_offset(), 68);
    ASSERT_TRUE(broadcaster.Start(0)) << broadcaster.error();
    EXPECT_TRUE(broadcaster.sector_mode());
    EXPECT_EQ(broadcaster.stream_length(), carried.size());
    ExpectWholeBroadcast(broadcaster, capture, notify, carried);
}

// A track whose packs all lie beyond the scan still goes out as sectors
// from the fixed offset; any other file without a track header or sector
// sync goes out byte for byte, junk before its first pack included.
TEST_F(BroadcasterTest, OnlyATrackGoesOutAsSectors)
{
    const Bytes content = RiffHeaded(NonMpegBytes(65924 + 40 * 2352, 3));
    Bytes carried;
    for (size_t k = 0; k < 40; ++k) {
        const auto user_data = content.begin() + long(65924 + k * 2352);
        carried.insert(carried.end(), user_data, user_data + 2324);
    }
    WireCapture capture(0);
    ASSERT_TRUE(capture.Start());
    EndOrderNotify notify(capture);
    Broadcaster broadcaster(Write("late.dat", content), 0, kBlock, &notify);
    EXPECT_TRUE(broadcaster.lacks_mpeg_pack());
    ASSERT_TRUE(broadcaster.Start(0)) << broadcaster.error();
    EXPECT_TRUE(broadcaster.sector_mode());
    EXPECT_EQ(broadcaster.stream_length(), 40u * 2324);
    ExpectWholeBroadcast(broadcaster, capture, notify, carried);

    Bytes junk_first = NonMpegBytes(100, 4);
    const Bytes stream = MpegLikeStream(wire::kHeaderBytes + 2 * wire::kChunkBytes, 9);
    junk_first.insert(junk_first.end(), stream.begin(), stream.end());
    WireCapture plain_capture(2);
    ASSERT_TRUE(plain_capture.Start());
    EndOrderNotify plain_notify(plain_capture);
    Broadcaster plain(Write("junk.mpg", junk_first), 2, kBlock, &plain_notify);
    EXPECT_EQ(plain.first_pack_offset(), 100);
    ASSERT_TRUE(plain.Start(0)) << plain.error();
    EXPECT_FALSE(plain.sector_mode());
    ExpectWholeBroadcast(plain, plain_capture, plain_notify, junk_first);
}

// The station's own reception keeps to the address its receivers see.
TEST_F(BroadcasterTest, TheSenderAddressIsKnownFromStartAndSeenOnTheWire)
{
    WireCapture capture(1);
    ASSERT_TRUE(capture.Start());
    Broadcaster broadcaster(Write("plain.mpg", MpegLikeStream(300000)), 1, kBlock, nullptr);
    EXPECT_FALSE(broadcaster.sender_address().has_value());
    ASSERT_TRUE(broadcaster.Start(0));
    const auto address = broadcaster.sender_address();
    ASSERT_TRUE(address.has_value());
    broadcaster.Run();
    ASSERT_TRUE(WaitUntil([&] { return capture.count() > 0; }));
    const SenderAddress seen = capture.records().front().source;
    EXPECT_EQ(seen.port, address->port);
    EXPECT_TRUE(address->address == 0 || address->address == seen.address) << address->ToString();
    broadcaster.StopAndClose();
    EXPECT_FALSE(broadcaster.sender_address().has_value());
}

// A file that shrinks while it is sent ends the broadcast early with its
// end packet, and says why.
TEST_F(BroadcasterTest, AFileThatShrinksWhileSentEndsWithTheReason)
{
    const std::string path = Write("shrinking.mpg", MpegLikeStream(4 * 1024 * 1024));
    WireCapture capture(1);
    ASSERT_TRUE(capture.Start());
    EndOrderNotify notify(capture);
    Broadcaster broadcaster(path, 1, kBlock, &notify);
    ASSERT_TRUE(broadcaster.Start(0));
    broadcaster.Run();
    ASSERT_EQ(truncate(path.c_str(), 300000), 0);
    ASSERT_TRUE(notify.WaitFor(30s));
    broadcaster.StopQuietly();
    EXPECT_EQ(broadcaster.read_error(), "the file shrank to 300000 bytes while it was being broadcast");
    EXPECT_TRUE(broadcaster.Start(0));  // a new start forgets it
    EXPECT_EQ(broadcaster.read_error(), "");
    broadcaster.StopQuietly();
}

TEST_F(BroadcasterTest, PlainFileOf200000Bytes)
{
    const Bytes stream = MpegLikeStream(200000, 5);
    WireCapture capture(0);
    ASSERT_TRUE(capture.Start());
    EndOrderNotify notify(capture);
    Broadcaster broadcaster(Write("200000.mpg", stream), 0, kBlock, &notify);
    ASSERT_TRUE(broadcaster.Start(0));
    EXPECT_EQ(broadcaster.stream_length(), 200000u);
    EXPECT_EQ(broadcaster.start_offset(), 0u);
    ExpectWholeBroadcast(broadcaster, capture, notify, stream);

    // Chunks at 65,536 to 163,840 (blocks 32 to 95), then the 3,392 tail
    // bytes as blocks 96 and 97, the last zero-padded.
    std::vector<uint32_t> indices;
    for (const CapturedDatagram& d : capture.records())
        if (IsKind(d, wire::Kind::kData)) indices.push_back(wire::BlockIndex(d.bytes.data()));
    std::vector<uint32_t> expected(66);
    for (uint32_t i = 0; i < 66; ++i) expected[i] = 32 + i;
    EXPECT_EQ(indices, expected);
    const Bytes last = capture.records()[1 + kHeaderBlocks + 65].bytes;
    const auto tail = stream.begin() + 97 * 2048;
    EXPECT_TRUE(std::equal(tail, stream.end(), last.begin() + 12));
    EXPECT_TRUE(std::all_of(last.begin() + 12 + (stream.end() - tail), last.end(),
                            [](uint8_t b) { return b == 0; }));
}

TEST_F(BroadcasterTest, ShortStreamSendsItsBytesInTheHeader)
{
    const Bytes stream = MpegLikeStream(5000, 9);
    WireCapture capture(2);
    ASSERT_TRUE(capture.Start());
    EndOrderNotify notify(capture);
    Broadcaster broadcaster(Write("short.mpg", stream), 2, kBlock, &notify);
    ASSERT_TRUE(broadcaster.Start(0));
    // Stream-start, 32 headers (blocks 0 to 2 real, zero-padded), end.
    ExpectWholeBroadcast(broadcaster, capture, notify, stream);
    EXPECT_EQ(capture.count(), 34u);
}

TEST_F(BroadcasterTest, EveryFinishedBroadcastPostsItsEndOnce)
{
    const Bytes stream = MpegLikeStream(5000, 13);
    WireCapture capture(1);
    ASSERT_TRUE(capture.Start());
    EndOrderNotify notify(capture);
    Broadcaster broadcaster(Write("short.mpg", stream), 1, kBlock, &notify);
    ASSERT_TRUE(broadcaster.Start(0));
    ExpectWholeBroadcast(broadcaster, capture, notify, stream);
    // Played again from the start on the same object: a second broadcast.
    capture.Clear();
    ASSERT_TRUE(broadcaster.Start(0));
    broadcaster.Run();
    ASSERT_TRUE(notify.WaitFor(3s, 2));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(notify.Count(), 2u);
    EXPECT_EQ(CountKind(capture.records(), wire::Kind::kEnd), 1u);
    broadcaster.StopQuietly();
}

// ---- refusals ----

TEST_F(BroadcasterTest, StreamsThatCannotBeSentAreRefused)
{
    WireCapture capture(0);
    ASSERT_TRUE(capture.Start());
    RecordedBroadcastEnds notify;
    const std::string big = dir_.File("big.mpg");
    ASSERT_TRUE(test::WriteSparse(big, uint64_t(1) << 32));
    const struct {
        const char* what;
        std::string path;
    } cases[] = {
        {"missing", dir_.File("missing.mpg")},
        {"empty", Write("empty.mpg", {})},
        {"a track too short for its first pack", Write("stub.dat", RiffHeaded(NonMpegBytes(65923)))},
        {"a directory", dir_.path()},
        {"4 GiB", big},
    };
    for (const auto& c : cases) {
        Broadcaster broadcaster(c.path, 0, kBlock, &notify);
        EXPECT_FALSE(broadcaster.Start(0)) << c.what;
        EXPECT_FALSE(broadcaster.error().empty()) << c.what;
        EXPECT_EQ(OpenDescriptorCount(c.path), 0) << c.what;
        broadcaster.Run();  // nothing to run
        broadcaster.StopAndClose();
    }
    Broadcaster broadcaster(big, 0, kBlock, &notify);
    EXPECT_FALSE(broadcaster.Start(0));
    EXPECT_NE(broadcaster.error().find("4 GiB"), std::string::npos) << broadcaster.error();
    EXPECT_STREQ(Broadcaster::kFileErrorText, "File Error");
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(capture.count(), 0u);
    EXPECT_EQ(notify.Count(), 0u);
}

// ---- stops ----

class StopTest : public BroadcasterTest {
protected:
    // A broadcast long enough never to end by itself within a test.
    void StartRunning(int channel)
    {
        capture_ = std::make_unique<WireCapture>(channel);
        ASSERT_TRUE(capture_->Start());
        broadcaster_ = std::make_unique<Broadcaster>(Write("long.mpg", MpegLikeStream(1 << 20)),
                                                     channel, kBlock, &notify_);
        ASSERT_TRUE(broadcaster_->Start(0));
        broadcaster_->Run();
        ASSERT_TRUE(capture_->WaitForCount(20, 2s));
    }

    // After a stop: no stream packet follows the first control packet, no
    // end message, and the file is closed.
    void ExpectStoppedForGood()
    {
        const Records records = capture_->records();
        const auto first_control =
            std::find_if(records.begin(), records.end(),
                         [this](const auto& d) { return d.port == capture_->control_port(); });
        EXPECT_TRUE(std::none_of(first_control, records.end(), [this](const auto& d) {
            return d.port == capture_->data_port();
        }));
        EXPECT_EQ(CountKind(records, wire::Kind::kEnd), 0u);
        EXPECT_EQ(notify_.Count(), 0u);
        EXPECT_EQ(OpenDescriptorCount(broadcaster_->file_name()), 0);
        ExpectPortsAndSizes(*capture_);
    }

    struct Events : RecordedBroadcastEnds {
        void BroadcastRestarted(bool started) override { restarts += started ? 1 : 100; }
        std::atomic<int> restarts{0};  // 1 for each success, 100 for each failure
    };
    Events notify_;
    std::unique_ptr<WireCapture> capture_;
    std::unique_ptr<Broadcaster> broadcaster_;
};

TEST_F(StopTest, StopAndCloseSendsFourClosePackets6msApart)
{
    StartRunning(0);
    broadcaster_->StopAndClose();
    ASSERT_TRUE(capture_->WaitFor(HasKind(wire::Kind::kClose, 4), 1s));
    std::this_thread::sleep_for(100ms);
    const Records control = OnPort(capture_->records(), capture_->control_port());
    ASSERT_EQ(control.size(), 4u);
    for (size_t i = 0; i < control.size(); ++i) {
        EXPECT_TRUE(IsKind(control[i], wire::Kind::kClose));
        if (i > 0) {
            const double gap = Milliseconds(control[i].arrival - control[i - 1].arrival);
            EXPECT_GT(gap, 4.0);
            EXPECT_LT(gap, 50.0);
        }
    }
    ExpectStoppedForGood();
}

TEST_F(StopTest, StopAndRestartSendsOneRestartPacketAfter300ms)
{
    StartRunning(1);
    const auto stop_called = Clock::now();
    broadcaster_->StopAndRestart();
    ASSERT_TRUE(capture_->WaitFor(HasKind(wire::Kind::kRestart), 1s));
    std::this_thread::sleep_for(100ms);
    const Records control = OnPort(capture_->records(), capture_->control_port());
    ASSERT_EQ(control.size(), 1u);
    EXPECT_TRUE(IsKind(control[0], wire::Kind::kRestart));
    const double pause = Milliseconds(control[0].arrival - stop_called);
    EXPECT_GE(pause, 295.0);
    EXPECT_LT(pause, 1000.0);
    ExpectStoppedForGood();
}

// A restart on a thread of its own: the caller does not wait out the pause
// before the restart packet, and the new stream waits for Run. A stop in
// that pause cuts the restart short and still closes the channel.
TEST_F(StopTest, RestartAtPausesOnItsOwnThreadAndAStopCutsItShort)
{
    StartRunning(1);
    const auto called = Clock::now();
    broadcaster_->RestartAt(200000);
    EXPECT_LT(Milliseconds(Clock::now() - called), 50.0);
    ASSERT_TRUE(WaitUntil([&] { return notify_.restarts > 0; }, 2s));
    EXPECT_EQ(notify_.restarts, 1);
    ASSERT_TRUE(capture_->WaitFor(HasKind(wire::Kind::kRestart), 1s));
    Records control = OnPort(capture_->records(), capture_->control_port());
    ASSERT_EQ(control.size(), 1u);
    EXPECT_TRUE(IsKind(control[0], wire::Kind::kRestart));
    EXPECT_GE(Milliseconds(control[0].arrival - called), 295.0);
    EXPECT_EQ(broadcaster_->start_offset(), 200000 - 200000 % kBlock);
    capture_->Clear();
    broadcaster_->Run();
    ASSERT_TRUE(capture_->WaitForCount(20, 2s));

    broadcaster_->RestartAt(0);
    std::this_thread::sleep_for(100ms);
    broadcaster_->StopAndClose();
    ASSERT_TRUE(capture_->WaitFor(HasKind(wire::Kind::kClose, 4), 1s));
    std::this_thread::sleep_for(400ms);
    EXPECT_EQ(CountKind(capture_->records(), wire::Kind::kRestart), 0u);
    EXPECT_EQ(notify_.restarts, 1);
    ExpectStoppedForGood();
}

TEST_F(StopTest, StopQuietlySendsNothing)
{
    StartRunning(2);
    broadcaster_->StopQuietly();
    const size_t sent = capture_->count();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(capture_->count(), sent);
    EXPECT_EQ(OnPort(capture_->records(), capture_->control_port()).size(), 0u);
    ExpectStoppedForGood();
}

TEST_F(StopTest, StopWhileHeldStillClosesTheChannel)
{
    StartRunning(3);
    broadcaster_->HoldSend();
    broadcaster_->StopAndClose();
    ASSERT_TRUE(capture_->WaitFor(HasKind(wire::Kind::kClose, 4), 1s));
    ExpectStoppedForGood();
    broadcaster_->ReleaseSend();
}

TEST_F(BroadcasterTest, StopsOfABroadcastThatNeverRanSendNothing)
{
    WireCapture capture(0);
    ASSERT_TRUE(capture.Start());
    RecordedBroadcastEnds notify;
    const std::string path = Write("file.mpg", MpegLikeStream(300000));
    Broadcaster broadcaster(path, 0, kBlock, &notify);
    broadcaster.StopAndClose();  // constructed only
    for (auto stop :
         {&Broadcaster::StopAndClose, &Broadcaster::StopAndRestart, &Broadcaster::StopQuietly}) {
        ASSERT_TRUE(broadcaster.Start(0));
        EXPECT_EQ(OpenDescriptorCount(path), 1);
        (broadcaster.*stop)();
        EXPECT_EQ(OpenDescriptorCount(path), 0);
    }
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(capture.count(), 0u);
    EXPECT_EQ(notify.Count(), 0u);
}

// ---- repositioning ----

TEST_F(BroadcasterTest, RepositioningResumesAtTheClampedBlockAlignedOffset)
{
    const Bytes stream = MpegLikeStream(1700000, 11);
    const uint32_t length = uint32_t(stream.size());
    WireCapture capture(2);
    ASSERT_TRUE(capture.Start());
    RecordedBroadcastEnds notify;
    Broadcaster broadcaster(Write("long.mpg", stream), 2, kBlock, &notify);
    ASSERT_TRUE(broadcaster.Start(0));
    broadcaster.Run();
    ASSERT_TRUE(capture.WaitForCount(40, 2s));

    struct {
        uint32_t target;
        uint32_t start;
    } const moves[] = {
        // Beyond L - 1,536,000 (164,000): clamped there, then down to a block.
        {length, 163840},
        {length - 1536000 + 1, 163840},
        // Below it: only rounded down to a block boundary.
        {100001, 98304},
        {4096, 4096},
    };
    for (const auto& move : moves) {
        broadcaster.StopAndRestart();
        EXPECT_EQ(OpenDescriptorCount(broadcaster.file_name()), 0);
        ASSERT_TRUE(capture.WaitFor(HasKind(wire::Kind::kRestart), 1s));
        capture.Clear();
        ASSERT_TRUE(broadcaster.Start(move.target));
        EXPECT_EQ(broadcaster.start_offset(), move.start) << "target " << move.target;
        broadcaster.Run();
        // A header series and one chunk of data from the new offset.
        ASSERT_TRUE(capture.WaitForCount(1 + kHeaderBlocks + kChunkBlocks, 3s));
        const Records records = OnPort(capture.records(), capture.data_port());
        EXPECT_TRUE(MatchesSequence(records, ExpectedSequence(stream, move.start), length, false))
            << "target " << move.target;
        EXPECT_EQ(wire::BlockIndex(records[1 + kHeaderBlocks].bytes.data()),
                  (move.start + wire::kHeaderBytes) / kBlock);
    }
    broadcaster.StopAndClose();
    EXPECT_EQ(notify.Count(), 0u);
}

TEST_F(BroadcasterTest, ShortStreamIsNotClampedOnRestart)
{
    RecordedBroadcastEnds notify;
    Broadcaster broadcaster(Write("short.mpg", MpegLikeStream(1000000)), 0, kBlock, &notify);
    ASSERT_TRUE(broadcaster.Start(700001));
    // Shorter than 1,536,000 bytes: the target is only rounded down to a block.
    EXPECT_EQ(broadcaster.start_offset(), 698368u);
    broadcaster.StopQuietly();
}

// ---- holds ----

TEST_F(BroadcasterTest, HoldSendStopsTheFlowAndHoldsNest)
{
    WireCapture capture(0);
    ASSERT_TRUE(capture.Start());
    RecordedBroadcastEnds notify;
    Broadcaster broadcaster(Write("long.mpg", MpegLikeStream(1 << 20)), 0, kBlock, &notify);
    ASSERT_TRUE(broadcaster.Start(0));
    broadcaster.Run();
    ASSERT_TRUE(capture.WaitForCount(10, 2s));

    broadcaster.HoldSend();
    std::this_thread::sleep_for(20ms);  // datagrams already sent reach the capture
    const size_t held_at = capture.count();
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(capture.count(), held_at);

    broadcaster.HoldSend();
    broadcaster.ReleaseSend();  // one of two holds released: still held
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(capture.count(), held_at);

    broadcaster.ReleaseSend();
    EXPECT_TRUE(capture.WaitForCount(held_at + 10, 1s));
    // Nothing was lost or skipped by the pause.
    const Records records = capture.records();
    EXPECT_TRUE(
        MatchesSequence(records, ExpectedSequence(MpegLikeStream(1 << 20), 0), 1 << 20, false));
    broadcaster.StopQuietly();
}

TEST_F(BroadcasterTest, NothingGoesOutOnceHoldSendHasReturned)
{
    WireCapture capture(3);
    ASSERT_TRUE(capture.Start());
    RecordedBroadcastEnds notify;
    Broadcaster broadcaster(Write("long.mpg", MpegLikeStream(1 << 20)), 3, kBlock, &notify);
    ASSERT_TRUE(broadcaster.Start(0));
    broadcaster.Run();
    ASSERT_TRUE(capture.WaitForCount(5, 2s));
    // The send thread spends nearly all its time waiting for its next slot,
    // so a hold almost always lands there. Arrival times are the kernel's,
    // so a datagram stamped after the hold was sent after it.
    constexpr int kRounds = 8;
    int late_rounds = 0;
    for (int round = 0; round < kRounds; ++round) {
        broadcaster.HoldSend();
        const auto held = Clock::now();
        std::this_thread::sleep_for(30ms);
        const Records records = capture.records();
        if (std::any_of(records.begin(), records.end(),
                        [held](const auto& d) { return d.arrival > held + 1ms; })) {
            ++late_rounds;
        }
        const size_t sent = records.size();
        broadcaster.ReleaseSend();
        ASSERT_TRUE(capture.WaitForCount(sent + 2 + size_t(round % 3), 1s));
    }
    EXPECT_EQ(late_rounds, 0);
    broadcaster.StopQuietly();
}

TEST_F(BroadcasterTest, HoldBeforeRunKeepsTheFirstPacketBack)
{
    WireCapture capture(1);
    ASSERT_TRUE(capture.Start());
    RecordedBroadcastEnds notify;
    Broadcaster broadcaster(Write("long.mpg", MpegLikeStream(1 << 20)), 1, kBlock, &notify);
    ASSERT_TRUE(broadcaster.Start(0));
    broadcaster.HoldSend();
    broadcaster.Run();
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(capture.count(), 0u);
    broadcaster.ReleaseSend();
    EXPECT_TRUE(capture.WaitForCount(5, 1s));
    EXPECT_TRUE(IsKind(capture.records()[0], wire::Kind::kStreamStart));
    broadcaster.StopQuietly();
}

TEST_F(BroadcasterTest, HoldFor500msPausesAboutHalfASecond)
{
    WireCapture capture(2);
    ASSERT_TRUE(capture.Start());
    RecordedBroadcastEnds notify;
    Broadcaster broadcaster(Write("long.mpg", MpegLikeStream(1 << 20)), 2, kBlock, &notify);
    ASSERT_TRUE(broadcaster.Start(0));
    broadcaster.Run();
    ASSERT_TRUE(capture.WaitForCount(10, 2s));

    const auto held = Clock::now();
    broadcaster.HoldSendFor500ms();
    const size_t before = capture.count();
    ASSERT_TRUE(capture.WaitForCount(before + 10, 3s));
    const Records records = capture.records();
    // The first datagram after the hold, and the gap in front of it.
    const auto first_after = std::find_if(records.begin(), records.end(),
                                          [held](const auto& d) { return d.arrival > held + 1ms; });
    ASSERT_NE(first_after, records.end());
    ASSERT_NE(first_after, records.begin());
    const double waited = Milliseconds(first_after->arrival - held);
    const double gap = Milliseconds(first_after->arrival - std::prev(first_after)->arrival);
    EXPECT_GE(waited, 495.0);
    EXPECT_LT(waited, 800.0);
    EXPECT_GE(gap, 495.0);
    broadcaster.StopQuietly();
}

}  // namespace
}  // namespace kinoverd
