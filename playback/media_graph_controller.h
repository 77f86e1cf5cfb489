// SPDX-License-Identifier: GPL-3.0-or-later
// The playback side of a station: the channel's reception and the playback
// graph that reads from it. Builds the graph once the ring is ready and lets
// it read on from where a joined broadcast's live data begins. The owner
// gets the reception's events and pauses and runs the graph from its own
// thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "broadcast/channel_reception.h"
#include "playback/media_graph.h"

namespace kinoverd {

class MediaGraphController {
public:
    // `graphs` renders the playback graphs and must outlive the controller;
    // without one BuildAndRun always fails.
    MediaGraphController(uint32_t block_size, MediaGraphFactory* graphs = nullptr,
                         int ring_kib = ChannelReception::kRingKib);
    // Stops reception before the graph goes.
    ~MediaGraphController();
    MediaGraphController(const MediaGraphController&) = delete;
    MediaGraphController& operator=(const MediaGraphController&) = delete;

    // Starts listening on `channel`, reporting to `events` (which must
    // outlive the reception); false unless both ports listen.
    bool StartReception(int channel, PlaybackEvents* events);
    void StopReception() { reception_.Stop(); }

    // Renders a graph over the reception with the picture at `placement`,
    // drops the head of the stream still in the ring, lets the graph read
    // on from the first live block and, with `run_now`, runs it. False,
    // with the graph already torn down, when any step failed.
    bool BuildAndRun(const VideoPlacement& placement, bool run_now);

    // Tears down the graph, if any, forgets the stream and empties the
    // ring; reception goes on.
    void Stop();
    void Pause();
    void Run();
    void SeekTo(uint32_t position);
    // Ignored, flag unchanged, while there is no graph.
    void SetFullScreen(bool on);
    bool IsFullScreen() const { return full_screen_; }
    // Seconds from the graph's first picture to the one on screen, while a
    // graph shows one.
    std::optional<double> ShownSeconds();
    // Whether the graph has decoded anything; false without a graph.
    bool HasDecoded();
    void ShowAudioDecoderPages();

    ChannelReception& reception() { return reception_; }

private:
    ChannelReception reception_;
    MediaGraphFactory* const graphs_;
    std::atomic<PlaybackEvents*> events_{nullptr};  // set by StartReception, read by every thread
    bool full_screen_ = false;                      // user-interface thread only
    QWidget* owner_ = nullptr;                      // user-interface thread only

    // The receive threads call Run; everything else runs on the
    // user-interface thread, which alone replaces the graph.
    std::mutex graph_mutex_;
    std::unique_ptr<MediaGraph> graph_;  // guarded by graph_mutex_; none while buffering
};

}  // namespace kinoverd
