// The controller's reception and delivery side. Reception runs on a channel
// of the private network, so its notifications have somewhere to go; most
// tests fill the ring directly.
#include "playback/media_graph_controller.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "broadcast/multicast_socket.h"
#include "broadcast/notify_target.h"
#include "tests/support/wait_until.h"
#include "tests/support/fake_reception_host.h"
#include "tests/support/recorded_notify.h"

namespace kinoverd {
namespace {

using Clock = std::chrono::steady_clock;
using test::MakePacket;
using wire::Kind;
constexpr uint32_t kBlock = wire::kBlockSize;
constexpr int kChannel = 1;

using test::WaitUntil;

std::vector<uint8_t> PayloadOf(const std::vector<uint8_t>& packet)
{
    return {packet.begin() + wire::kHeadBytes, packet.end()};
}

class MediaGraphControllerTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(controller_.StartReception(wire::GroupAddress(kChannel), wire::DataPort(kChannel),
                                             &notify_),
                  1);
    }

    void Push(const std::vector<uint8_t>& packet) { ASSERT_TRUE(ring().Push(packet.data())); }
    void Push(Kind kind, uint32_t block_index = 0, uint32_t length = 7000000)
    {
        Push(MakePacket(kind, block_index, length));
    }

    PacketRing& ring() { return *controller_.packet_ring(); }
    std::vector<int> MessageNumbers() const
    {
        std::vector<int> numbers;
        for (const auto& message : notify_.messages()) numbers.push_back(message.message);
        return numbers;
    }

    test::RecordedNotify notify_;
    MediaGraphController controller_{1500, kBlock};
};

TEST(MediaGraphControllerSizes, TheRingHoldsOnePacketPerBlockOfTheBuffer)
{
    MediaGraphController player(1500, 2048);
    EXPECT_EQ(player.packet_ring()->SlotCount(), 750u);
    EXPECT_EQ(player.packet_ring()->slot_size(), 2060u);
    EXPECT_EQ(player.block_size(), 2048u);

    MediaGraphController small(64, 1024);
    EXPECT_EQ(small.packet_ring()->SlotCount(), 64u);
    EXPECT_EQ(small.packet_ring()->slot_size(), 1036u);

    // Too small to hold a packet: there is nothing to receive into.
    MediaGraphController none(1, 2048);
    test::RecordedNotify notify;
    EXPECT_EQ(none.StartReception(wire::GroupAddress(kChannel), wire::DataPort(kChannel), &notify), 0);
}

TEST_F(MediaGraphControllerTest, AReadOfTwoBlocksTakesTwoDataPackets)
{
    const auto first = MakePacket(Kind::kData, 40, 1111111);
    const auto second = MakePacket(Kind::kData, 41, 2222222);
    Push(first);
    Push(second);
    std::vector<uint8_t> buffer(2 * kBlock, 0xCC);
    EXPECT_EQ(controller_.Deliver(buffer.data(), uint32_t(buffer.size()), 1234), 1);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + kBlock, PayloadOf(first).begin()));
    EXPECT_TRUE(std::equal(buffer.begin() + kBlock, buffer.end(), PayloadOf(second).begin()));
    EXPECT_EQ(controller_.TotalSize(), 2222222u);
    ASSERT_EQ(notify_.messages().size(), 1u);
    EXPECT_EQ(notify_.messages()[0].message, kMsgPosition);
    EXPECT_EQ(notify_.messages()[0].wparam, 1234u);
    EXPECT_EQ(ring().Count(), 0u);
}

TEST_F(MediaGraphControllerTest, ARingThatRunsEmptyAnswersWithZeros)
{
    for (int packets : {1, 0}) {
        for (int i = 0; i < packets; ++i) Push(Kind::kData, 40);
        std::vector<uint8_t> buffer(2 * kBlock, 0xCC);
        EXPECT_EQ(controller_.Deliver(buffer.data(), uint32_t(buffer.size()), 4096), 0);
        EXPECT_EQ(buffer, std::vector<uint8_t>(buffer.size(), 0)) << packets;
        EXPECT_EQ(ring().Count(), 0u);
    }
    const auto messages = notify_.messages();
    ASSERT_EQ(messages.size(), 2u);
    for (const auto& message : messages) {
        EXPECT_EQ(message.message, kMsgRingEmpty);
        EXPECT_EQ(message.wparam, 0u);
    }
}

TEST_F(MediaGraphControllerTest, TheEndPacketEndsTheReadWithZerosThenReportsThePosition)
{
    Push(Kind::kData, 40, 3333333);
    Push(Kind::kEnd);
    Push(Kind::kData, 41);
    std::vector<uint8_t> buffer(2 * kBlock, 0xCC);
    EXPECT_EQ(controller_.Deliver(buffer.data(), uint32_t(buffer.size()), 81920), 1);
    EXPECT_EQ(buffer, std::vector<uint8_t>(buffer.size(), 0));
    EXPECT_EQ(MessageNumbers(), (std::vector<int>{kMsgEndOfStream, kMsgPosition}));
    EXPECT_EQ(notify_.messages()[1].wparam, 81920u);
    EXPECT_EQ(controller_.TotalSize(), 3333333u);
    EXPECT_EQ(ring().Count(), 1u);  // what follows the end packet stays
}

TEST_F(MediaGraphControllerTest, PacketsThatAreNotDataOrEndAreSkipped)
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
    Push(Kind::kData, 50);
    Push(bad_magic);
    Push(Kind::kRestart);
    Push(Kind::kClose);
    Push(unknown);
    Push(Kind::kData, 51);

    std::vector<uint8_t> buffer(2 * kBlock + 904, 0xCC);
    EXPECT_EQ(controller_.Deliver(buffer.data(), uint32_t(buffer.size()), 0), 1);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + kBlock,
                           PayloadOf(MakePacket(Kind::kData, 50)).begin()));
    EXPECT_TRUE(std::equal(buffer.begin() + kBlock, buffer.begin() + 2 * kBlock,
                           PayloadOf(MakePacket(Kind::kData, 51)).begin()));
    // Bytes past the last whole block are zeroed, not left as they were.
    EXPECT_TRUE(std::all_of(buffer.begin() + 2 * kBlock, buffer.end(), [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(ring().Count(), 0u);
    EXPECT_EQ(MessageNumbers(), std::vector<int>{kMsgPosition});
}

TEST_F(MediaGraphControllerTest, AStreamReadFromAnEmptyRingIsZerosAndReportedTwice)
{
    NetworkStream& stream = controller_.network_stream();
    int64_t available = 0;
    EXPECT_EQ(stream.Size(&available), 4294967295);
    EXPECT_LE(available, 0);

    ASSERT_EQ(stream.SetPointer(8192), kOk);
    std::vector<uint8_t> buffer(4096, 0xCC);
    uint32_t bytes_read = 0;
    EXPECT_EQ(stream.Read(buffer.data(), 4096, true, &bytes_read), kOk);
    EXPECT_EQ(bytes_read, 4096u);
    EXPECT_EQ(buffer, std::vector<uint8_t>(4096, 0));
    const auto messages = notify_.messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].message, kMsgRingEmpty);
    EXPECT_EQ(messages[0].wparam, 0u);
    EXPECT_EQ(messages[1].message, kMsgRingEmpty);
    EXPECT_EQ(messages[1].wparam, 8192u);

    // The position moved on by the whole read.
    Push(Kind::kData, 60);
    Push(Kind::kData, 61);
    EXPECT_EQ(stream.Read(buffer.data(), 4096, true, &bytes_read), kOk);
    EXPECT_EQ(notify_.messages().back().message, kMsgPosition);
    EXPECT_EQ(notify_.messages().back().wparam, 12288u);
}

TEST_F(MediaGraphControllerTest, TheStartSearchSkipsTheFirst64KiB)
{
    auto bad_zero = MakePacket(Kind::kData, 40);
    bad_zero[2] = 1;
    Push(Kind::kStreamStart);
    for (uint32_t i = 0; i <= 32; ++i) Push(Kind::kData, i);  // 32 is exactly 65536: not past it
    Push(bad_zero);
    Push(Kind::kData, 33);
    Push(Kind::kData, 34);
    uint32_t position = 0;
    EXPECT_TRUE(controller_.FindStartPosition(&position));
    EXPECT_EQ(position, 67584u);
    EXPECT_EQ(ring().Count(), 1u);
    EXPECT_TRUE(notify_.messages().empty());
}

TEST_F(MediaGraphControllerTest, TheStartSearchGivesUpAfter1001Packets)
{
    // More packets than the ring holds: they keep arriving during the search.
    auto push_then_qualifying = [this](int before) {
        return std::thread([this, before] {
            for (int n = 0; n <= before; ++n) {
                const auto packet = MakePacket(Kind::kData, n < before ? 5 : 100);
                while (!ring().Push(packet.data())) std::this_thread::yield();
            }
        });
    };
    uint32_t position = 0;
    std::thread pusher = push_then_qualifying(1000);
    EXPECT_TRUE(controller_.FindStartPosition(&position));  // the 1001st qualifies
    EXPECT_EQ(position, 100u * kBlock);
    pusher.join();

    pusher = push_then_qualifying(1001);
    EXPECT_FALSE(controller_.FindStartPosition(&position));
    pusher.join();
    std::vector<uint8_t> left(wire::PacketSize(kBlock));
    ASSERT_EQ(ring().Count(), 1u);  // the search stopped right before it
    ring().Pop(left.data());
    EXPECT_EQ(wire::BlockIndex(left.data()), 100u);
}

TEST_F(MediaGraphControllerTest, TheStartSearchGivesUpWhenTheRingStaysEmpty)
{
    uint32_t position = 77;
    const auto begin = Clock::now();
    EXPECT_FALSE(controller_.FindStartPosition(&position));
    EXPECT_GE(Clock::now() - begin, std::chrono::milliseconds(400));  // about half a second
    EXPECT_EQ(position, 77u);
}

TEST_F(MediaGraphControllerTest, StopWithoutAGraphEmptiesTheRingAndClearsTheFlagsOnly)
{
    controller_.stream_accepted() = 1;
    controller_.start_requested() = 1;
    for (uint32_t i = 0; i < 10; ++i) Push(Kind::kData, 40 + i);
    controller_.Stop();
    controller_.Pause();
    controller_.Run();
    EXPECT_EQ(ring().Count(), 0u);
    EXPECT_EQ(controller_.stream_accepted(), 0);
    EXPECT_EQ(controller_.start_requested(), 0);
    EXPECT_TRUE(notify_.messages().empty());

    // Reception goes on: the next broadcast is buffered again.
    MulticastSocket sender;
    ASSERT_TRUE(sender.OpenSender(kBlock));
    for (auto packet : {MakePacket(Kind::kStreamStart), MakePacket(Kind::kData, 33)}) {
        const uint32_t before = ring().Count();
        sender.SendTo(packet.data(), packet.size(), wire::GroupAddress(kChannel), wire::DataPort(kChannel));
        ASSERT_TRUE(WaitUntil([&] { return ring().Count() == before + 1; }));
    }
    EXPECT_EQ(controller_.stream_accepted(), 1);
    EXPECT_EQ(controller_.StopReception(), 1);
    EXPECT_EQ(controller_.StopReception(), 0);
}

}  // namespace
}  // namespace kinoverd
