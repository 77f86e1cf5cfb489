// A playback graph as the controller drives it, and the factory that renders
// one behind the pull source. The controller stays free of any media
// framework; the player supplies the factory.
#pragma once

#include <cstdint>
#include <memory>

class QWidget;

namespace kinoverd {

class NetworkSourceFilter;
class NotifyTarget;

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
    // Builds a graph behind `source`'s output and lets it read the head of
    // the stream, so that it knows what the stream holds. Null on failure,
    // with nothing left over. Failures while it later plays are posted to
    // `notify` as kMsgGraphFailed.
    virtual std::unique_ptr<MediaGraph> Render(NetworkSourceFilter& source,
                                               const VideoPlacement& placement,
                                               NotifyTarget* notify) = 0;
    // The audio decoder's settings, modal over `owner`. They apply to the
    // graph playing now and to the graphs rendered later; the graph itself
    // may go while the dialog is open.
    virtual void ShowAudioDecoderPages(QWidget* owner) = 0;
};

}  // namespace kinoverd
