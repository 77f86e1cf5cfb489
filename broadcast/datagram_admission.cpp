#include "broadcast/datagram_admission.h"

#include <mutex>

#include "broadcast/notify_target.h"
#include "broadcast/packet_ring.h"
#include "broadcast/reception_host.h"
#include "broadcast/wire_format.h"

namespace kinoverd {

namespace {

void PostTo(NotifyTarget* notify, int message)
{
    if (notify) notify->Post(message, 0, 0);
}

}  // namespace

DatagramAdmission::Outcome DatagramAdmission::Handle(uint8_t* datagram, size_t length)
{
    const uint32_t block_size = host_.block_size();
    // Every datagram of a broadcast is exactly one packet long; anything
    // else is not ours, and a short one would leave part of a slot stale.
    if (length != wire::PacketSize(block_size)) return Outcome::kWrongLength;

    NotifyTarget* notify = host_.notify_target();
    PacketRing& ring = *host_.packet_ring();
    bool pushed = false;
    bool nearly_full = false;
    bool run = false;
    bool request_start = false;
    {
        std::lock_guard lock(host_.admission_mutex());
        std::atomic<int>& accepted = host_.stream_accepted();
        std::atomic<int>& start_requested = host_.start_requested();

        if (wire::HasHead(datagram, wire::Kind::kStreamStart)) accepted = 1;
        if (wire::HasHead(datagram, wire::Kind::kRestart)) {
            PostTo(notify, kMsgRestart);
            return Outcome::kRestart;
        }
        if (wire::HasHead(datagram, wire::Kind::kClose)) {
            PostTo(notify, kMsgClose);
            return Outcome::kClose;
        }
        if (!accepted) return Outcome::kNotAccepted;
        if (wire::HasHead(datagram, wire::Kind::kHeader)) {
            // The first series fills the head of the ring; later ones would
            // only repeat the stream's beginning in the middle of live data.
            if (start_requested || uint64_t(ring.Count()) * block_size >= wire::kHeaderBytes)
                return Outcome::kHeaderDropped;
            wire::WriteHead(datagram, wire::Kind::kData);
        }

        pushed = ring.Push(datagram);
        const uint64_t count = ring.Count();
        // Once the end packet is in, no more data is coming: a stream too
        // short to fill half the ring must still start, and a graph paused
        // near the end must still play it out.
        const bool ready = count >= ring.SlotCount() / 2 ||
                           (pushed && wire::HasHead(datagram, wire::Kind::kEnd));
        // A graph paused by an underrun resumes once half the ring is refilled.
        run = pushed && ready && start_requested;
        nearly_full = count > uint64_t(ring.SlotCount()) * 4 / 5;
        request_start = ready && start_requested.exchange(1) == 0;
    }
    if (run || nearly_full) host_.Run();
    if (nearly_full) PostTo(notify, kMsgRingNearlyFull);
    if (request_start) PostTo(notify, kMsgRingHalfFull);
    return pushed ? Outcome::kPushed : Outcome::kRingFull;
}

}  // namespace kinoverd
