// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/audio_sink.h"

#include <cstdio>
#include <mutex>
#include <string>

namespace kinoverd {

namespace {

constexpr gint64 kSoundPieceUsec = 40000;

// Whether an output of `factory` can be opened here now.
bool Answers(const char* factory)
{
    GstElement* sink = gst_element_factory_make(factory, nullptr);
    if (!sink) return false;
    const bool opened = gst_element_set_state(sink, GST_STATE_READY) == GST_STATE_CHANGE_SUCCESS;
    gst_element_set_state(sink, GST_STATE_NULL);
    gst_object_unref(sink);
    return opened;
}

// The factory name of the output, or empty when there is none.
const std::string& ChosenOutput()
{
    static std::once_flag decided;
    static std::string chosen;
    std::call_once(decided, [] {
        for (const char* factory : {"pulsesink", "alsasink"}) {
            if (Answers(factory)) {
                chosen = factory;
                return;
            }
        }
        std::fprintf(stderr,
                     "kinoverd: no sound output (no sound server, no ALSA device): "
                     "playing the picture without sound\n");
    });
    return chosen;
}

}  // namespace

GstElement* CreateAudioSink()
{
    const std::string& output = ChosenOutput();
    if (!output.empty()) {
        GstElement* sink = gst_element_factory_make(output.c_str(), "audio-output");
        // Sound is written in 40 ms pieces instead of the default 10 ms: a
        // quarter of the wake-ups of the sink and the sound server's thread.
        // Nothing waits on a sound's latency here, and the picture keeps in
        // step all the same, since the clock allows for what is buffered.
        if (sink) g_object_set(sink, "latency-time", kSoundPieceUsec, nullptr);
        return sink;
    }
    GstElement* silent = gst_element_factory_make("fakesink", "audio-output");
    // In step with the clock, as a real output would be, so that the
    // picture keeps its pace.
    if (silent) g_object_set(silent, "sync", TRUE, nullptr);
    return silent;
}

}  // namespace kinoverd
