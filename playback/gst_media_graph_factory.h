// Renders the player's playback graphs on GStreamer and keeps the audio
// decoder's settings, which outlive any one graph.
#pragma once

#include <atomic>
#include <cstdint>

#include "playback/audio_output.h"
#include "playback/media_graph.h"

namespace kinoverd {

class GstMediaGraphFactory : public MediaGraphFactory {
public:
    // Graphs read `block_size` bytes at a time and take the stream's first
    // `head_bytes` as its head.
    GstMediaGraphFactory(uint32_t block_size, uint64_t head_bytes);

    std::unique_ptr<MediaGraph> Render(NetworkSourceFilter& source,
                                       const VideoPlacement& placement,
                                       NotifyTarget* notify) override;
    // The "Filter" dialog: the user picks the audio output.
    void ShowAudioDecoderPages(QWidget* owner) override;

    AudioOutput audio_output() const { return audio_output_; }
    void set_audio_output(AudioOutput output) { audio_output_ = output; }

private:
    const uint32_t block_size_;
    const uint64_t head_bytes_;
    // Written on the user-interface thread, read by the streaming threads.
    std::atomic<AudioOutput> audio_output_{AudioOutput::kStereo};
};

}  // namespace kinoverd
