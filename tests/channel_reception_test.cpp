// SPDX-License-Identifier: GPL-3.0-or-later
// A channel's reception as its reader sees it: blocks taken from the ring
// with their real length, the end, an empty ring, the search for the live
// data of a joined broadcast, and a reset while reception goes on. It runs
// on a channel of the private network; most tests fill the ring directly.
#include "broadcast/channel_reception.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "broadcast/multicast_socket.h"
#include "tests/support/recorded_events.h"
#include "tests/support/test_packets.h"
#include "tests/support/wait_until.h"

namespace kinoverd {
namespace {

using Clock = std::chrono::steady_clock;
using test::MakePacket;
using test::WaitUntil;
using wire::Kind;
using Take = ChannelReception::Take;
constexpr uint32_t kBlock = wire::kBlockSize;
constexpr int kChannel = 1;

std::vector<uint8_t> PayloadOf(const std::vector<uint8_t>& packet)
{
    return {packet.begin() + wire::kHeadBytes, packet.end()};
}

class ChannelReceptionTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(reception_.Start(kChannel, &events_)); }

    void Push(const std::vector<uint8_t>& packet) { ASSERT_TRUE(ring().Push(packet.data())); }
    void Push(Kind kind, uint32_t block_index = 0, uint32_t length = 7000000)
    {
        Push(MakePacket(kind, block_index, length));
    }
    ChannelReception::Block Take() { return reception_.TakeBlock(buffer_.data()); }

    PacketRing& ring() { return reception_.ring(); }

    test::RecordedEvents events_;
    ChannelReception reception_{kBlock};
    std::vector<uint8_t> buffer_ = std::vector<uint8_t>(kBlock, 0xCC);
};

TEST(ChannelReceptionSizes, TheRingHoldsOnePacketPerBlockOfTheBuffer)
{
    ChannelReception player(2048);
    EXPECT_EQ(player.ring().SlotCount(), 750u);
    EXPECT_EQ(player.ring().slot_size(), 2060u);

    ChannelReception small(1024, 64);
    EXPECT_EQ(small.ring().SlotCount(), 64u);
    EXPECT_EQ(small.ring().slot_size(), 1036u);

    // Too small to hold a packet: there is nothing to receive into.
    ChannelReception none(2048, 1);
    EXPECT_FALSE(none.Start(kChannel, nullptr));
}

TEST_F(ChannelReceptionTest, BlocksComeOutWholeInRingOrderAndTheLastIsCutToTheStreamLength)
{
    const auto first = MakePacket(Kind::kData, 40, 100000);
    const auto last = MakePacket(Kind::kData, 48, 100000);  // bytes 98304 to 99999
    Push(first);
    Push(last);
    auto block = Take();
    EXPECT_EQ(block.take, Take::kData);
    EXPECT_EQ(block.offset, 40u * kBlock);
    EXPECT_EQ(block.bytes, kBlock);
    EXPECT_EQ(buffer_, PayloadOf(first));
    block = Take();
    EXPECT_EQ(block.bytes, 100000u - 48 * kBlock);
    EXPECT_TRUE(std::equal(buffer_.begin(), buffer_.begin() + block.bytes, PayloadOf(last).begin()));
    EXPECT_EQ(reception_.stream_length(), 100000u);
    // A block wholly past the end (the header of a short stream) is no block.
    Push(Kind::kData, 49, 100000);
    EXPECT_EQ(Take().take, Take::kEmpty);
    // Whatever the data holds: a block of zeros is a block like any other.
    auto zeros = MakePacket(Kind::kData, 50, 7000000);
    std::fill(zeros.begin() + wire::kHeadBytes, zeros.end(), 0);
    Push(zeros);
    EXPECT_EQ(Take().take, Take::kData);
    EXPECT_TRUE(events_.events().empty());
}

TEST_F(ChannelReceptionTest, TheEndPacketEndsTheStreamAndPacketsThatAreNotDataAreSkipped)
{
    auto bad_zero = MakePacket(Kind::kData, 90);
    bad_zero[2] = 1;
    auto bad_magic = MakePacket(Kind::kData, 91);
    bad_magic[0] = 'R';
    bad_magic[1] = 'B';
    auto unknown = MakePacket(Kind::kData, 92);
    unknown[3] = 'Z';
    Push(Kind::kStreamStart);
    Push(Kind::kHeader, 3);  // a header the receive side did not rewrite
    Push(bad_zero);
    Push(bad_magic);
    Push(Kind::kRestart);
    Push(Kind::kClose);
    Push(unknown);
    Push(Kind::kData, 50);
    Push(Kind::kEnd);
    Push(Kind::kData, 51);
    EXPECT_EQ(Take().offset, 50u * kBlock);
    EXPECT_EQ(Take().take, Take::kEnd);
    EXPECT_EQ(ring().Count(), 1u);  // what follows the end packet stays
    EXPECT_EQ(Take().take, Take::kData);
    EXPECT_EQ(Take().take, Take::kEmpty);
}

TEST_F(ChannelReceptionTest, AWaitForPacketsEndsWithAPacketOrAnInterruption)
{
    // Nothing comes: the wait lasts its time.
    auto begin = Clock::now();
    EXPECT_FALSE(reception_.WaitForPacket(std::chrono::milliseconds(100), [] { return false; }));
    EXPECT_GE(Clock::now() - begin, std::chrono::milliseconds(90));

    // A packet ends it at once, and so does an interruption.
    std::thread pusher([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        Push(Kind::kData, 40);
    });
    begin = Clock::now();
    EXPECT_TRUE(reception_.WaitForPacket(std::chrono::seconds(10), [] { return false; }));
    EXPECT_LT(Clock::now() - begin, std::chrono::seconds(5));
    pusher.join();
    Take();

    std::atomic<bool> flushing{false};
    std::thread flusher([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        flushing = true;
        reception_.Interrupt();
    });
    begin = Clock::now();
    EXPECT_FALSE(reception_.WaitForPacket(std::chrono::seconds(10), [&] { return flushing.load(); }));
    EXPECT_LT(Clock::now() - begin, std::chrono::seconds(5));
    flusher.join();
}

TEST_F(ChannelReceptionTest, TheStartSearchSkipsTheFirst64KiB)
{
    auto bad_zero = MakePacket(Kind::kData, 40);
    bad_zero[2] = 1;
    Push(Kind::kStreamStart);
    for (uint32_t i = 0; i < 32; ++i) Push(Kind::kData, i);
    Push(bad_zero);
    Push(Kind::kData, 32);  // exactly 65536: the first block past the head
    Push(Kind::kData, 33);
    uint32_t position = 0;
    EXPECT_TRUE(reception_.FindStartPosition(&position));
    EXPECT_EQ(position, 65536u);
    // The live block itself stays, to be taken first.
    EXPECT_EQ(ring().Count(), 2u);
    EXPECT_EQ(Take().offset, 65536u);
    EXPECT_TRUE(events_.events().empty());
}

// Blocks of the demo clip as its broadcast carries them.
class ClipReceptionTest : public ChannelReceptionTest {
protected:
    void SetUp() override
    {
        ChannelReceptionTest::SetUp();
        std::ifstream file(KINOVERD_TEST_MEDIA_DIR "/demo.mpg", std::ios::binary);
        clip_.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
        ASSERT_GT(clip_.size(), 600 * kBlock);
    }
    void PushBlock(uint32_t index)
    {
        std::vector<uint8_t> packet = MakePacket(Kind::kData, index, uint32_t(clip_.size()));
        std::memcpy(packet.data() + wire::kHeadBytes, clip_.data() + index * kBlock, kBlock);
        Push(packet);
    }

    std::vector<uint8_t> clip_;
};

// The time a player shows counts from the first picture its graph shows:
// with live data right after the head that is the stream's first picture;
// after a gap, the first key frame of the live data.
TEST_F(ClipReceptionTest, TheFirstPictureShownIsTheHeadsOneUnlessTheLiveDataLeavesAGap)
{
    auto push_block = [this](uint32_t index) { PushBlock(index); };
    for (const uint32_t live_from : {32u, 200u}) {
        reception_.Reset();
        for (uint32_t i = 0; i < 32; ++i) push_block(i);
        for (uint32_t i = 0; i < 32; ++i) Take();
        for (uint32_t i = live_from; i < live_from + 60; ++i) push_block(i);
        uint32_t position = 0;
        ASSERT_TRUE(reception_.FindStartPosition(&position));
        EXPECT_EQ(position, live_from * kBlock);
        while (ring().Count() > 0) Take();
        const std::optional<double> first_picture = reception_.timing().first_picture_s;
        ASSERT_TRUE(first_picture && reception_.live_keyframe_s());
        if (live_from == 32)
            EXPECT_EQ(*reception_.live_keyframe_s(), *first_picture);
        else
            EXPECT_GT(*reception_.live_keyframe_s(), *first_picture + 1.0);
    }
}

// An outage leaves a gap of seconds in what the reader takes; a few lost
// datagrams, or the jump from the head to a late join's live data, do not
// count as one.
TEST_F(ClipReceptionTest, OnlyGapsOfASecondOrMoreOfTheStreamAreTold)
{
    for (uint32_t i = 0; i < 32; ++i) PushBlock(i);
    for (uint32_t i = 0; i < 32; ++i) Take();
    const uint32_t second = reception_.timing().mux_rate / kBlock + 1;  // blocks of a second of stream, and more
    ASSERT_GT(second, 10u);
    std::vector<uint32_t> taken;
    for (uint32_t i = 100; i < 110; ++i) taken.push_back(i);
    for (uint32_t i = 113; i < 120; ++i) taken.push_back(i);  // three lost
    for (uint32_t i = 120 + second; i < 130 + second; ++i) taken.push_back(i);
    for (const uint32_t index : taken) PushBlock(index);
    uint32_t position = 0;
    ASSERT_TRUE(reception_.FindStartPosition(&position));
    while (ring().Count() > 0) Take();
    const std::vector<ChannelReception::Gap> gaps = reception_.gaps();
    ASSERT_EQ(gaps.size(), 1u);
    EXPECT_EQ(gaps[0].from, 120 * kBlock);
    EXPECT_EQ(gaps[0].bytes, second * kBlock);
    reception_.Reset();
    EXPECT_TRUE(reception_.gaps().empty());
}

TEST_F(ChannelReceptionTest, TheStartSearchGivesUpAfter1001PacketsOrWhenTheRingStaysEmpty)
{
    // More packets than the ring holds: they keep arriving during the search.
    auto push_then_qualifying = [this](int before) {
        return std::thread([this, before] {
            for (int n = 0; n <= before; ++n) {
                const auto packet = MakePacket(Kind::kData, n < before ? 5u : 100u, 7000000);
                while (!ring().Push(packet.data())) std::this_thread::yield();
            }
        });
    };
    uint32_t position = 0;
    std::thread pusher = push_then_qualifying(1000);
    EXPECT_TRUE(reception_.FindStartPosition(&position));  // the 1001st qualifies
    EXPECT_EQ(position, 100u * kBlock);
    pusher.join();
    EXPECT_EQ(Take().offset, 100u * kBlock);

    pusher = push_then_qualifying(1001);
    EXPECT_FALSE(reception_.FindStartPosition(&position));
    pusher.join();
    ASSERT_EQ(ring().Count(), 1u);  // the search stopped right before it
    EXPECT_EQ(Take().offset, 100u * kBlock);

    position = 77;
    const auto begin = Clock::now();
    EXPECT_FALSE(reception_.FindStartPosition(&position));
    EXPECT_GE(Clock::now() - begin, std::chrono::milliseconds(400));  // about half a second
    EXPECT_EQ(position, 77u);
}

TEST_F(ChannelReceptionTest, AResetEmptiesTheRingAndForgetsTheStreamWhileReceptionGoesOn)
{
    MulticastSocket sender;
    ASSERT_TRUE(sender.OpenSender(kBlock));
    auto send = [&](const std::vector<uint8_t>& packet) {
        const uint32_t before = ring().Count();
        sender.SendTo(packet.data(), packet.size(), wire::GroupAddress(kChannel), wire::DataPort(kChannel));
        ASSERT_TRUE(WaitUntil([&] { return ring().Count() == before + 1; }));
    };
    send(MakePacket(Kind::kStreamStart));
    send(MakePacket(Kind::kData, 33, 7000000));
    EXPECT_TRUE(reception_.stream_accepted());
    reception_.Reset();
    EXPECT_EQ(ring().Count(), 0u);
    EXPECT_FALSE(reception_.stream_accepted());

    // The next broadcast is buffered again.
    send(MakePacket(Kind::kStreamStart));
    EXPECT_TRUE(reception_.stream_accepted());
    reception_.Stop();
    reception_.Stop();
}

}  // namespace
}  // namespace kinoverd
