// SPDX-License-Identifier: GPL-3.0-or-later
#include "broadcast/datagram_admission.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <thread>
#include <vector>

#include "broadcast/packet_ring.h"
#include "tests/support/recorded_events.h"
#include "tests/support/test_packets.h"

namespace kinoverd {
namespace {

using test::Event;
using test::MakePacket;
using wire::Kind;
using Outcome = DatagramAdmission::Outcome;
constexpr uint32_t kLength = 9000000;
const SenderAddress kSender{0x7F000001, 40000};
const SenderAddress kOther{0x7F000002, 40000};

// A station's own reception: it keeps to its broadcaster, kSender.
class DatagramAdmissionTest : public testing::Test {
protected:
    void SetUp() override { admission_.KeepTo(kSender); }

    Outcome Feed(Kind kind, uint32_t block_index = 0, const SenderAddress& from = kSender,
                 uint32_t length = kLength)
    {
        auto packet = MakePacket(kind, block_index, length);
        return Handle(packet, from);
    }
    Outcome Handle(std::vector<uint8_t>& datagram, const SenderAddress& from = kSender)
    {
        return admission_.Handle(datagram.data(), datagram.size(), from, &events_);
    }

    // Feeds data packets with increasing block indices until the ring holds `count`.
    void FillTo(uint32_t count)
    {
        while (ring().Count() < count) ASSERT_EQ(Feed(Kind::kData, next_block_++), Outcome::kPushed);
    }

    // A stream-start packet, a whole header series, then data up to `count` packets.
    void JoinAndFillTo(uint32_t count)
    {
        Feed(Kind::kStreamStart);
        for (uint32_t i = 0; i < 32; ++i) Feed(Kind::kHeader, i);
        FillTo(count);
    }

    std::vector<uint8_t> PopPacket()
    {
        std::vector<uint8_t> packet(wire::PacketSize(wire::kBlockSize));
        EXPECT_TRUE(ring().Pop(packet.data()));
        return packet;
    }

    void Drain(const std::function<void(const uint8_t*)>& each = nullptr)
    {
        std::vector<uint8_t> packet(wire::PacketSize(wire::kBlockSize));
        while (ring().Pop(packet.data())) {
            if (each) each(packet.data());
        }
    }

    size_t Posted(Event event) const { return events_.Count(event); }
    size_t Runs() const { return events_.Count(Event::kResumePlayback); }
    PacketRing& ring() { return ring_; }

    test::RecordedEvents events_;
    PacketRing ring_{750 * wire::PacketSize(wire::kBlockSize), wire::PacketSize(wire::kBlockSize)};
    DatagramAdmission admission_{ring_, wire::kBlockSize};
    uint32_t next_block_ = 1000;
};

TEST_F(DatagramAdmissionTest, NothingIsBufferedOrPostedBeforeAStreamStart)
{
    for (uint32_t i = 0; i < 1000; ++i) ASSERT_EQ(Feed(Kind::kData, 33 + i), Outcome::kNotAccepted);
    for (uint32_t i = 0; i < 32; ++i) EXPECT_EQ(Feed(Kind::kHeader, i), Outcome::kNotAccepted);
    EXPECT_EQ(Feed(Kind::kEnd), Outcome::kNotAccepted);
    EXPECT_EQ(ring().Count(), 0u);
    EXPECT_TRUE(events_.events().empty());
    EXPECT_EQ(Runs(), 0u);
    EXPECT_EQ(admission_.stream_accepted(), false);
}

// A station joining a running broadcast: the stream-start packet, the whole
// header (blocks 0 to 31) as data, then live data.
TEST_F(DatagramAdmissionTest, JoiningABroadcastAsksForPlaybackOnceHalfTheRingIsFilled)
{
    EXPECT_EQ(Feed(Kind::kStreamStart), Outcome::kPushed);
    EXPECT_EQ(admission_.stream_accepted(), true);
    for (uint32_t i = 0; i < 32; ++i) ASSERT_EQ(Feed(Kind::kHeader, i), Outcome::kPushed) << i;
    EXPECT_EQ(ring().Count(), 33u);

    for (uint32_t i = 0; i < 341; ++i) ASSERT_EQ(Feed(Kind::kData, 3000 + i), Outcome::kPushed);
    EXPECT_EQ(ring().Count(), 374u);
    EXPECT_EQ(Posted(Event::kPlaybackReady), 0u);
    EXPECT_EQ(admission_.start_requested(), false);

    EXPECT_EQ(Feed(Kind::kData, 3341), Outcome::kPushed);  // the 342nd data packet
    EXPECT_EQ(ring().Count(), 375u);
    EXPECT_EQ(Posted(Event::kPlaybackReady), 1u);
    EXPECT_EQ(admission_.start_requested(), true);

    next_block_ = 3342;
    FillTo(600);
    EXPECT_EQ(events_.Notices().size(), 1u);

    // Ring order: the stream-start packet, the header as data blocks 0 to 31
    // with index, length and payload unchanged, then the live data.
    EXPECT_TRUE(wire::HasHead(PopPacket().data(), Kind::kStreamStart));
    for (uint32_t i = 0; i < 32; ++i) {
        auto expected = MakePacket(Kind::kHeader, i, 9000000);
        wire::WriteHead(expected.data(), Kind::kData);
        ASSERT_EQ(PopPacket(), expected) << i;
    }
    EXPECT_EQ(PopPacket(), MakePacket(Kind::kData, 3000, kLength));
}

TEST_F(DatagramAdmissionTest, OnlyTheFirstHeaderSeriesIsKeptInOrderBeforeLiveData)
{
    Feed(Kind::kStreamStart);
    EXPECT_EQ(Feed(Kind::kStreamStart), Outcome::kStreamOver);
    EXPECT_EQ(Feed(Kind::kHeader, 0), Outcome::kPushed);
    EXPECT_EQ(Feed(Kind::kHeader, 0), Outcome::kDuplicate);
    EXPECT_EQ(Feed(Kind::kHeader, 2), Outcome::kPushed);  // block 1 is lost
    EXPECT_EQ(Feed(Kind::kHeader, 1), Outcome::kDuplicate);
    EXPECT_EQ(Feed(Kind::kData, 600), Outcome::kPushed);  // blocks 3 to 31 are lost too
    // Once live data is in, the rest of a header has no place; the jump to
    // the sender's position is no loss.
    EXPECT_EQ(Feed(Kind::kHeader, 3), Outcome::kHeaderDropped);
    EXPECT_EQ(admission_.counters().lost, 1u + 29u);
    EXPECT_EQ(admission_.counters().duplicate, 2u);

    // A later series, once playback was asked for: dropped however few are held.
    next_block_ = 601;
    FillTo(375);
    ASSERT_EQ(admission_.start_requested(), true);
    Drain();
    for (uint32_t i = 0; i < 32; ++i) EXPECT_EQ(Feed(Kind::kHeader, i), Outcome::kHeaderDropped);
    EXPECT_EQ(ring().Count(), 0u);

    // A reader that starts on a short stream keeps the next series out too.
    admission_.Reset();
    Feed(Kind::kStreamStart);
    admission_.MarkStartRequested();
    EXPECT_EQ(Feed(Kind::kHeader, 0), Outcome::kHeaderDropped);
}

TEST_F(DatagramAdmissionTest, ANearlyFullRingHoldsTheSenderAndRunsThePlayback)
{
    JoinAndFillTo(375);
    EXPECT_EQ(Runs(), 0u);
    FillTo(600);
    // Every push from the 376th on, with playback asked for, runs it.
    EXPECT_EQ(Runs(), 225u);
    EXPECT_EQ(Posted(Event::kRingNearlyFull), 0u);

    FillTo(601);
    EXPECT_EQ(Posted(Event::kRingNearlyFull), 1u);
    EXPECT_EQ(Runs(), 226u);
    FillTo(749);
    EXPECT_TRUE(ring().IsFull());
    EXPECT_EQ(Posted(Event::kRingNearlyFull), 149u);
    EXPECT_EQ(Runs(), 374u);

    // Full: dropped, and lost, yet the sender is still told to hold.
    EXPECT_EQ(Feed(Kind::kData, next_block_++), Outcome::kRingFull);
    EXPECT_EQ(Feed(Kind::kData, next_block_++), Outcome::kRingFull);
    EXPECT_EQ(admission_.counters().lost, 2u);
    EXPECT_EQ(ring().Count(), 749u);
    EXPECT_EQ(Posted(Event::kRingNearlyFull), 151u);
    EXPECT_EQ(Runs(), 376u);
    // A dropped header packet is finished with before the ring is looked at.
    EXPECT_EQ(Feed(Kind::kHeader, 3), Outcome::kHeaderDropped);
    EXPECT_EQ(Posted(Event::kRingNearlyFull), 151u);
    EXPECT_EQ(Posted(Event::kPlaybackReady), 1u);
}

TEST_F(DatagramAdmissionTest, APausedPlaybackRunsAgainOnceHalfTheRingIsRefilled)
{
    JoinAndFillTo(380);
    const size_t runs = Runs();
    Drain();
    FillTo(374);
    EXPECT_EQ(Runs(), runs);
    FillTo(375);
    EXPECT_EQ(Runs(), runs + 1);
    EXPECT_EQ(Posted(Event::kPlaybackReady), 1u);
}

TEST_F(DatagramAdmissionTest, AStreamTooShortForHalfTheRingStartsWhenItsEndArrives)
{
    JoinAndFillTo(100);
    EXPECT_EQ(Posted(Event::kPlaybackReady), 0u);
    EXPECT_EQ(Feed(Kind::kEnd), Outcome::kPushed);
    EXPECT_EQ(Posted(Event::kPlaybackReady), 1u);
    EXPECT_TRUE(admission_.stream_ended());
    EXPECT_EQ(Feed(Kind::kEnd), Outcome::kStreamOver);
    EXPECT_EQ(Feed(Kind::kData, next_block_), Outcome::kStreamOver);
    EXPECT_EQ(Posted(Event::kPlaybackReady), 1u);
}

TEST_F(DatagramAdmissionTest, APlaybackPausedNearTheEndRunsOnceTheEndArrives)
{
    JoinAndFillTo(380);
    Drain();
    FillTo(10);
    const size_t runs = Runs();
    EXPECT_EQ(Feed(Kind::kEnd), Outcome::kPushed);
    EXPECT_EQ(Runs(), runs + 1);
}

TEST_F(DatagramAdmissionTest, RestartAndCloseActWhateverTheFlagsAndAreNeverBuffered)
{
    std::mt19937 random(7);
    auto control = [&](Kind kind) {
        auto packet = MakePacket(kind);
        for (size_t i = 4; i < packet.size(); ++i) packet[i] = uint8_t(random());
        return Handle(packet);
    };
    EXPECT_EQ(control(Kind::kRestart), Outcome::kRestart);
    EXPECT_EQ(control(Kind::kClose), Outcome::kClose);
    EXPECT_EQ(Posted(Event::kRestart), 1u);
    EXPECT_EQ(Posted(Event::kClose), 1u);
    EXPECT_EQ(admission_.stream_accepted(), false);

    JoinAndFillTo(749);
    EXPECT_EQ(control(Kind::kRestart), Outcome::kRestart);
    EXPECT_EQ(control(Kind::kClose), Outcome::kClose);
    EXPECT_EQ(Posted(Event::kRestart), 2u);
    EXPECT_EQ(Posted(Event::kClose), 2u);
    Drain();
    EXPECT_EQ(control(Kind::kClose), Outcome::kClose);
    EXPECT_EQ(ring().Count(), 0u);
}

TEST_F(DatagramAdmissionTest, UnknownPacketsAndBlocksThatFitNoStreamAreDropped)
{
    Feed(Kind::kStreamStart);
    auto unknown = MakePacket(Kind::kData);
    unknown[3] = 'Z';
    EXPECT_EQ(Handle(unknown), Outcome::kImplausible);
    auto restart_with_wrong_magic = MakePacket(Kind::kRestart);
    restart_with_wrong_magic[0] = 'R';
    restart_with_wrong_magic[1] = 'B';
    EXPECT_EQ(Handle(restart_with_wrong_magic), Outcome::kImplausible);
    // The first block sets the stream's length; blocks must lie inside it.
    EXPECT_EQ(Feed(Kind::kData, 100), Outcome::kPushed);
    EXPECT_EQ(Feed(Kind::kData, 101, kSender, kLength + 1), Outcome::kImplausible);
    EXPECT_EQ(Feed(Kind::kData, kLength / wire::kBlockSize + 1), Outcome::kImplausible);
    EXPECT_EQ(Feed(Kind::kData, 31), Outcome::kImplausible);  // data inside the head
    EXPECT_EQ(Feed(Kind::kHeader, 32), Outcome::kImplausible);
    EXPECT_EQ(ring().Count(), 2u);
    EXPECT_EQ(admission_.counters().implausible, 6u);
    EXPECT_EQ(admission_.counters().lost, 32u);  // the whole head
    EXPECT_TRUE(events_.events().empty());
}

// Live data comes out in strictly increasing block order: repeats are
// dropped as duplicates, older blocks as late, and gaps are lost blocks.
TEST_F(DatagramAdmissionTest, BlocksAreKeptInOrderAndGapsCountAsLost)
{
    JoinAndFillTo(33);
    for (uint32_t block : {100u, 101u, 101u, 104u, 100u, 103u, 105u, 40u, 300u})
        Feed(Kind::kData, block);
    const auto counters = admission_.counters();
    EXPECT_EQ(counters.admitted, 32u + 5u);
    EXPECT_EQ(counters.duplicate, 2u);  // 101 at once, 100 after 104
    EXPECT_EQ(counters.late, 2u);       // 103, and 40 from long before
    EXPECT_EQ(counters.lost, 2u + 194u);
    std::vector<uint32_t> order;
    Drain([&](const uint8_t* packet) { order.push_back(wire::BlockIndex(packet)); });
    EXPECT_EQ(std::vector<uint32_t>(order.end() - 5, order.end()),
              (std::vector<uint32_t>{100, 101, 104, 105, 300}));
}

// The last block ends the stream even when the end packet is lost; an end
// packet that comes before the last blocks counts them as missing.
TEST_F(DatagramAdmissionTest, TheLastBlockEndsTheStreamWithoutItsEndPacket)
{
    constexpr uint32_t kShort = 40 * wire::kBlockSize - 100;
    Feed(Kind::kStreamStart);
    for (uint32_t i = 0; i < 32; ++i) Feed(Kind::kHeader, i, kSender, kShort);
    for (uint32_t i = 32; i < 40; ++i) EXPECT_EQ(Feed(Kind::kData, i, kSender, kShort), Outcome::kPushed);
    EXPECT_TRUE(admission_.stream_ended());
    EXPECT_EQ(Posted(Event::kPlaybackReady), 1u);
    EXPECT_EQ(Feed(Kind::kEnd), Outcome::kStreamOver);
    EXPECT_EQ(ring().Count(), 1u + 40u + 1u);
    std::vector<uint8_t> last(wire::PacketSize(wire::kBlockSize));
    Drain([&](const uint8_t* packet) { std::copy_n(packet, last.size(), last.begin()); });
    EXPECT_TRUE(wire::HasHead(last.data(), Kind::kEnd));
    EXPECT_EQ(admission_.counters().lost, 0u);

    admission_.Reset();
    Feed(Kind::kStreamStart);
    for (uint32_t i = 0; i < 32; ++i) Feed(Kind::kHeader, i, kSender, kShort);
    for (uint32_t i = 32; i < 37; ++i) Feed(Kind::kData, i, kSender, kShort);
    EXPECT_EQ(Feed(Kind::kEnd), Outcome::kPushed);
    EXPECT_EQ(admission_.counters().unsent, 3u);  // less than a chunk
}

// Anyone can send to a group: nothing from another sender is buffered or
// acted on, and a sender that keeps sending a stream is a conflict.
TEST_F(DatagramAdmissionTest, OtherSendersAreCountedAndNeverActedOn)
{
    for (Kind kind : {Kind::kRestart, Kind::kClose, Kind::kStreamStart, Kind::kEnd})
        EXPECT_EQ(Feed(kind, 0, kOther), Outcome::kForeign);
    JoinAndFillTo(100);
    for (Kind kind : {Kind::kRestart, Kind::kClose, Kind::kEnd, Kind::kHeader})
        EXPECT_EQ(Feed(kind, 0, kOther), Outcome::kForeign);
    EXPECT_TRUE(events_.Notices().empty());
    for (uint32_t i = 0; i < 40; ++i) EXPECT_EQ(Feed(Kind::kData, 5000 + i, kOther), Outcome::kForeign);
    EXPECT_EQ(Posted(Event::kSenderConflict), 1u);
    EXPECT_EQ(admission_.counters().foreign, 48u);
    EXPECT_EQ(ring().Count(), 100u);
    EXPECT_EQ(admission_.counters().lost, 0u);
    EXPECT_EQ(Feed(Kind::kData, next_block_), Outcome::kPushed);  // no gap from the flood
}

// A tuner follows the sender of the stream-start packet it synchronised on
// until a reset; before that, control packets from anyone are foreign.
TEST_F(DatagramAdmissionTest, WithoutAGivenSenderTheStreamStartsSenderIsFollowed)
{
    admission_.KeepTo(std::nullopt);
    EXPECT_EQ(Feed(Kind::kClose, 0, kOther), Outcome::kForeign);
    EXPECT_EQ(Feed(Kind::kData, 40, kOther), Outcome::kNotAccepted);
    EXPECT_EQ(Feed(Kind::kStreamStart, 0, kOther), Outcome::kPushed);
    EXPECT_EQ(admission_.sender(), kOther);
    EXPECT_EQ(Feed(Kind::kStreamStart), Outcome::kForeign);
    EXPECT_EQ(Feed(Kind::kClose), Outcome::kForeign);
    EXPECT_EQ(Feed(Kind::kRestart, 0, kOther), Outcome::kRestart);
    admission_.Reset();
    EXPECT_FALSE(admission_.sender().has_value());
    EXPECT_EQ(Feed(Kind::kStreamStart), Outcome::kPushed);
    EXPECT_EQ(admission_.sender(), kSender);
    EXPECT_EQ(Posted(Event::kRestart), 1u);
    EXPECT_EQ(Posted(Event::kClose), 0u);
}

// Before it synchronises, a receiver ends on a close from the sender it
// last heard, so that it does not wait for ever for a stream that is over;
// anyone else's close is still foreign.
TEST_F(DatagramAdmissionTest, BeforeAStreamStartOnlyTheSenderLastHeardCanClose)
{
    admission_.KeepTo(std::nullopt);
    EXPECT_FALSE(admission_.last_heard().has_value());
    EXPECT_EQ(Feed(Kind::kClose), Outcome::kForeign);
    EXPECT_EQ(Feed(Kind::kData, 40, kOther), Outcome::kNotAccepted);
    EXPECT_EQ(Feed(Kind::kData, 41), Outcome::kNotAccepted);
    EXPECT_TRUE(admission_.last_heard().has_value());
    EXPECT_EQ(Feed(Kind::kClose, 0, kOther), Outcome::kForeign);
    EXPECT_EQ(Feed(Kind::kRestart), Outcome::kForeign);
    EXPECT_EQ(Feed(Kind::kClose), Outcome::kClose);
    EXPECT_EQ(events_.Notices(), std::vector<Event>{Event::kClose});
    EXPECT_EQ(ring().Count(), 0u);
}

// What a sender never sent while a receiver listened is no loss: the blocks
// before a late join are skipped, and a tail shorter than one chunk may be
// left unsent. A longer part missing at the end is lost.
TEST_F(DatagramAdmissionTest, AJoinSkipsBlocksAndAnUnsentTailIsNoLoss)
{
    constexpr uint32_t kBlocksInChunks = 96;  // four chunks after the head
    constexpr uint32_t kTail = 13192;         // the last 7 blocks, less than a chunk
    constexpr uint32_t kStreamLength = kBlocksInChunks * wire::kBlockSize + kTail;
    auto broadcast = [&](uint32_t first_live, uint32_t end_live) {
        admission_.Reset();
        admission_.ResetCounters();
        Feed(Kind::kStreamStart);
        for (uint32_t i = 0; i < 32; ++i) Feed(Kind::kHeader, i, kSender, kStreamLength);
        for (uint32_t i = first_live; i < end_live; ++i) Feed(Kind::kData, i, kSender, kStreamLength);
        EXPECT_EQ(Feed(Kind::kEnd), Outcome::kPushed);
        return admission_.counters();
    };
    const auto whole = broadcast(32, kBlocksInChunks);
    EXPECT_EQ(whole.lost + whole.skipped, 0u);
    EXPECT_EQ(whole.unsent, 7u);
    const auto late = broadcast(64, kBlocksInChunks);
    EXPECT_EQ(late.lost, 0u);
    EXPECT_EQ(late.skipped, 32u);
    EXPECT_EQ(late.unsent, 7u);
    const auto cut = broadcast(32, kBlocksInChunks - 16);
    EXPECT_EQ(cut.lost, 16u + 7u);
    EXPECT_EQ(cut.unsent, 0u);
}

// A followed sender that vanished without its end packet makes way for the
// next stream started on the channel; the station's own sender never does.
TEST_F(DatagramAdmissionTest, AFollowedSenderSilentForLongGivesWayToANewStream)
{
    admission_.KeepTo(std::nullopt);
    EXPECT_EQ(Feed(Kind::kStreamStart, 0, kOther), Outcome::kPushed);
    std::this_thread::sleep_for(DatagramAdmission::kSenderGoneAfter + std::chrono::milliseconds(50));
    EXPECT_EQ(Feed(Kind::kData, 40), Outcome::kForeign);
    EXPECT_EQ(Feed(Kind::kStreamStart), Outcome::kRestart);
    EXPECT_EQ(Posted(Event::kRestart), 1u);
    EXPECT_EQ(Feed(Kind::kStreamStart), Outcome::kPushed);
    EXPECT_EQ(admission_.sender(), kSender);

    admission_.KeepTo(kSender);
    std::this_thread::sleep_for(DatagramAdmission::kSenderGoneAfter + std::chrono::milliseconds(50));
    EXPECT_EQ(Feed(Kind::kStreamStart, 0, kOther), Outcome::kForeign);
}

TEST_F(DatagramAdmissionTest, DatagramsOfAnyOtherLengthAreDropped)
{
    for (size_t length : {0, 1, 3, 4, 12, 2059, 2061, 4108, 5000}) {
        for (Kind kind : {Kind::kStreamStart, Kind::kRestart, Kind::kClose, Kind::kData}) {
            auto full = MakePacket(kind, 40);
            // Exactly `length` bytes, so a read past them would be caught.
            std::vector<uint8_t> datagram(full.begin(), full.begin() + std::min(length, full.size()));
            datagram.resize(length, 0x55);
            EXPECT_EQ(Handle(datagram), Outcome::kWrongLength)
                << length;
        }
    }
    EXPECT_EQ(admission_.stream_accepted(), false);
    EXPECT_TRUE(events_.events().empty());

    Feed(Kind::kStreamStart);
    auto data = MakePacket(Kind::kData, 40);
    data.push_back(0);
    EXPECT_EQ(Handle(data), Outcome::kWrongLength);
    data.resize(data.size() - 2);
    EXPECT_EQ(Handle(data), Outcome::kWrongLength);
    EXPECT_EQ(ring().Count(), 1u);
}

}  // namespace
}  // namespace kinoverd
