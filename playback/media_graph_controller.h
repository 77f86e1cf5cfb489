// The playback side of a station: owns the packet ring, the two multicast
// receivers that fill it and the network stream through which the playback
// graph reads it. Hands ring data to the graph's reads, finds where a joined
// broadcast's live data begins, and reports progress, underrun and end of
// stream to its notify target. Messages are always posted, never sent.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "broadcast/multicast_receiver.h"
#include "broadcast/network_source_filter.h"
#include "broadcast/network_stream.h"
#include "broadcast/packet_ring.h"
#include "broadcast/reception_host.h"
#include "playback/media_graph.h"

namespace kinoverd {

class NotifyTarget;

class MediaGraphController : public ReceptionHost {
public:
    // The stream looks endless to the graph and is never paced.
    static constexpr int64_t kStreamLength = 0xFFFFFFFF;
    static constexpr uint32_t kStreamRate = 0xFFFFFFFF;
    // The start search looks at this many packets at most ...
    static constexpr int kStartSearchPackets = 1001;
    // ... and gives up when the ring stays empty this long.
    static constexpr std::chrono::milliseconds kStartSearchWait{500};

    // A ring of ((buffer_kib * 1024) / block_size) slots of one packet each.
    // `graphs` renders the playback graphs and must outlive the controller;
    // without one BuildAndRun always fails.
    MediaGraphController(int buffer_kib, uint32_t block_size, MediaGraphFactory* graphs = nullptr);
    // Stops reception before the ring and the receivers go.
    ~MediaGraphController() override;
    MediaGraphController(const MediaGraphController&) = delete;
    MediaGraphController& operator=(const MediaGraphController&) = delete;

    // Empties the ring, clears both flags and starts the control-port
    // receiver on port + 1 and the data-port receiver on port (both are
    // tried). 1 only when both listen; the caller's StopReception stops both.
    int StartReception(const std::string& group, uint16_t port, NotifyTarget* notify);
    // Stops the data-port receiver, then the control-port one: 1 when both
    // closed a socket.
    int StopReception();

    // Renders a graph behind the source filter with the picture in the
    // owner's rectangle, drops the head of the stream still in the ring,
    // lets the graph read on from the first live block and, with `run_now`,
    // runs it. 0, with the graph already torn down, when any step failed.
    int BuildAndRun(QWidget* owner, int left, int top, int right, int bottom, int run_now);

    // Tears down the graph, if any, clears both flags and empties the ring;
    // reception goes on.
    void Stop();
    void Pause();
    // Also called by the receive threads; it never waits for a graph being
    // built or torn down (the next packet calls it again).
    void Run() override;
    void SeekTo(uint32_t position);
    // Ignored, flag unchanged, while there is no graph.
    void SetFullScreen(int on);
    int IsFullScreen() const { return full_screen_; }
    void ShowAudioDecoderPages();

    // Serves one read from the ring in whole blocks, in ring order: 1 when
    // served (8106 with `position`; all zeros once the end packet is
    // reached, after 8117), 0 when the ring ran empty (zeros, 8110).
    int Deliver(uint8_t* buffer, uint32_t length, uint32_t position) override;

    // Drops packets up to the first data packet past the stream's first
    // 64 KiB and gives its byte position. Waits for packets while the ring
    // is empty, up to kStartSearchWait at a time: the receive threads keep
    // filling it. False when none turns up among kStartSearchPackets
    // packets or the ring stays empty that long.
    bool FindStartPosition(uint32_t* position);

    // Stream length of the last data packet delivered.
    uint32_t TotalSize() const { return total_size_; }
    NetworkStream& network_stream() { return stream_; }
    NetworkSourceFilter& source_filter() { return filter_; }

    // For the receive side.
    uint32_t block_size() const override { return block_size_; }
    std::atomic<int>& stream_accepted() override { return stream_accepted_; }
    std::atomic<int>& start_requested() override { return start_requested_; }
    PacketRing* packet_ring() override { return &ring_; }
    NotifyTarget* notify_target() override { return notify_; }
    std::mutex& admission_mutex() override { return admission_mutex_; }

private:
    void ClearFlagsAndEmptyRing();
    void Post(int message, uintptr_t wparam);

    const uint32_t block_size_;
    PacketRing ring_;
    NetworkStream stream_;
    NetworkSourceFilter filter_;
    MediaGraphFactory* const graphs_;
    MulticastReceiver receiver_a_;  // data port
    MulticastReceiver receiver_b_;  // control port

    std::atomic<int> stream_accepted_{0};
    std::atomic<int> start_requested_{0};
    std::atomic<NotifyTarget*> notify_{nullptr};  // set by StartReception, read by every thread
    std::atomic<uint32_t> total_size_{0};         // written by Deliver
    int full_screen_ = 0;                         // user-interface thread only
    QWidget* owner_ = nullptr;                    // user-interface thread only
    std::mutex admission_mutex_;

    // The receive threads call Run; everything else runs on the
    // user-interface thread, which alone replaces the graph.
    std::mutex graph_mutex_;
    std::unique_ptr<MediaGraph> graph_;  // guarded by graph_mutex_; none while buffering
};

}  // namespace kinoverd
