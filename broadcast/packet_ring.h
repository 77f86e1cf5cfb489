// SPDX-License-Identifier: GPL-3.0-or-later
// The receive side's buffer of packets: a fixed ring of equal slots, filled
// by the receive threads and drained by the reader of the stream. One slot
// always stays free, so a ring of n slots holds at most n - 1 packets.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <type_traits>

namespace kinoverd {

class PacketRing {
public:
    // slot count = capacity_bytes / slot_size. A ring whose storage cannot be
    // allocated, or that gets fewer than two slots, can hold nothing.
    PacketRing(size_t capacity_bytes, uint32_t slot_size);
    PacketRing(const PacketRing&) = delete;
    PacketRing& operator=(const PacketRing&) = delete;

    uint32_t SlotCount() const { return slot_count_; }
    uint32_t slot_size() const { return slot_size_; }
    uint32_t Count() const;
    bool IsFull() const { return Count() + 1 >= slot_count_; }

    // Copies slot_size bytes of `packet` into the ring; false when it is
    // full, and the packet counts as dropped.
    bool Push(const uint8_t* packet);
    // Packets refused because the ring was full, since construction.
    uint64_t dropped() const { return dropped_.load(std::memory_order_relaxed); }

    // Copies the oldest packet out and frees its slot; false when empty.
    bool Pop(uint8_t* destination);

    // Hands the oldest packet to `consume(const uint8_t* slot)` in place,
    // then frees its slot unless `consume` returns false; false when empty.
    // Saves a copy for readers that want only part of a packet.
    template <typename Consume>
    bool PopWith(Consume&& consume);

    // Empties the ring. Waits for a push or pop in progress to finish.
    void Reset();

    // Waits until the ring holds a packet, `interrupted()` turns true (after
    // a Wake) or `timeout` passes: true when a packet is there. For the one
    // reader; the receive threads never wait.
    template <typename Interrupted>
    bool WaitForPacket(std::chrono::milliseconds timeout, Interrupted&& interrupted);
    // Wakes a WaitForPacket so that it re-checks its `interrupted`.
    void Wake();

private:
    uint32_t Next(uint32_t index) const { return index + 1 == slot_count_ ? 0 : index + 1; }

    const uint32_t slot_size_;
    const std::unique_ptr<uint8_t[]> storage_;
    const uint32_t slot_count_;

    // A slot's bytes are complete before the index that hands it over is
    // stored (release) and read only after that index is loaded (acquire).
    std::mutex push_mutex_;                // serialises pushes; held by Reset
    std::mutex pop_mutex_;                 // serialises pops; held by Reset
    std::atomic<uint32_t> write_index_{0};  // stored under push_mutex_
    std::atomic<uint32_t> read_index_{0};   // stored under pop_mutex_
    std::atomic<uint64_t> dropped_{0};

    // A push or Wake passes through wait_mutex_ before notifying, so a reader
    // that found the ring empty under it is already waiting.
    std::mutex wait_mutex_;
    std::condition_variable arrived_;
};

template <typename Interrupted>
bool PacketRing::WaitForPacket(std::chrono::milliseconds timeout, Interrupted&& interrupted)
{
    std::unique_lock lock(wait_mutex_);
    arrived_.wait_for(lock, timeout, [&] { return Count() > 0 || interrupted(); });
    return Count() > 0;
}

template <typename Consume>
bool PacketRing::PopWith(Consume&& consume)
{
    std::lock_guard lock(pop_mutex_);
    const uint32_t read = read_index_.load(std::memory_order_relaxed);
    if (read == write_index_.load(std::memory_order_acquire)) return false;
    const uint8_t* slot = storage_.get() + size_t(read) * slot_size_;
    if constexpr (std::is_same_v<decltype(consume(slot)), bool>) {
        if (!consume(slot)) return true;
    } else {
        consume(slot);
    }
    read_index_.store(Next(read), std::memory_order_release);
    return true;
}

}  // namespace kinoverd
