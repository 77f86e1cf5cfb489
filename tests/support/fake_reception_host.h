// A reception host without sockets or a graph, for driving the receive side
// directly: a real packet ring, the two flags, recorded notifications, a
// count of Run calls and a scripted Deliver. Also builds test packets.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "broadcast/packet_ring.h"
#include "broadcast/reception_host.h"
#include "broadcast/wire_format.h"
#include "tests/support/recorded_notify.h"

namespace kinoverd::test {

// One whole datagram of `kind`. Header and data packets carry the index,
// the stream length and a payload that tells the block index apart.
inline std::vector<uint8_t> MakePacket(wire::Kind kind, uint32_t block_index = 0,
                                       uint32_t stream_length = 0,
                                       uint32_t block_size = wire::kBlockSize)
{
    std::vector<uint8_t> packet(wire::PacketSize(block_size), 0);
    wire::WriteHead(packet.data(), kind);
    wire::WriteIndexAndLength(packet.data(), block_index, stream_length);
    for (uint32_t i = 0; i < block_size; ++i)
        packet[wire::kHeadBytes + i] = uint8_t(block_index * 7 + i);
    return packet;
}

class FakeReceptionHost : public ReceptionHost {
public:
    explicit FakeReceptionHost(uint32_t slots = 750, uint32_t block_size = wire::kBlockSize)
        : block_size_(block_size),
          ring_(size_t(slots) * wire::PacketSize(block_size), wire::PacketSize(block_size))
    {
    }

    uint32_t block_size() const override { return block_size_; }
    std::atomic<int>& stream_accepted() override { return stream_accepted_; }
    std::atomic<int>& start_requested() override { return start_requested_; }
    PacketRing* packet_ring() override { return &ring_; }
    NotifyTarget* notify_target() override { return &notify; }
    std::mutex& admission_mutex() override { return admission_mutex_; }
    void Run() override { ++run_calls; }

    // Records the call and answers with deliver_result; the buffer is left alone.
    int Deliver(uint8_t*, uint32_t length, uint32_t position) override
    {
        std::lock_guard lock(deliveries_mutex_);
        deliveries_.push_back({length, position});
        return deliver_result;
    }

    struct Delivery {
        uint32_t length;
        uint32_t position;
    };
    std::vector<Delivery> Deliveries()
    {
        std::lock_guard lock(deliveries_mutex_);
        return deliveries_;
    }

    RecordedNotify notify;
    std::atomic<int> run_calls{0};
    std::atomic<int> deliver_result{1};

private:
    const uint32_t block_size_;
    PacketRing ring_;
    std::atomic<int> stream_accepted_{0};
    std::atomic<int> start_requested_{0};
    std::mutex admission_mutex_;
    std::mutex deliveries_mutex_;
    std::vector<Delivery> deliveries_;  // guarded by deliveries_mutex_
};

}  // namespace kinoverd::test
