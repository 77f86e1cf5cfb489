// SPDX-License-Identifier: GPL-3.0-or-later
// Seeded random datagrams against the admission rules: random lengths and
// bytes, mutated packets, floods, and readers and stops in between. Whatever
// arrives, nothing crashes or reads past a datagram, and every slot taken
// from the ring is exactly one datagram that was admitted, in order.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <deque>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "broadcast/datagram_admission.h"
#include "broadcast/packet_ring.h"
#include "tests/support/recorded_events.h"
#include "tests/support/test_packets.h"

namespace kinoverd {
namespace {

using Outcome = DatagramAdmission::Outcome;
using wire::Kind;

constexpr uint32_t kPacketSize = wire::PacketSize(wire::kBlockSize);
constexpr Kind kKinds[] = {Kind::kStreamStart, Kind::kHeader, Kind::kData,
                           Kind::kEnd,         Kind::kRestart, Kind::kClose};

// The payload of a packet-sized datagram follows from bytes 4..7, so a slot
// holding anything but one whole datagram shows. Admission may rewrite bytes
// 0..3 only.
void Seal(std::vector<uint8_t>& datagram)
{
    uint32_t nonce = 0;
    std::memcpy(&nonce, datagram.data() + 4, sizeof nonce);
    for (size_t i = wire::kHeadBytes; i < datagram.size(); ++i)
        datagram[i] = uint8_t(nonce * 2654435761u >> (i % 24));
}

bool IsSealed(const uint8_t* slot)
{
    std::vector<uint8_t> copy(slot, slot + kPacketSize);
    Seal(copy);
    return std::memcmp(copy.data(), slot, kPacketSize) == 0;
}

// Packets the ring must never hold: headers go in as data, control packets never.
const SenderAddress kSender{0x7F000001, 40000};

// What the admission buffers after a stream's last block: an end packet.
std::vector<uint8_t> EndPacket()
{
    std::vector<uint8_t> packet(kPacketSize, 0);
    wire::WriteHead(packet.data(), Kind::kEnd);
    return packet;
}

bool MayBeBuffered(const uint8_t* slot)
{
    return !wire::HasHead(slot, Kind::kHeader) && !wire::HasHead(slot, Kind::kRestart) &&
           !wire::HasHead(slot, Kind::kClose);
}

class DatagramSource {
public:
    explicit DatagramSource(uint32_t seed) : random_(seed) {}

    std::vector<uint8_t> Next()
    {
        switch (Below(10)) {
        case 0:
        case 1:
        case 2: {  // noise of any length
            std::vector<uint8_t> noise(Below(5001));
            for (auto& byte : noise) byte = uint8_t(random_());
            if (noise.size() == kPacketSize) Seal(noise);
            return noise;
        }
        case 3:
        case 4:
        case 5:
        case 6:
            return Valid();
        default:
            return Mutated();
        }
    }

    // Mostly the blocks of one long stream, in order with gaps, repeats and
    // stragglers; the block index is the seal's nonce.
    std::vector<uint8_t> Valid()
    {
        // Rare end packets: after one, nothing of the stream is taken until a reset.
        const uint32_t pick = Below(400);
        constexpr Kind kOthers[] = {Kind::kStreamStart, Kind::kHeader, Kind::kRestart, Kind::kClose};
        const Kind kind = pick == 0 ? Kind::kEnd : pick < 300 ? Kind::kData : kOthers[Below(4)];
        uint32_t index = uint32_t(random_());
        if (kind == Kind::kHeader) index = Below(40);
        if (kind == Kind::kData) index = next_block_ += Below(4) ? 1 : Below(5);
        std::vector<uint8_t> packet = test::MakePacket(kind, index, Below(500) ? 1u << 31 : uint32_t(random_()));
        Seal(packet);
        return packet;
    }

    uint32_t Below(uint32_t bound) { return uint32_t(random_() % bound); }

private:
    std::vector<uint8_t> Mutated()
    {
        std::vector<uint8_t> packet = Valid();
        switch (Below(3)) {
        case 0:  // a few head bytes changed
            for (uint32_t n = 1 + Below(3); n > 0; --n) packet[Below(4)] = uint8_t(random_());
            break;
        case 1:  // a head made of the letters the rules look for
            for (int i = 0; i < 4; ++i) packet[i] = uint8_t("RBKV\0AHPERDZ"[Below(12)]);
            break;
        default:  // a length near the right one
            packet.resize(kPacketSize - 4 + Below(9), 0x5A);
            break;
        }
        return packet;
    }

    std::mt19937 random_;
    uint32_t next_block_ = 32;
};

class DatagramFuzzTest : public testing::TestWithParam<uint32_t> {};

TEST_P(DatagramFuzzTest, EveryBufferedSlotIsOneAdmittedDatagramInArrivalOrder)
{
    PacketRing ring(750 * kPacketSize, kPacketSize);
    DatagramAdmission admission(ring, wire::kBlockSize);
    admission.KeepTo(kSender);
    test::RecordedEvents events;
    DatagramSource source(GetParam());
    std::deque<std::vector<uint8_t>> expected;
    std::vector<uint8_t> slot(kPacketSize);
    size_t start_requests = 0;  // times the start-requested flag was raised
    constexpr uint32_t kReaderPaces[] = {0, 0, 1, 2, 4};  // most pops per datagram
    uint32_t reader_pace = 0;

    for (int n = 0; n < 60000; ++n) {
        std::vector<uint8_t> datagram = source.Next();
        const bool restart = datagram.size() == kPacketSize && wire::HasHead(datagram.data(), Kind::kRestart);
        const bool start_requested_before = admission.start_requested();
        const Outcome outcome = admission.Handle(datagram.data(), datagram.size(), kSender, &events);
        if (!start_requested_before && admission.start_requested()) ++start_requests;

        ASSERT_EQ(restart, outcome == Outcome::kRestart);
        if (outcome == Outcome::kPushed) {
            ASSERT_EQ(datagram.size(), kPacketSize);
            ASSERT_TRUE(MayBeBuffered(datagram.data()));
            ASSERT_TRUE(admission.stream_accepted());
            expected.push_back(datagram);
            if (ring.Count() == expected.size() + 1) expected.push_back(EndPacket());
        }
        ASSERT_EQ(ring.Count(), expected.size());

        // The reader's pace changes now and then, from stalled to faster
        // than the traffic, so the ring runs both empty and full; rarely
        // playback stops.
        if (n % 3000 == 0) reader_pace = kReaderPaces[source.Below(5)];
        for (uint32_t k = source.Below(reader_pace + 1); k > 0 && !expected.empty(); --k) {
            ASSERT_TRUE(ring.Pop(slot.data()));
            ASSERT_EQ(slot, expected.front());
            expected.pop_front();
        }
        // Playback stops now and then, and soon after a stream's end.
        if (source.Below(admission.stream_ended() ? 50 : 4000) == 0) {
            admission.Reset();
            expected.clear();
        }
    }
    // Playback is asked for once per raising of the flag, never again while it stays set.
    EXPECT_EQ(events.Count(test::Event::kPlaybackReady), start_requests);
    EXPECT_GT(start_requests, 0u);
    // The receive side reports nothing that only the reader may report.
    EXPECT_EQ(events.Count(test::Event::kRingEmpty) +
                  events.Count(test::Event::kEndOfStream),
              0u);
}

INSTANTIATE_TEST_SUITE_P(Seeds, DatagramFuzzTest, testing::Values(1u, 2u, 20240611u));

TEST(DatagramFlood, AFloodOfValidPacketsKeepsTheRingWholeAndTheFlagsSteady)
{
    PacketRing ring(750 * kPacketSize, kPacketSize);
    DatagramAdmission admission(ring, wire::kBlockSize);
    test::RecordedEvents events;
    auto start = test::MakePacket(Kind::kStreamStart);
    admission.Handle(start.data(), start.size(), kSender, &events);
    std::vector<uint8_t> slot(kPacketSize);
    uint32_t next_popped = 0;
    for (uint32_t index = 0; index < 50000; ++index) {
        auto packet = test::MakePacket(Kind::kData, index, 1u << 31);
        admission.Handle(packet.data(), packet.size(), kSender, &events);
        if (index % 3 == 0 && ring.Pop(slot.data()) && wire::HasHead(slot.data(), Kind::kData)) {
            // Drops skip indices, but what comes out only ever moves forward.
            ASSERT_GE(wire::BlockIndex(slot.data()), next_popped);
            ASSERT_EQ(slot, test::MakePacket(Kind::kData, wire::BlockIndex(slot.data()), 1u << 31));
            next_popped = wire::BlockIndex(slot.data()) + 1;
        }
    }
    EXPECT_TRUE(ring.IsFull());
    EXPECT_EQ(events.Count(test::Event::kPlaybackReady), 1u);
    EXPECT_GT(events.Count(test::Event::kRingNearlyFull), 0u);
}

// Both receive threads handle datagrams while the reader pops and the user
// interface stops playback now and then.
TEST(DatagramFlood, ConcurrentReceiversReaderAndStopsNeverTearASlot)
{
    PacketRing ring(750 * kPacketSize, kPacketSize);
    DatagramAdmission admission(ring, wire::kBlockSize);
    test::RecordedEvents events;
    std::atomic<int> receivers_running{2};
    std::atomic<bool> bad_slot{false};

    auto receiver = [&](uint32_t seed) {
        DatagramSource source(seed);
        for (int n = 0; n < 40000; ++n) {
            // Mostly valid packets, so the ring sees real traffic.
            auto datagram = source.Below(3) == 0 ? source.Next() : source.Valid();
            admission.Handle(datagram.data(), datagram.size(), kSender, &events);
        }
        --receivers_running;
    };
    auto reader = [&] {
        for (;;) {
            const bool done = receivers_running == 0;
            const bool popped = ring.PopWith([&](const uint8_t* slot) {
                if (!IsSealed(slot) || !MayBeBuffered(slot)) bad_slot = true;
            });
            if (!popped && done) return;
            if (!popped) std::this_thread::yield();
        }
    };
    auto stopper = [&] {
        while (receivers_running > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            admission.Reset();
        }
    };

    std::thread reader_thread(reader);
    std::thread stopper_thread(stopper);
    std::thread receiver_a(receiver, 11);
    std::thread receiver_b(receiver, 12);
    receiver_a.join();
    receiver_b.join();
    reader_thread.join();
    stopper_thread.join();
    EXPECT_FALSE(bad_slot);
}

}  // namespace
}  // namespace kinoverd
