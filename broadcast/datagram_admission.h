// SPDX-License-Identifier: GPL-3.0-or-later
// Judges each datagram a receive thread gets: keeps to one sender,
// synchronises on its stream-start packet, acts on its restart and close
// packets (before it synchronises, on a close from the sender last heard),
// keeps the first 64 KiB of the stream (the header packets, as data) and
// buffers the live data in the packet ring in strictly increasing block
// order, counting what is lost, repeated, late, implausible, skipped, left
// unsent or sent by anyone else. It asks for playback to start when the ring is half full and
// for the station's own sender to hold when it is nearly full.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>

#include "broadcast/sender_address.h"

namespace kinoverd {

class PacketRing;
class ReceptionEvents;

class DatagramAdmission {
public:
    enum class Outcome {
        kWrongLength,    // not exactly one packet long: dropped
        kImplausible,    // unknown kind, or a block that does not fit the stream: dropped
        kForeign,        // not from the sender reception keeps to: dropped
        kRestart,        // restart packet: reported
        kClose,          // close packet: reported
        kNotAccepted,    // no stream-start packet seen yet: dropped
        kHeaderDropped,  // the header is already held, or playback asked for
        kDuplicate,      // a block already admitted: dropped
        kLate,           // older than the last block admitted: dropped
        kStreamOver,     // a repeated stream-start, or a packet after the stream's end
        kPushed,
        kRingFull,       // dropped
    };

    // Counted since construction or the last ResetCounters; blocks are
    // counted once each.
    struct Counters {
        uint64_t admitted = 0;     // data blocks buffered
        uint64_t lost = 0;         // blocks of the stream that will never be buffered
        uint64_t duplicate = 0;    // blocks that arrived again
        uint64_t late = 0;         // blocks that came after a later one (out of order)
        uint64_t implausible = 0;  // datagrams from the sender that fit no stream
        uint64_t foreign = 0;      // datagrams from any other sender
        // Blocks between a stream's head and its first live block: sent
        // before the receiver synchronised, or skipped by a restart
        // elsewhere (blocks lost right there count here too).
        uint64_t skipped = 0;
        // Blocks at the stream's end that never came, fewer than one chunk:
        // a sender sends only whole chunks and may leave such a tail out.
        uint64_t unsent = 0;
    };

    // Another sender's stream packets: this many within kConflictWindow
    // make a conflict. Fewer are a stray or forged datagram, merely counted.
    static constexpr int kConflictDatagrams = 16;
    static constexpr std::chrono::seconds kConflictWindow{1};
    // A followed sender silent this long has gone (crashed, unplugged): a
    // stream-start packet from another sender then counts as a restart.
    static constexpr std::chrono::seconds kSenderGoneAfter{2};

    DatagramAdmission(PacketRing& ring, uint32_t block_size) : ring_(ring), block_size_(block_size) {}

    // Called by the receive threads. `datagram` holds `length` received
    // bytes from `source`; a header packet that is kept is rewritten in
    // place into a data packet before it is buffered. `events` may be null.
    Outcome Handle(uint8_t* datagram, size_t length, const SenderAddress& source,
                   ReceptionEvents* events);

    // Keeps to `sender` (a station's own broadcaster; address 0.0.0.0 stands
    // for any address, for a socket that cannot tell its own) or, when
    // empty, to the sender of each stream-start packet it synchronises on,
    // until Reset. Forgets the stream and empties the ring.
    void KeepTo(std::optional<SenderAddress> sender);
    // Forgets the stream (and a sender followed since its stream-start
    // packet) and empties the ring, so that no datagram judged under the
    // old state lands in the emptied ring.
    void Reset();
    // Marks playback as asked for without waiting for the ring to fill (a
    // reader that starts on a short stream): later header series stay out.
    void MarkStartRequested();

    bool stream_accepted() const;
    bool start_requested() const;
    // The end of the stream is buffered: its last block or its end packet arrived.
    bool stream_ended() const;
    // The sender kept to now, if any.
    std::optional<SenderAddress> sender() const;
    // When a datagram of a broadcast was last heard: from the sender kept
    // to, or while there is none, any stream packet. Empty before any.
    std::optional<std::chrono::steady_clock::time_point> last_heard() const;
    Counters counters() const;
    void ResetCounters();

private:
    Outcome AdmitHeader(uint8_t* datagram);
    Outcome AdmitData(const uint8_t* datagram);
    bool Plausible(uint32_t stream_length, uint32_t block_index, bool header);
    uint32_t HeadBlocksInStream() const;
    void CountLost(uint64_t blocks) { Add(lost_, blocks); }
    void CountMissingEnd();
    void Hear(const SenderAddress& source);
    bool IsSender(const SenderAddress& source) const;
    bool NoteForeign(const uint8_t* datagram);
    bool FollowedSenderGone(const uint8_t* datagram) const;
    void ForgetStream();
    static void Add(std::atomic<uint64_t>& counter, uint64_t n = 1)
    {
        counter.store(counter.load(std::memory_order_relaxed) + n, std::memory_order_relaxed);
    }

    PacketRing& ring_;
    const uint32_t block_size_;

    mutable std::mutex mutex_;  // held while a datagram is judged and buffered
    // Guarded by mutex_.
    std::optional<SenderAddress> given_sender_;  // the owner's choice, kept across Reset
    std::optional<SenderAddress> sender_;        // the sender kept to now
    bool accepted_ = false;                      // its stream-start packet was seen
    bool start_requested_ = false;               // PlaybackReady was reported
    bool ended_ = false;                         // the stream's end is buffered
    uint32_t next_header_block_ = 0;             // the head is filled up to here
    std::optional<uint32_t> stream_length_;      // of the first header or data packet
    std::optional<uint32_t> last_block_;         // the last live data block admitted
    uint64_t recent_blocks_ = 0;                 // bit n: last_block_ - n was admitted
    // The last datagram from sender_, or while there is none, the last
    // stream packet from anyone, and who sent it; kept across Reset.
    std::optional<std::chrono::steady_clock::time_point> heard_at_;
    std::optional<SenderAddress> heard_from_;
    std::chrono::steady_clock::time_point conflict_window_start_;
    int conflict_datagrams_ = 0;                 // foreign stream packets in the window

    // Written under mutex_, read by anyone.
    std::atomic<uint64_t> admitted_{0};
    std::atomic<uint64_t> lost_{0};
    std::atomic<uint64_t> duplicate_{0};
    std::atomic<uint64_t> late_{0};
    std::atomic<uint64_t> implausible_{0};
    std::atomic<uint64_t> foreign_{0};
    std::atomic<uint64_t> skipped_{0};
    std::atomic<uint64_t> unsent_{0};
};

}  // namespace kinoverd
