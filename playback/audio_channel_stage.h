// SPDX-License-Identifier: GPL-3.0-or-later
// The graph's audio decoder stage, named "MPEG Audio Decoder" as the player's
// settings dialog looks it up: decoded audio in, 16-bit stereo out, with the
// chosen output applied to every buffer as it passes, so that a new choice
// takes effect at once.
#pragma once

#include <gst/gst.h>

#include <atomic>

#include "playback/audio_output.h"

namespace kinoverd {

class AudioChannelStage {
public:
    static constexpr const char* kName = "MPEG Audio Decoder";

    // A new floating bin with one sink and one source pad. `choice` is read
    // on the streaming thread and must outlive the bin.
    static GstElement* Create(const std::atomic<AudioOutput>* choice);

    // Applies `output` to interleaved 16-bit stereo samples in place.
    static void Apply(AudioOutput output, int16_t* samples, size_t frames);
};

}  // namespace kinoverd
