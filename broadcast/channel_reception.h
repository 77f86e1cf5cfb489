// SPDX-License-Identifier: GPL-3.0-or-later
// The receive side of a station on one channel: two receivers (data port
// and control port) feed the admission rules, which buffer the broadcast in
// a packet ring; one reader takes the stream out of it block by block.
//
// Threads: the owner starts, stops and resets; the receive threads admit
// datagrams and report through the events; the reader (a playback source's
// streaming thread, or the tuner's loop) takes blocks and waits for them.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "broadcast/datagram_admission.h"
#include "broadcast/mpeg_pack.h"
#include "broadcast/multicast_receiver.h"
#include "broadcast/packet_ring.h"

namespace kinoverd {

class ReceptionEvents;

class ChannelReception {
public:
    // A station's ring: 1500 KiB of blocks, one packet a slot.
    static constexpr int kRingKib = 1500;
    // The start search looks at this many packets at most ...
    static constexpr int kStartSearchPackets = 1001;
    // ... and gives up when the ring stays empty this long.
    static constexpr std::chrono::milliseconds kStartSearchWait{500};

    // A ring of ((ring_kib * 1024) / block_size) slots of one packet each.
    explicit ChannelReception(uint32_t block_size, int ring_kib = kRingKib);
    // Stops both receive threads before the ring goes.
    ~ChannelReception();
    ChannelReception(const ChannelReception&) = delete;
    ChannelReception& operator=(const ChannelReception&) = delete;

    // Empties the ring, forgets the stream, zeroes the counters and listens
    // on the channel's control port and data port (both are tried),
    // reporting to `events` (may be null), which must outlive the reception.
    // True only when both listen; Stop stops what did start. Other
    // receivers of this host may listen on the same channel.
    bool Start(int channel, ReceptionEvents* events);
    // Stops the data-port receiver, then the control-port one.
    void Stop();
    // Forgets the stream and empties the ring; reception goes on.
    void Reset();
    // Admits only `sender`'s datagrams from now on (a station's own
    // broadcaster: Broadcaster::sender_address() after each Start), or, when
    // empty, those of whoever sent the stream-start packet reception
    // synchronises on, until the next Reset. Everyone else's count as
    // foreign. Forgets the stream and empties the ring; kept across Reset
    // and Start.
    void KeepToSender(std::optional<SenderAddress> sender) { admission_.KeepTo(sender); }

    // What TakeBlock found.
    enum class Take {
        kData,   // a block of the stream
        kEmpty,  // nothing buffered: an underrun
        kEnd,    // the end packet
    };
    struct Block {
        Take take = Take::kEmpty;
        uint32_t offset = 0;  // the block's byte position in the stream
        uint32_t bytes = 0;   // real bytes: the last block is cut to the stream length
    };
    // The next block of the stream, its payload copied to `destination`
    // (room for one block); packets that are not data or end are skipped.
    Block TakeBlock(uint8_t* destination);
    // For the reader: waits until a packet is buffered, `interrupted()`
    // turns true after an Interrupt, or `timeout` passes. True with a packet.
    template <typename Interrupted>
    bool WaitForPacket(std::chrono::milliseconds timeout, Interrupted&& interrupted)
    {
        return ring_.WaitForPacket(timeout, interrupted);
    }
    void Interrupt() { ring_.Wake(); }
    // A reader that starts before the ring is half full (a short stream)
    // keeps later header series out of the stream.
    void MarkReadingStarted() { admission_.MarkStartRequested(); }

    // Drops packets up to the first data packet past the stream's first
    // 64 KiB and gives its byte position: where a joined broadcast's live
    // data begins. That packet stays, to be taken next. Waits while the
    // ring is empty, up to kStartSearchWait at a time. False when none
    // turns up among kStartSearchPackets packets or the ring stays empty
    // that long.
    bool FindStartPosition(uint32_t* position);

    uint32_t block_size() const { return block_size_; }
    // Stream length carried by the last data block taken.
    uint32_t stream_length() const { return stream_length_; }
    // What the stream's head says of its timing, and the presentation time
    // of the first picture that can be shown since the live data began;
    // nothing until they were taken.
    StreamTiming timing() const;
    std::optional<double> live_keyframe_s() const;
    // A stretch of a second or more of the stream that the reader jumped
    // over since the live data began (an outage): the demuxer carries its
    // clock on across it, so from there on the picture's own time runs
    // ahead of the graph's by its length.
    struct Gap {
        uint32_t from = 0;   // the first byte missing
        uint32_t bytes = 0;  // how many are
    };
    std::vector<Gap> gaps() const;
    bool stream_accepted() const { return admission_.stream_accepted(); }
    // The stream's last block or its end packet is buffered.
    bool stream_ended() const { return admission_.stream_ended(); }
    // The sender whose datagrams are admitted now, if any.
    std::optional<SenderAddress> sender() const { return admission_.sender(); }
    // Lost, duplicate, late, implausible and foreign datagrams since Start.
    DatagramAdmission::Counters counters() const { return admission_.counters(); }
    ReceptionEvents* events() const { return events_; }
    PacketRing& ring() { return ring_; }
    DatagramAdmission& admission() { return admission_; }

private:
    void NoteTiming(const Block& block, const uint8_t* data);
    void NoteGap(uint32_t offset, uint32_t bytes);

    const uint32_t block_size_;
    PacketRing ring_;
    DatagramAdmission admission_;
    MulticastReceiver data_receiver_;
    MulticastReceiver control_receiver_;
    std::atomic<ReceptionEvents*> events_{nullptr};  // set by Start, read by every thread
    std::atomic<uint32_t> stream_length_{0};         // written by the reader
    // Where the reader's next block should begin (0: not known yet):
    // written by the reader, set back by the owner's Reset and the start
    // search.
    std::atomic<uint32_t> next_offset_{0};
    std::vector<Gap> gaps_;  // guarded by timing_mutex_; found by the reader
    mutable std::mutex timing_mutex_;
    StreamTiming timing_;                 // guarded by timing_mutex_; written by the reader
    FirstKeyframeScan live_scan_;  // guarded by timing_mutex_; restarted by the start search
};

}  // namespace kinoverd
