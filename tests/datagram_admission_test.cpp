#include "broadcast/datagram_admission.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
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

class DatagramAdmissionTest : public testing::Test {
protected:
    Outcome Feed(Kind kind, uint32_t block_index = 0)
    {
        auto packet = MakePacket(kind, block_index, 9000000);
        return Handle(packet);
    }
    Outcome Handle(std::vector<uint8_t>& datagram)
    {
        return admission_.Handle(datagram.data(), datagram.size(), &events_);
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

    void Drain()
    {
        std::vector<uint8_t> packet(wire::PacketSize(wire::kBlockSize));
        while (ring().Pop(packet.data())) {
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

    for (uint32_t i = 0; i < 341; ++i) ASSERT_EQ(Feed(Kind::kData, 5000 + i), Outcome::kPushed);
    EXPECT_EQ(ring().Count(), 374u);
    EXPECT_EQ(Posted(Event::kPlaybackReady), 0u);
    EXPECT_EQ(admission_.start_requested(), false);

    EXPECT_EQ(Feed(Kind::kData, 5341), Outcome::kPushed);  // the 342nd data packet
    EXPECT_EQ(ring().Count(), 375u);
    EXPECT_EQ(Posted(Event::kPlaybackReady), 1u);
    EXPECT_EQ(admission_.start_requested(), true);

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
    EXPECT_EQ(PopPacket(), MakePacket(Kind::kData, 5000, 9000000));
}

TEST_F(DatagramAdmissionTest, OnlyTheFirstHeaderSeriesIsKeptInOrderBeforeLiveData)
{
    Feed(Kind::kStreamStart);
    EXPECT_EQ(Feed(Kind::kHeader, 0), Outcome::kPushed);
    EXPECT_EQ(Feed(Kind::kHeader, 0), Outcome::kHeaderDropped);  // a duplicate
    EXPECT_EQ(Feed(Kind::kHeader, 2), Outcome::kHeaderDropped);  // out of order
    EXPECT_EQ(Feed(Kind::kHeader, 1), Outcome::kPushed);
    EXPECT_EQ(Feed(Kind::kData, 6), Outcome::kPushed);
    // Once live data is in, the rest of a header has no place.
    EXPECT_EQ(Feed(Kind::kHeader, 2), Outcome::kHeaderDropped);

    // A later series, once playback was asked for: dropped however few are held.
    FillTo(375);
    ASSERT_EQ(admission_.start_requested(), true);
    Drain();
    EXPECT_EQ(Feed(Kind::kStreamStart), Outcome::kPushed);
    for (uint32_t i = 0; i < 32; ++i) EXPECT_EQ(Feed(Kind::kHeader, i), Outcome::kHeaderDropped);
    EXPECT_EQ(Feed(Kind::kData, 7), Outcome::kPushed);
    EXPECT_EQ(ring().Count(), 2u);

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

    // Full: dropped, yet the sender is still told to hold.
    EXPECT_EQ(Feed(Kind::kData, 1), Outcome::kRingFull);
    EXPECT_EQ(Feed(Kind::kStreamStart), Outcome::kRingFull);
    EXPECT_EQ(Feed(Kind::kEnd), Outcome::kRingFull);
    EXPECT_EQ(ring().Count(), 749u);
    EXPECT_EQ(Posted(Event::kRingNearlyFull), 152u);
    EXPECT_EQ(Runs(), 377u);
    // A dropped header packet is finished with before the ring is looked at.
    EXPECT_EQ(Feed(Kind::kHeader, 3), Outcome::kHeaderDropped);
    EXPECT_EQ(Posted(Event::kRingNearlyFull), 152u);
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
    EXPECT_EQ(Feed(Kind::kEnd), Outcome::kPushed);
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

TEST_F(DatagramAdmissionTest, LaterStreamStartsAndUnknownPacketsAreBufferedAndChangeNothing)
{
    Feed(Kind::kStreamStart);
    EXPECT_EQ(Feed(Kind::kStreamStart), Outcome::kPushed);
    EXPECT_EQ(admission_.stream_accepted(), true);
    EXPECT_EQ(admission_.start_requested(), false);

    auto unknown = MakePacket(Kind::kData);
    unknown[3] = 'Z';
    EXPECT_EQ(Handle(unknown), Outcome::kPushed);
    auto restart_with_wrong_magic = MakePacket(Kind::kRestart);
    restart_with_wrong_magic[0] = 'R';
    restart_with_wrong_magic[1] = 'B';
    EXPECT_EQ(Handle(restart_with_wrong_magic),
              Outcome::kPushed);
    EXPECT_EQ(ring().Count(), 4u);
    EXPECT_TRUE(events_.events().empty());
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
