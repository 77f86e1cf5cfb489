// Judges each datagram a receive thread gets: synchronises on the
// stream-start packet, acts on restart and close packets, keeps the first
// 64 KiB of the stream (the header packets, as data) and buffers the rest in
// the packet ring, asking for playback to start when the ring is half full
// and for the station's own sender to hold when it is nearly full.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>

namespace kinoverd {

class PacketRing;
class ReceptionEvents;

class DatagramAdmission {
public:
    enum class Outcome {
        kWrongLength,    // not exactly one packet long: dropped
        kRestart,        // restart packet: reported
        kClose,          // close packet: reported
        kNotAccepted,    // no stream-start packet seen yet: dropped
        kHeaderDropped,  // the header is already held, or playback asked for
        kPushed,
        kRingFull,       // dropped
    };

    DatagramAdmission(PacketRing& ring, uint32_t block_size) : ring_(ring), block_size_(block_size) {}

    // Called by the receive threads. `datagram` holds `length` received
    // bytes; a header packet that is kept is rewritten in place into a data
    // packet before it is buffered. `events` may be null.
    Outcome Handle(uint8_t* datagram, size_t length, ReceptionEvents* events);

    // Forgets the stream and empties the ring, so that no datagram judged
    // under the old state lands in the emptied ring.
    void Reset();
    // Marks playback as asked for without waiting for the ring to fill (a
    // reader that starts on a short stream): later header series stay out.
    void MarkStartRequested();

    bool stream_accepted() const;
    bool start_requested() const;

private:
    PacketRing& ring_;
    const uint32_t block_size_;

    mutable std::mutex mutex_;       // held while a datagram is judged and buffered
    bool accepted_ = false;          // guarded by mutex_: a stream-start packet was seen
    bool start_requested_ = false;   // guarded by mutex_: PlaybackReady was reported
    uint32_t next_header_block_ = 0; // guarded by mutex_: header blocks kept so far, in order
};

}  // namespace kinoverd
