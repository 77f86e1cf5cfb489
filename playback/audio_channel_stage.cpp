// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/audio_channel_stage.h"

namespace kinoverd {

namespace {

GstPadProbeReturn ApplyChoice(GstPad*, GstPadProbeInfo* info, gpointer user_data)
{
    const auto* choice = static_cast<const std::atomic<AudioOutput>*>(user_data);
    const AudioOutput output = choice->load(std::memory_order_relaxed);
    if (output == AudioOutput::kStereo) return GST_PAD_PROBE_OK;
    GstBuffer* buffer = gst_buffer_make_writable(GST_PAD_PROBE_INFO_BUFFER(info));
    GST_PAD_PROBE_INFO_DATA(info) = buffer;
    GstMapInfo map;
    if (gst_buffer_map(buffer, &map, GST_MAP_READWRITE)) {
        AudioChannelStage::Apply(output, reinterpret_cast<int16_t*>(map.data),
                                 map.size / (2 * sizeof(int16_t)));
        gst_buffer_unmap(buffer, &map);
    }
    return GST_PAD_PROBE_OK;
}

}  // namespace

void AudioChannelStage::Apply(AudioOutput output, int16_t* samples, size_t frames)
{
    for (size_t i = 0; i < frames; ++i) {
        int16_t& left = samples[2 * i];
        int16_t& right = samples[2 * i + 1];
        switch (output) {
        case AudioOutput::kStereo: return;
        case AudioOutput::kLeftOnBoth: right = left; break;
        case AudioOutput::kRightOnBoth: left = right; break;
        case AudioOutput::kMonoMix: left = right = int16_t((int32_t(left) + right) / 2); break;
        }
    }
}

GstElement* AudioChannelStage::Create(const std::atomic<AudioOutput>* choice)
{
    GstElement* bin = gst_bin_new(kName);
    GstElement* convert = gst_element_factory_make("audioconvert", nullptr);
    GstElement* format = gst_element_factory_make("capsfilter", nullptr);
    if (!convert || !format) {
        if (convert) gst_object_unref(convert);
        if (format) gst_object_unref(format);
        gst_object_unref(bin);
        return nullptr;
    }
    // Mono streams come out on both speakers; the choice then changes nothing.
    GstCaps* caps = gst_caps_from_string(
        "audio/x-raw, format=(string)S16LE, layout=(string)interleaved, channels=(int)2");
    g_object_set(format, "caps", caps, nullptr);
    gst_caps_unref(caps);
    gst_bin_add_many(GST_BIN(bin), convert, format, nullptr);
    gst_element_link(convert, format);

    GstPad* convert_sink = gst_element_get_static_pad(convert, "sink");
    gst_element_add_pad(bin, gst_ghost_pad_new("sink", convert_sink));
    gst_object_unref(convert_sink);
    GstPad* format_source = gst_element_get_static_pad(format, "src");
    gst_pad_add_probe(format_source, GST_PAD_PROBE_TYPE_BUFFER, ApplyChoice,
                      const_cast<std::atomic<AudioOutput>*>(choice), nullptr);
    gst_element_add_pad(bin, gst_ghost_pad_new("src", format_source));
    gst_object_unref(format_source);
    return bin;
}

}  // namespace kinoverd
