// SPDX-License-Identifier: GPL-3.0-or-later
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
    std::unique_ptr<MediaGraph> Render(ChannelReception& reception,
                                       const VideoPlacement& placement,
                                       PlaybackEvents* events) override;
    // The "Filter" dialog: the user picks the audio output.
    void ShowAudioDecoderPages(QWidget* owner) override;

    AudioOutput audio_output() const { return audio_output_; }
    void set_audio_output(AudioOutput output) { audio_output_ = output; }

private:
    // Written on the user-interface thread, read by the streaming threads.
    std::atomic<AudioOutput> audio_output_{AudioOutput::kStereo};
};

}  // namespace kinoverd
