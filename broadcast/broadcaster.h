// SPDX-License-Identifier: GPL-3.0-or-later
// Sends one file's stream on one channel as the paced packet sequence of a
// broadcast. A reader thread cuts the stream into packets and fills a ring of
// 100 packet slots; a send thread empties it, one datagram every 6 ms.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "broadcast/manual_reset_event.h"
#include "broadcast/media_stream_file.h"
#include "broadcast/multicast_socket.h"
#include "broadcast/wire_format.h"

namespace kinoverd {

class BroadcasterEvents;
class TrackOpener;

class Broadcaster {
public:
    // What the user is shown when start refuses the file.
    static constexpr const char* kFileErrorText = "File Error";
    // A repositioned start begins at least this far before the stream's end.
    static constexpr uint32_t kRestartTailBytes = 1536000;
    static constexpr int kRingSlots = 100;

    // Scans the file for its first pack start code. `events` hears when the
    // end packet has been sent; it may be null. Names that `tracks` knows
    // are tracks it opens (a disc's, say), not files; it may be null, and
    // must outlive the broadcaster.
    Broadcaster(std::string file_name, int channel, uint32_t block_size, BroadcasterEvents* events,
                const TrackOpener* tracks = nullptr);
    // Ends any threads still running, without sending anything.
    ~Broadcaster();
    Broadcaster(const Broadcaster&) = delete;
    Broadcaster& operator=(const Broadcaster&) = delete;

    // Opens the file, loads its header and opens the socket the broadcast
    // goes out from; the threads wait for Run. False when the file cannot be
    // broadcast (show kFileErrorText; error() says why).
    bool Start(uint32_t start_offset);
    void Run();

    // Holds nest: each HoldSend needs one ReleaseSend. While held, nothing is sent.
    void HoldSend();
    void ReleaseSend();
    void HoldSendFor500ms();

    void StopAndRestart();  // one restart packet to the control port
    // StopAndRestart and Start(offset) on a thread of their own, so that the
    // caller does not wait out the pause before the restart packet; the
    // events hear BroadcastRestarted. Until then the caller uses nothing
    // but the holds, sent_position, read_error and the stops, which end the
    // restart first (before its restart packet, when that has not gone).
    void RestartAt(uint32_t offset);
    void StopAndClose();    // four close packets, 6 ms apart
    void StopQuietly();     // nothing

    uint32_t stream_length() const { return stream_.length(); }
    uint32_t start_offset() const { return start_offset_; }
    // Empty until a scan has read the file, and when it found no pack.
    std::optional<int32_t> first_pack_offset() const
    {
        return layout_ ? layout_->first_pack_offset : std::nullopt;
    }
    // The scan read the file and found no pack start code (see
    // MediaStreamFile::kNoPackText).
    bool lacks_mpeg_pack() const { return layout_ && !layout_->first_pack_offset; }
    bool sector_mode() const { return layout_ && layout_->video_cd_track; }
    int channel() const { return channel_; }
    const std::string& file_name() const { return file_name_; }
    // The first 64 KiB of the stream, loaded by Start (zero beyond a shorter
    // stream's end).
    const std::vector<uint8_t>& header() const { return header_; }
    const std::string& error() const { return error_; }
    // Why the stream's data ended early (a read error, a file that shrank;
    // the end packet then follows at once); empty while none has failed.
    // Safe to read from any thread.
    std::string read_error() const;
    // Where this broadcast's datagrams come from, from a successful Start
    // until the next stop: what the station's own reception keeps to. Every
    // Start takes a new port. The address is 0.0.0.0 where the kernel does
    // not tell a socket connected to a group which interface address it sends from.
    std::optional<SenderAddress> sender_address() const { return sender_address_; }
    // Stream offset just past the last data packet sent (the start offset
    // until one is); safe to read from any thread while the broadcast runs.
    uint32_t sent_position() const { return sent_position_.load(std::memory_order_relaxed); }

private:
    enum class Stop { kRestart, kClose, kQuiet };
    void StopWith(Stop stop);
    void EndThreads();
    void EndRestart();
    bool PauseUnlessRestartEnded(std::chrono::milliseconds pause);

    std::optional<MediaStreamFile::Layout> ScanLayout() const;
    bool OpenStream();
    void ReaderThread();
    void SetReadError();
    bool PutHeaderSeries();
    bool PutStreamPacket(wire::Kind kind, uint32_t block_index, const uint8_t* payload,
                         uint32_t payload_bytes);
    bool PutPacket(const uint8_t* packet);
    bool RingFull() const;
    uint32_t FreeSlots() const;  // send thread

    void SendThread();
    bool WaitForPacket();
    bool WaitWhileHeld();
    bool HeldLocked() const;  // caller holds hold_mutex_
    void SendControlPackets(wire::Kind kind, int count) const;

    // Set at construction, never changed.
    const std::string file_name_;
    const int channel_;
    const uint32_t block_size_;
    const uint32_t packet_size_;
    const uint32_t ring_size_;
    BroadcasterEvents* const events_;
    const TrackOpener* const tracks_;  // opens file_name_ when it names a track; else null

    // Owner's thread only, or the restart thread's while it runs, and read
    // by the worker threads while they run (they are started after these
    // are set and joined before they change).
    std::optional<MediaStreamFile::Layout> layout_;
    MediaStreamFile stream_;
    uint32_t start_offset_ = 0;
    std::vector<uint8_t> header_;
    std::string error_;
    std::optional<SenderAddress> sender_address_;
    bool started_ = false;
    bool ran_ = false;  // the send thread ran since Start: stops may announce themselves
    std::thread reader_thread_;
    std::thread send_thread_;
    std::thread restart_thread_;  // owner's thread only

    std::mutex restart_mutex_;
    std::condition_variable restart_ended_;
    bool restart_ending_ = false;  // guarded by restart_mutex_

    // The ring: bytes of a slot are written before the producer publishes
    // write_position_ and read before the consumer publishes read_position_.
    std::vector<uint8_t> ring_;
    std::atomic<uint32_t> read_position_{0};   // written by the send thread only
    std::atomic<uint32_t> write_position_{0};  // written by the reader thread only
    ManualResetEvent space_event_;             // the send thread freed kRefillSlots slots
    ManualResetEvent data_event_;              // the reader thread added a packet
    std::atomic<bool> stopping_{false};        // set by a stop, re-checked after every wait
    std::atomic<uint32_t> sent_position_{0};   // set by Start, then by the send thread only

    // Opened and connected by Start; used by the send thread while it runs,
    // then by the stops.
    MulticastSocket socket_;

    mutable std::mutex read_error_mutex_;
    std::string read_error_;  // guarded by read_error_mutex_

    std::mutex hold_mutex_;
    std::condition_variable hold_changed_;
    int hold_count_ = 0;                                 // guarded by hold_mutex_
    std::chrono::steady_clock::time_point hold_until_;  // guarded by hold_mutex_
};

}  // namespace kinoverd
