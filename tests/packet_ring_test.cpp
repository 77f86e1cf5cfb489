// SPDX-License-Identifier: GPL-3.0-or-later
#include "broadcast/packet_ring.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

namespace kinoverd {
namespace {

constexpr uint32_t kSlotSize = 2060;

// A packet whose every byte follows from `id`, so a slot mixed from two
// packets or torn mid-copy is recognisable.
std::vector<uint8_t> Stamped(uint32_t id)
{
    std::vector<uint8_t> packet(kSlotSize);
    std::memcpy(packet.data(), &id, sizeof id);
    for (uint32_t i = sizeof id; i < kSlotSize; ++i) packet[i] = uint8_t(id * 131 + i * 7);
    return packet;
}

// The id of an intact stamped packet, or -1.
int64_t IdOfIntact(const std::vector<uint8_t>& packet)
{
    uint32_t id = 0;
    std::memcpy(&id, packet.data(), sizeof id);
    return packet == Stamped(id) ? int64_t(id) : -1;
}

uint32_t PopId(PacketRing& ring)
{
    std::vector<uint8_t> packet(kSlotSize);
    EXPECT_TRUE(ring.Pop(packet.data()));
    return uint32_t(IdOfIntact(packet));
}

TEST(PacketRing, SlotCountIsCapacityOverSlotSize)
{
    EXPECT_EQ(PacketRing(750 * kSlotSize, kSlotSize).SlotCount(), 750u);
    EXPECT_EQ(PacketRing(751 * kSlotSize - 1, kSlotSize).SlotCount(), 750u);
    EXPECT_EQ(PacketRing(750 * kSlotSize, kSlotSize).slot_size(), kSlotSize);
}

TEST(PacketRing, RingsTooSmallForTwoSlotsHoldNothing)
{
    for (size_t capacity : {size_t(0), size_t(kSlotSize - 1), size_t(2 * kSlotSize - 1)}) {
        PacketRing ring(capacity, kSlotSize);
        EXPECT_TRUE(ring.IsFull());
        EXPECT_FALSE(ring.Push(Stamped(1).data()));
        std::vector<uint8_t> out(kSlotSize);
        EXPECT_FALSE(ring.Pop(out.data()));
        EXPECT_EQ(ring.Count(), 0u);
    }
    EXPECT_EQ(PacketRing(1000, 0).SlotCount(), 0u);
}

TEST(PacketRing, PopsInPushOrderAndCounts)
{
    PacketRing ring(8 * kSlotSize, kSlotSize);
    EXPECT_EQ(ring.Count(), 0u);
    for (uint32_t id = 1; id <= 5; ++id) ASSERT_TRUE(ring.Push(Stamped(id).data()));
    EXPECT_EQ(ring.Count(), 5u);
    for (uint32_t id = 1; id <= 5; ++id) EXPECT_EQ(PopId(ring), id);
    EXPECT_EQ(ring.Count(), 0u);

    std::vector<uint8_t> untouched(kSlotSize, 0xAB);
    EXPECT_FALSE(ring.Pop(untouched.data()));
    EXPECT_EQ(untouched, std::vector<uint8_t>(kSlotSize, 0xAB));
}

TEST(PacketRing, IsFullOneSlotShortOfTheSlotCount)
{
    PacketRing ring(750 * kSlotSize, kSlotSize);
    for (uint32_t id = 0; id < 749; ++id) {
        ASSERT_FALSE(ring.IsFull()) << id;
        ASSERT_TRUE(ring.Push(Stamped(id).data()));
    }
    EXPECT_TRUE(ring.IsFull());
    EXPECT_EQ(ring.Count(), 749u);
    EXPECT_EQ(ring.dropped(), 0u);
    EXPECT_FALSE(ring.Push(Stamped(749).data()));
    EXPECT_EQ(ring.Count(), 749u);
    EXPECT_EQ(ring.dropped(), 1u);

    EXPECT_EQ(PopId(ring), 0u);
    EXPECT_FALSE(ring.IsFull());
    EXPECT_TRUE(ring.Push(Stamped(750).data()));
    EXPECT_TRUE(ring.IsFull());
}

TEST(PacketRing, WrapsAroundTheEndOfTheStorage)
{
    PacketRing ring(4 * kSlotSize, kSlotSize);
    uint32_t next_in = 0;
    uint32_t next_out = 0;
    // Alternate two pushes and two pops, then fill, so both indices wrap many times.
    for (int round = 0; round < 20; ++round) {
        ASSERT_TRUE(ring.Push(Stamped(next_in++).data()));
        ASSERT_TRUE(ring.Push(Stamped(next_in++).data()));
        EXPECT_EQ(ring.Count(), 2u);
        EXPECT_EQ(PopId(ring), next_out++);
        EXPECT_EQ(PopId(ring), next_out++);
    }
    while (ring.Push(Stamped(next_in).data())) ++next_in;
    EXPECT_EQ(ring.Count(), 3u);
    while (next_out < next_in) EXPECT_EQ(PopId(ring), next_out++);
}

TEST(PacketRing, ResetEmptiesTheRingWhereverItStands)
{
    PacketRing ring(4 * kSlotSize, kSlotSize);
    for (uint32_t id = 0; id < 3; ++id) ring.Push(Stamped(id).data());
    PopId(ring);
    ring.Reset();
    EXPECT_EQ(ring.Count(), 0u);
    EXPECT_FALSE(ring.IsFull());
    std::vector<uint8_t> out(kSlotSize);
    EXPECT_FALSE(ring.Pop(out.data()));

    for (uint32_t id = 10; id < 13; ++id) ASSERT_TRUE(ring.Push(Stamped(id).data()));
    EXPECT_TRUE(ring.IsFull());
    for (uint32_t id = 10; id < 13; ++id) EXPECT_EQ(PopId(ring), id);
}

TEST(PacketRing, PopWithHandsOverTheSlotInPlace)
{
    PacketRing ring(4 * kSlotSize, kSlotSize);
    ring.Push(Stamped(7).data());
    std::vector<uint8_t> seen;
    EXPECT_TRUE(ring.PopWith([&](const uint8_t* slot) { seen.assign(slot, slot + kSlotSize); }));
    EXPECT_EQ(IdOfIntact(seen), 7);
    EXPECT_FALSE(ring.PopWith([](const uint8_t*) { ADD_FAILURE() << "called on an empty ring"; }));
}

// Two receive threads push, a reader pops, and the user-interface thread
// resets now and then: every popped slot must be one whole packet, and each
// pusher's packets must come out in the order it pushed them.
TEST(PacketRing, ConcurrentPushPopAndResetNeverTearAPacket)
{
    constexpr uint32_t kPacketsPerPusher = 20000;
    PacketRing ring(8 * kSlotSize, kSlotSize);
    std::atomic<int> pushers_running{2};
    std::atomic<bool> torn{false};
    std::atomic<bool> out_of_order{false};
    std::atomic<uint32_t> popped{0};

    auto pusher = [&](uint32_t first_id) {
        for (uint32_t n = 0; n < kPacketsPerPusher; ++n) {
            const auto packet = Stamped(first_id + n);
            while (!ring.Push(packet.data())) std::this_thread::yield();
        }
        --pushers_running;
    };
    auto popper = [&] {
        std::vector<uint8_t> packet(kSlotSize);
        int64_t last_of[2] = {-1, -1};
        for (;;) {
            const bool done = pushers_running == 0;
            if (!ring.Pop(packet.data())) {
                if (done) return;
                std::this_thread::yield();
                continue;
            }
            ++popped;
            const int64_t id = IdOfIntact(packet);
            if (id < 0) {
                torn = true;
                continue;
            }
            const int pusher_index = id >= 1000000 ? 1 : 0;
            if (id <= last_of[pusher_index]) out_of_order = true;
            last_of[pusher_index] = id;
        }
    };
    std::atomic<bool> stop_resetting{false};
    auto resetter = [&] {
        while (!stop_resetting) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            ring.Reset();
        }
    };

    std::thread reset_thread(resetter);
    std::thread pop_thread(popper);
    std::thread push_a(pusher, 0);
    std::thread push_b(pusher, 1000000);
    push_a.join();
    push_b.join();
    pop_thread.join();
    stop_resetting = true;
    reset_thread.join();

    EXPECT_FALSE(torn);
    EXPECT_FALSE(out_of_order);
    EXPECT_GT(popped.load(), 0u);
}

}  // namespace
}  // namespace kinoverd
