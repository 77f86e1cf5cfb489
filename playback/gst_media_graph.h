// SPDX-License-Identifier: GPL-3.0-or-later
// A playback graph on GStreamer: the network source element, then
// decodebin, which picks the demuxer and decoders; video to a VideoRenderer
// in the owner's video area, audio through the audio decoder stage to the
// chosen sound output.
//
// Threads: the user-interface thread builds, drives and destroys the graph;
// GStreamer's streaming threads link the decoded streams as they appear,
// hand frames to the renderer (posted) and report failures (posted to the
// events: a failure, the end played out); the receive threads call Run.
#pragma once

#include <gst/gst.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "playback/audio_output.h"
#include "playback/media_graph.h"

namespace kinoverd {

class VideoRenderer;

class GstMediaGraph : public MediaGraph {
public:
    // How long rendering may take to read the head of the stream, which is
    // already in the ring when rendering starts: well under a second, but
    // a busy machine has taken over two to load and link the decoders.
    static constexpr std::chrono::seconds kRenderTimeout{6};

    // Builds the pipeline, pauses it and waits until it has read the
    // stream's head. Null on failure or timeout, torn down.
    static std::unique_ptr<GstMediaGraph> Render(ChannelReception& reception,
                                                 const VideoPlacement& placement,
                                                 PlaybackEvents* events,
                                                 const std::atomic<AudioOutput>* audio_output);
    ~GstMediaGraph() override;

    void Run() override;
    void Pause() override;
    bool SeekTo(uint32_t position) override;
    void SetFullScreen(bool on) override;
    bool HasAudioDecoder() const override { return has_audio_; }
    bool HasDecoded() const override { return play_from_ns_ >= 0; }
    std::optional<double> ShownSeconds() const override;

    VideoRenderer* renderer() const { return renderer_; }
    GstElement* pipeline() const { return pipeline_; }

private:
    GstMediaGraph(PlaybackEvents* events, const std::atomic<AudioOutput>* audio_output);
    bool WaitForHead();
    void LinkDecodedStream(GstPad* pad);
    bool LinkVideo(GstPad* pad);
    bool LinkAudio(GstPad* pad);
    void Fail();
    void AddSink(GstElement* sink);
    void PlayFromFirstStamp(GstBuffer* buffer);

    static GstPadProbeReturn OnDecodedBuffer(GstPad*, GstPadProbeInfo* info, gpointer self);

    static void OnPadAdded(GstElement*, GstPad* pad, gpointer self);
    static GstBusSyncReply OnBusMessage(GstBus*, GstMessage* message, gpointer self);
    static GstFlowReturn OnNewSample(GstElement* sink, gpointer self);

    PlaybackEvents* const events_;  // may be null
    const std::atomic<AudioOutput>* const audio_output_;

    // Set while building, then only read; the pipeline holds the elements.
    GstElement* pipeline_ = nullptr;
    GstElement* source_ = nullptr;
    VideoRenderer* renderer_ = nullptr;  // owned; deleted after the pipeline stops

    // Written by the streaming threads, read anywhere.
    std::atomic<bool> has_audio_{false};
    std::atomic<bool> failed_{false};
    // Time stamps of the first picture shown and of the one on screen,
    // written by the video streaming thread as the sink hands them over in
    // step with the clock.
    std::atomic<int64_t> first_picture_ns_{-1};
    std::atomic<int64_t> shown_picture_ns_{-1};
    // The first time stamp decoded since the graph was built or sought, or
    // -1: every sink plays it as soon as the clock starts. Set by the
    // streaming threads, reset by SeekTo.
    std::atomic<int64_t> play_from_ns_{-1};
    std::mutex sinks_mutex_;
    std::vector<GstElement*> sinks_;  // guarded by sinks_mutex_; the pipeline holds them

    // The state the graph was last asked for, so that Run and Pause cost
    // nothing when already there.
    std::atomic<bool> playing_{false};
};

}  // namespace kinoverd
