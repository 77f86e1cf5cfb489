#include "broadcast/network_stream.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "broadcast/notify_target.h"
#include "tests/support/fake_reception_host.h"

namespace kinoverd {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int64_t kEndless = 0xFFFFFFFF;
constexpr uint32_t kUnpaced = 0xFFFFFFFF;

class NetworkStreamTest : public testing::Test {
protected:
    // Reads `count` bytes; the bytes read.
    uint32_t ReadFrom(NetworkStream& stream, uint32_t count)
    {
        std::vector<uint8_t> buffer(count ? count : 1);
        uint32_t bytes_read = 12345;
        EXPECT_EQ(stream.Read(buffer.data(), count, true, &bytes_read), kOk);
        return bytes_read;
    }

    uint32_t LastDeliveredPosition()
    {
        const auto deliveries = host_.Deliveries();
        return deliveries.empty() ? 0xDEADBEEF : deliveries.back().position;
    }

    test::FakeReceptionHost host_;
};

TEST_F(NetworkStreamTest, SetPointerAcceptsPositionsFromZeroToTheLength)
{
    NetworkStream stream(host_, kEndless, kUnpaced);
    EXPECT_EQ(stream.SetPointer(4096), kOk);
    EXPECT_EQ(stream.SetPointer(-1), kFalse);
    EXPECT_EQ(stream.SetPointer(4294967296), kFalse);
    ReadFrom(stream, 2048);
    EXPECT_EQ(LastDeliveredPosition(), 4096u);  // refusals left the position alone

    EXPECT_EQ(stream.SetPointer(4294967295), kOk);
    EXPECT_EQ(stream.SetPointer(0), kOk);
    ReadFrom(stream, 2048);
    EXPECT_EQ(LastDeliveredPosition(), 0u);
}

TEST_F(NetworkStreamTest, EveryReadIsServedWholeAndAdvancesThePosition)
{
    NetworkStream stream(host_, kEndless, kUnpaced);
    EXPECT_EQ(ReadFrom(stream, 4096), 4096u);
    EXPECT_EQ(ReadFrom(stream, 1000), 1000u);
    EXPECT_EQ(ReadFrom(stream, 4096), 4096u);
    const auto deliveries = host_.Deliveries();
    ASSERT_EQ(deliveries.size(), 3u);
    EXPECT_EQ(deliveries[0].length, 4096u);
    EXPECT_EQ(deliveries[0].position, 0u);
    EXPECT_EQ(deliveries[1].position, 4096u);
    EXPECT_EQ(deliveries[2].position, 5096u);
    EXPECT_TRUE(host_.notify.messages().empty());
}

TEST_F(NetworkStreamTest, AnEmptyRingIsReportedWithTheLow32BitsOfThePosition)
{
    NetworkStream stream(host_, int64_t(1) << 40, kUnpaced);
    host_.deliver_result = 0;
    ASSERT_EQ(stream.SetPointer(0x100001000), kOk);
    EXPECT_EQ(ReadFrom(stream, 4096), 4096u);
    EXPECT_EQ(LastDeliveredPosition(), 0x1000u);
    const auto messages = host_.notify.messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].message, kMsgRingEmpty);
    EXPECT_EQ(messages[0].wparam, 0x1000u);
    EXPECT_EQ(messages[0].lparam, 0);

    // The position moves on all the same.
    ReadFrom(stream, 4096);
    EXPECT_EQ(host_.notify.messages().back().wparam, 0x2000u);
}

TEST_F(NetworkStreamTest, ReadsAreCutAtTheLength)
{
    NetworkStream stream(host_, kEndless, kUnpaced);
    ASSERT_EQ(stream.SetPointer(kEndless - 100), kOk);
    EXPECT_EQ(ReadFrom(stream, 4096), 100u);
    EXPECT_EQ(host_.Deliveries().back().length, 100u);
    EXPECT_EQ(ReadFrom(stream, 4096), 0u);
    EXPECT_EQ(host_.Deliveries().back().length, 0u);
    EXPECT_EQ(host_.Deliveries().back().position, 0xFFFFFFFFu);

    uint32_t bytes_read = 0;
    EXPECT_EQ(stream.Read(nullptr, 16, false, &bytes_read), kPointer);
}

TEST_F(NetworkStreamTest, SizeIsTheLengthAndAvailableFollowsTheSignedRate)
{
    NetworkStream stream(host_, kEndless, kUnpaced);
    int64_t available = 1;
    EXPECT_EQ(stream.Size(&available), 4294967295);
    EXPECT_EQ(stream.Size(), 4294967295);
    // Rate 0xFFFFFFFF counts as -1: minus the milliseconds since construction.
    EXPECT_LE(available, 0);
    EXPECT_GT(available, -1000);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    stream.Size(&available);
    EXPECT_LE(available, -300);
    EXPECT_GT(available, -5000);

    NetworkStream paced(host_, 1000, 10);
    paced.Size(&available);
    EXPECT_LT(available, 1000);
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    paced.Size(&available);
    EXPECT_EQ(available, 1000);  // elapsed * 10 passed the length
}

TEST_F(NetworkStreamTest, ASmallRateHoldsAReadUntilItsBytesAreDue)
{
    NetworkStream paced(host_, kEndless, 100);  // 100 bytes per millisecond
    const auto begin = Clock::now();
    EXPECT_EQ(ReadFrom(paced, 30000), 30000u);  // due 300 ms after construction
    const auto waited = Clock::now() - begin;
    EXPECT_GE(waited, std::chrono::milliseconds(250));
    EXPECT_LT(waited, std::chrono::seconds(10));

    NetworkStream never_paced(host_, kEndless, 0);
    EXPECT_EQ(ReadFrom(never_paced, 30000), 30000u);
}

TEST_F(NetworkStreamTest, LockHoldsOtherReadersOffAndLetsItsHolderRead)
{
    NetworkStream stream(host_, kEndless, kUnpaced);
    stream.Lock();
    ASSERT_EQ(stream.SetPointer(8192), kOk);  // the holder positions and reads under its lock
    EXPECT_EQ(ReadFrom(stream, 2048), 2048u);

    std::atomic<bool> other_read{false};
    std::thread other([&] {
        ReadFrom(stream, 2048);
        other_read = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(other_read);
    stream.Unlock();
    other.join();
    EXPECT_TRUE(other_read);
    EXPECT_EQ(LastDeliveredPosition(), 10240u);
    EXPECT_EQ(stream.Alignment(), 1u);
}

}  // namespace
}  // namespace kinoverd
