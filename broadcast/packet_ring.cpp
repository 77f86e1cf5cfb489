// SPDX-License-Identifier: GPL-3.0-or-later
#include "broadcast/packet_ring.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace kinoverd {

namespace {

size_t SlotsFor(size_t capacity_bytes, uint32_t slot_size)
{
    if (slot_size == 0) return 0;
    // Count() adds two indices below the slot count: keep that inside 32 bits.
    return std::min<size_t>(capacity_bytes / slot_size, UINT32_MAX / 2);
}

uint8_t* Allocate(size_t bytes) { return bytes ? new (std::nothrow) uint8_t[bytes] : nullptr; }

}  // namespace

PacketRing::PacketRing(size_t capacity_bytes, uint32_t slot_size)
    : slot_size_(slot_size),
      storage_(Allocate(SlotsFor(capacity_bytes, slot_size) * slot_size)),
      slot_count_(storage_ ? uint32_t(SlotsFor(capacity_bytes, slot_size)) : 0)
{
}

uint32_t PacketRing::Count() const
{
    if (slot_count_ == 0) return 0;
    const uint32_t write = write_index_.load(std::memory_order_acquire);
    const uint32_t read = read_index_.load(std::memory_order_acquire);
    return (write + slot_count_ - read) % slot_count_;
}

bool PacketRing::Push(const uint8_t* packet)
{
    std::lock_guard lock(push_mutex_);
    const uint32_t write = write_index_.load(std::memory_order_relaxed);
    if (slot_count_ < 2 || Next(write) == read_index_.load(std::memory_order_acquire)) {
        dropped_.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    std::memcpy(storage_.get() + size_t(write) * slot_size_, packet, slot_size_);
    write_index_.store(Next(write), std::memory_order_release);
    Wake();
    return true;
}

bool PacketRing::Pop(uint8_t* destination)
{
    return PopWith([this, destination](const uint8_t* slot) {
        std::memcpy(destination, slot, slot_size_);
    });
}

void PacketRing::Wake()
{
    { std::lock_guard lock(wait_mutex_); }
    arrived_.notify_all();
}

void PacketRing::Reset()
{
    std::scoped_lock lock(push_mutex_, pop_mutex_);
    write_index_.store(0, std::memory_order_release);
    read_index_.store(0, std::memory_order_release);
}

}  // namespace kinoverd
