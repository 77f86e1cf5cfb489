// SPDX-License-Identifier: GPL-3.0-or-later
// A playback graph as the controller drives it, and the factory that renders
// one behind the network source. The controller stays free of any media
// framework; the player supplies the factory.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "broadcast/reception_events.h"

class QWidget;

namespace kinoverd {

class ChannelReception;

// The reception's events, and the failure of a playing graph (reported on a
// streaming thread).
class PlaybackEvents : public ReceptionEvents {
public:
    virtual void PlaybackFailed() = 0;
};

class MediaGraph {
public:
    virtual ~MediaGraph() = default;
    // Both are cheap when the graph is already in that state: the receive
    // threads call Run for every packet while the ring is half full.
    virtual void Run() = 0;
    virtual void Pause() = 0;
    // Lets the graph read on from this byte position of the stream; false
    // when the graph refused.
    virtual bool SeekTo(uint32_t position) = 0;
    virtual void SetFullScreen(bool on) = 0;
    // Whether the graph decodes audio through the stage whose settings
    // ShowAudioDecoderPages offers.
    virtual bool HasAudioDecoder() const = 0;
    // Seconds from the first picture the graph showed to the one on
    // screen; empty before the first.
    virtual std::optional<double> ShownSeconds() const = 0;
    // Whether anything (a picture or a sound) has decoded since the graph
    // started or last sought.
    virtual bool HasDecoded() const = 0;
};

// Where the picture goes: the owner window and the video area in its client
// coordinates, right and bottom inclusive.
struct VideoPlacement {
    QWidget* owner = nullptr;
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

class MediaGraphFactory {
public:
    virtual ~MediaGraphFactory() = default;
    // Builds a graph that reads the stream from `reception` and lets it
    // read the head of the stream, so that it knows what the stream holds.
    // Null on failure, with nothing left over. While it plays, the graph
    // tells `events` (on a streaming thread) when it failed and when its
    // last picture and sound were played out.
    virtual std::unique_ptr<MediaGraph> Render(ChannelReception& reception,
                                               const VideoPlacement& placement,
                                               PlaybackEvents* events) = 0;
    // The audio decoder's settings, modal over `owner`. They apply to the
    // graph playing now and to the graphs rendered later; the graph itself
    // may go while the dialog is open.
    virtual void ShowAudioDecoderPages(QWidget* owner) = 0;
};

}  // namespace kinoverd
