// What the receive side of a station needs from its owner (the media graph
// controller): the block size, the two reception flags, the packet ring,
// where to post reports, how to resume playback, and the delivery of ring
// data to a read.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

namespace kinoverd {

class NotifyTarget;
class PacketRing;

class ReceptionHost {
public:
    virtual ~ReceptionHost() = default;

    virtual uint32_t block_size() const = 0;
    // Set by the first stream-start packet; until then nothing is buffered.
    virtual std::atomic<int>& stream_accepted() = 0;
    // Set when the receive side asked for playback to start (message 8107).
    virtual std::atomic<int>& start_requested() = 0;
    virtual PacketRing* packet_ring() = 0;
    virtual NotifyTarget* notify_target() = 0;
    // Held while a received datagram is judged and buffered, and by the owner
    // while it clears the flags and empties the ring, so that no datagram
    // admitted under the old flags lands in the emptied ring.
    virtual std::mutex& admission_mutex() = 0;

    // Resumes playback; called by the receive threads.
    virtual void Run() = 0;
    // Fills one read of `length` bytes at stream `position` from the ring:
    // 1 when served, 0 when the ring ran empty (the buffer is then zeros).
    virtual int Deliver(uint8_t* buffer, uint32_t length, uint32_t position) = 0;
};

}  // namespace kinoverd
