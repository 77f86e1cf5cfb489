#include "broadcast/datagram_admission.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "broadcast/notify_target.h"
#include "tests/support/fake_reception_host.h"

namespace kinoverd {
namespace {

using test::FakeReceptionHost;
using test::MakePacket;
using wire::Kind;
using Outcome = DatagramAdmission::Outcome;

class DatagramAdmissionTest : public testing::Test {
protected:
    Outcome Feed(Kind kind, uint32_t block_index = 0)
    {
        auto packet = MakePacket(kind, block_index, 9000000);
        return admission_.Handle(packet.data(), packet.size());
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

    size_t Posted(int message) const { return host_.notify.Count(message); }
    PacketRing& ring() { return *host_.packet_ring(); }

    FakeReceptionHost host_;  // 750 slots of 2060 bytes
    DatagramAdmission admission_{host_};
    uint32_t next_block_ = 1000;
};

TEST_F(DatagramAdmissionTest, NothingIsBufferedOrPostedBeforeAStreamStart)
{
    for (uint32_t i = 0; i < 1000; ++i) ASSERT_EQ(Feed(Kind::kData, 33 + i), Outcome::kNotAccepted);
    for (uint32_t i = 0; i < 32; ++i) EXPECT_EQ(Feed(Kind::kHeader, i), Outcome::kNotAccepted);
    EXPECT_EQ(Feed(Kind::kEnd), Outcome::kNotAccepted);
    EXPECT_EQ(ring().Count(), 0u);
    EXPECT_TRUE(host_.notify.messages().empty());
    EXPECT_EQ(host_.run_calls, 0);
    EXPECT_EQ(host_.stream_accepted(), 0);
}

// A station joining a running broadcast: the stream-start packet, header
// blocks 0 to 30 as data, block 31 dropped, then live data.
TEST_F(DatagramAdmissionTest, JoiningABroadcastAsksForPlaybackOnceHalfTheRingIsFilled)
{
    EXPECT_EQ(Feed(Kind::kStreamStart), Outcome::kPushed);
    EXPECT_EQ(host_.stream_accepted(), 1);
    for (uint32_t i = 0; i < 31; ++i) ASSERT_EQ(Feed(Kind::kHeader, i), Outcome::kPushed) << i;
    EXPECT_EQ(Feed(Kind::kHeader, 31), Outcome::kHeaderDropped);
    EXPECT_EQ(ring().Count(), 32u);

    for (uint32_t i = 0; i < 342; ++i) ASSERT_EQ(Feed(Kind::kData, 5000 + i), Outcome::kPushed);
    EXPECT_EQ(ring().Count(), 374u);
    EXPECT_EQ(Posted(kMsgRingHalfFull), 0u);
    EXPECT_EQ(host_.start_requested(), 0);

    EXPECT_EQ(Feed(Kind::kData, 5342), Outcome::kPushed);  // the 343rd data packet
    EXPECT_EQ(ring().Count(), 375u);
    EXPECT_EQ(Posted(kMsgRingHalfFull), 1u);
    EXPECT_EQ(host_.start_requested(), 1);

    FillTo(600);
    EXPECT_EQ(host_.notify.messages().size(), 1u);

    // Ring order: the stream-start packet, the header as data blocks 0 to 30
    // with index, length and payload unchanged, then the live data.
    EXPECT_TRUE(wire::HasHead(PopPacket().data(), Kind::kStreamStart));
    for (uint32_t i = 0; i < 31; ++i) {
        auto expected = MakePacket(Kind::kHeader, i, 9000000);
        wire::WriteHead(expected.data(), Kind::kData);
        ASSERT_EQ(PopPacket(), expected) << i;
    }
    EXPECT_EQ(PopPacket(), MakePacket(Kind::kData, 5000, 9000000));
}

TEST_F(DatagramAdmissionTest, HeaderPacketsAreDroppedOnce32AreHeldOrPlaybackWasAskedFor)
{
    Feed(Kind::kStreamStart);
    FillTo(31);
    EXPECT_EQ(Feed(Kind::kHeader, 4), Outcome::kPushed);
    EXPECT_EQ(Feed(Kind::kHeader, 5), Outcome::kHeaderDropped);
    EXPECT_EQ(Feed(Kind::kData, 6), Outcome::kPushed);

    // A later series, once playback was asked for: dropped however few are held.
    FillTo(375);
    ASSERT_EQ(host_.start_requested(), 1);
    Drain();
    EXPECT_EQ(Feed(Kind::kStreamStart), Outcome::kPushed);
    for (uint32_t i = 0; i < 32; ++i) EXPECT_EQ(Feed(Kind::kHeader, i), Outcome::kHeaderDropped);
    EXPECT_EQ(Feed(Kind::kData, 7), Outcome::kPushed);
    EXPECT_EQ(ring().Count(), 2u);
}

TEST_F(DatagramAdmissionTest, ANearlyFullRingHoldsTheSenderAndRunsThePlayback)
{
    JoinAndFillTo(375);
    EXPECT_EQ(host_.run_calls, 0);
    FillTo(600);
    // Every push from the 376th on, with playback asked for, runs it.
    EXPECT_EQ(host_.run_calls, 225);
    EXPECT_EQ(Posted(kMsgRingNearlyFull), 0u);

    FillTo(601);
    EXPECT_EQ(Posted(kMsgRingNearlyFull), 1u);
    EXPECT_EQ(host_.run_calls, 226);
    FillTo(749);
    EXPECT_TRUE(ring().IsFull());
    EXPECT_EQ(Posted(kMsgRingNearlyFull), 149u);
    EXPECT_EQ(host_.run_calls, 374);

    // Full: dropped, yet the sender is still told to hold.
    EXPECT_EQ(Feed(Kind::kData, 1), Outcome::kRingFull);
    EXPECT_EQ(Feed(Kind::kStreamStart), Outcome::kRingFull);
    EXPECT_EQ(Feed(Kind::kEnd), Outcome::kRingFull);
    EXPECT_EQ(ring().Count(), 749u);
    EXPECT_EQ(Posted(kMsgRingNearlyFull), 152u);
    EXPECT_EQ(host_.run_calls, 377);
    // A dropped header packet is finished with before the ring is looked at.
    EXPECT_EQ(Feed(Kind::kHeader, 3), Outcome::kHeaderDropped);
    EXPECT_EQ(Posted(kMsgRingNearlyFull), 152u);
    EXPECT_EQ(Posted(kMsgRingHalfFull), 1u);
}

TEST_F(DatagramAdmissionTest, APausedPlaybackRunsAgainOnceHalfTheRingIsRefilled)
{
    JoinAndFillTo(380);
    const int runs = host_.run_calls;
    Drain();
    FillTo(374);
    EXPECT_EQ(host_.run_calls, runs);
    FillTo(375);
    EXPECT_EQ(host_.run_calls, runs + 1);
    EXPECT_EQ(Posted(kMsgRingHalfFull), 1u);
}

TEST_F(DatagramAdmissionTest, AStreamTooShortForHalfTheRingStartsWhenItsEndArrives)
{
    JoinAndFillTo(100);
    EXPECT_EQ(Posted(kMsgRingHalfFull), 0u);
    EXPECT_EQ(Feed(Kind::kEnd), Outcome::kPushed);
    EXPECT_EQ(Posted(kMsgRingHalfFull), 1u);
    EXPECT_EQ(Feed(Kind::kEnd), Outcome::kPushed);
    EXPECT_EQ(Posted(kMsgRingHalfFull), 1u);
}

TEST_F(DatagramAdmissionTest, APlaybackPausedNearTheEndRunsOnceTheEndArrives)
{
    JoinAndFillTo(380);
    Drain();
    FillTo(10);
    const int runs = host_.run_calls;
    EXPECT_EQ(Feed(Kind::kEnd), Outcome::kPushed);
    EXPECT_EQ(host_.run_calls, runs + 1);
}

TEST_F(DatagramAdmissionTest, RestartAndCloseActWhateverTheFlagsAndAreNeverBuffered)
{
    std::mt19937 random(7);
    auto control = [&](Kind kind) {
        auto packet = MakePacket(kind);
        for (size_t i = 4; i < packet.size(); ++i) packet[i] = uint8_t(random());
        return admission_.Handle(packet.data(), packet.size());
    };
    EXPECT_EQ(control(Kind::kRestart), Outcome::kRestart);
    EXPECT_EQ(control(Kind::kClose), Outcome::kClose);
    EXPECT_EQ(Posted(kMsgRestart), 1u);
    EXPECT_EQ(Posted(kMsgClose), 1u);
    EXPECT_EQ(host_.stream_accepted(), 0);

    JoinAndFillTo(749);
    EXPECT_EQ(control(Kind::kRestart), Outcome::kRestart);
    EXPECT_EQ(control(Kind::kClose), Outcome::kClose);
    EXPECT_EQ(Posted(kMsgRestart), 2u);
    EXPECT_EQ(Posted(kMsgClose), 2u);
    Drain();
    EXPECT_EQ(control(Kind::kClose), Outcome::kClose);
    EXPECT_EQ(ring().Count(), 0u);
}

TEST_F(DatagramAdmissionTest, LaterStreamStartsAndUnknownPacketsAreBufferedAndChangeNothing)
{
    Feed(Kind::kStreamStart);
    EXPECT_EQ(Feed(Kind::kStreamStart), Outcome::kPushed);
    EXPECT_EQ(host_.stream_accepted(), 1);
    EXPECT_EQ(host_.start_requested(), 0);

    auto unknown = MakePacket(Kind::kData);
    unknown[3] = 'Z';
    EXPECT_EQ(admission_.Handle(unknown.data(), unknown.size()), Outcome::kPushed);
    auto restart_with_wrong_magic = MakePacket(Kind::kRestart);
    restart_with_wrong_magic[0] = 'R';
    restart_with_wrong_magic[1] = 'B';
    EXPECT_EQ(admission_.Handle(restart_with_wrong_magic.data(), restart_with_wrong_magic.size()),
              Outcome::kPushed);
    EXPECT_EQ(ring().Count(), 4u);
    EXPECT_TRUE(host_.notify.messages().empty());
}

TEST_F(DatagramAdmissionTest, DatagramsOfAnyOtherLengthAreDropped)
{
    for (size_t length : {0, 1, 3, 4, 12, 2059, 2061, 4108, 5000}) {
        for (Kind kind : {Kind::kStreamStart, Kind::kRestart, Kind::kClose, Kind::kData}) {
            auto full = MakePacket(kind, 40);
            // Exactly `length` bytes, so a read past them would be caught.
            std::vector<uint8_t> datagram(full.begin(), full.begin() + std::min(length, full.size()));
            datagram.resize(length, 0x55);
            EXPECT_EQ(admission_.Handle(datagram.data(), datagram.size()), Outcome::kWrongLength)
                << length;
        }
    }
    EXPECT_EQ(host_.stream_accepted(), 0);
    EXPECT_TRUE(host_.notify.messages().empty());

    Feed(Kind::kStreamStart);
    auto data = MakePacket(Kind::kData, 40);
    data.push_back(0);
    EXPECT_EQ(admission_.Handle(data.data(), data.size()), Outcome::kWrongLength);
    EXPECT_EQ(admission_.Handle(data.data(), data.size() - 2), Outcome::kWrongLength);
    EXPECT_EQ(ring().Count(), 1u);
}

}  // namespace
}  // namespace kinoverd
