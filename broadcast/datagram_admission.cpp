#include "broadcast/datagram_admission.h"

#include "broadcast/packet_ring.h"
#include "broadcast/reception_events.h"
#include "broadcast/wire_format.h"

namespace kinoverd {

DatagramAdmission::Outcome DatagramAdmission::Handle(uint8_t* datagram, size_t length,
                                                     ReceptionEvents* events)
{
    // Every datagram of a broadcast is exactly one packet long; anything
    // else is not ours, and a short one would leave part of a slot stale.
    if (length != wire::PacketSize(block_size_)) return Outcome::kWrongLength;

    bool pushed = false;
    bool nearly_full = false;
    bool run = false;
    bool request_start = false;
    {
        std::lock_guard lock(mutex_);
        if (wire::HasHead(datagram, wire::Kind::kStreamStart)) accepted_ = true;
        if (wire::HasHead(datagram, wire::Kind::kRestart)) {
            if (events) events->RestartReceived();
            return Outcome::kRestart;
        }
        if (wire::HasHead(datagram, wire::Kind::kClose)) {
            if (events) events->CloseReceived();
            return Outcome::kClose;
        }
        if (!accepted_) return Outcome::kNotAccepted;
        const uint32_t header_blocks = wire::kHeaderBytes / block_size_;
        if (wire::HasHead(datagram, wire::Kind::kHeader)) {
            // The first series fills the head of the stream, block by block
            // in order; later ones would only repeat the stream's beginning
            // in the middle of live data.
            if (start_requested_ || next_header_block_ >= header_blocks ||
                wire::BlockIndex(datagram) != next_header_block_)
                return Outcome::kHeaderDropped;
            ++next_header_block_;
            wire::WriteHead(datagram, wire::Kind::kData);
        } else if (wire::HasHead(datagram, wire::Kind::kData)) {
            // Live data follows the head: a later series has no place.
            next_header_block_ = header_blocks;
        }

        pushed = ring_.Push(datagram);
        const uint64_t count = ring_.Count();
        // Once the end packet is in, no more data is coming: a stream too
        // short to fill half the ring must still start, and a playback
        // paused near the end must still play it out.
        const bool ready = count >= ring_.SlotCount() / 2 ||
                           (pushed && wire::HasHead(datagram, wire::Kind::kEnd));
        // A playback paused by an underrun resumes once half the ring is refilled.
        run = pushed && ready && start_requested_;
        nearly_full = count > uint64_t(ring_.SlotCount()) * 4 / 5;
        request_start = ready && !start_requested_;
        if (request_start) start_requested_ = true;
    }
    if (events) {
        if (run || nearly_full) events->ResumePlayback();
        if (nearly_full) events->RingNearlyFull();
        if (request_start) events->PlaybackReady();
    }
    return pushed ? Outcome::kPushed : Outcome::kRingFull;
}

void DatagramAdmission::Reset()
{
    std::lock_guard lock(mutex_);
    accepted_ = false;
    start_requested_ = false;
    next_header_block_ = 0;
    ring_.Reset();
}

void DatagramAdmission::MarkStartRequested()
{
    std::lock_guard lock(mutex_);
    start_requested_ = true;
}

bool DatagramAdmission::stream_accepted() const
{
    std::lock_guard lock(mutex_);
    return accepted_;
}

bool DatagramAdmission::start_requested() const
{
    std::lock_guard lock(mutex_);
    return start_requested_;
}

}  // namespace kinoverd
