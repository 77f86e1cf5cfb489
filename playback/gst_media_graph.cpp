// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/gst_media_graph.h"

#include <gst/app/gstappsink.h>
#include <gst/video/video.h>

#include <QImage>

#include <mutex>
#include <thread>

#include "broadcast/wire_format.h"
#include "playback/audio_channel_stage.h"
#include "playback/audio_sink.h"
#include "playback/network_source_element.h"
#include "playback/video_renderer.h"

namespace kinoverd {

namespace {

// Adds `elements` to `bin`, links them in order and brings them to the bin's
// state; the first one's sink pad is returned (with a reference), null when
// any step failed.
GstPad* AddChain(GstBin* bin, std::initializer_list<GstElement*> elements)
{
    for (GstElement* element : elements) {
        if (!element) {
            for (GstElement* other : elements)
                if (other) gst_object_unref(other);
            return nullptr;
        }
    }
    GstElement* previous = nullptr;
    for (GstElement* element : elements) {
        gst_bin_add(bin, element);
        if (previous && !gst_element_link(previous, element)) return nullptr;
        previous = element;
    }
    for (GstElement* element : elements) gst_element_sync_state_with_parent(element);
    return gst_element_get_static_pad(*elements.begin(), "sink");
}

// MPEG audio decoders all rank alike, so decodebin takes the first by
// name whose layer fits the caps it has: before the parser has told the
// layer, that can be the layer-1-only decoder, which then refuses a layer-2
// stream and fails the graph. mpg123 decodes every layer.
void PreferOneMpegAudioDecoder()
{
    GstPluginFeature* mpg123 = gst_registry_lookup_feature(gst_registry_get(), "mpg123audiodec");
    if (!mpg123) return;
    gst_plugin_feature_set_rank(mpg123, GST_RANK_PRIMARY);
    gst_object_unref(mpg123);
}

}  // namespace

GstMediaGraph::GstMediaGraph(PlaybackEvents* events, const std::atomic<AudioOutput>* audio_output)
    : events_(events), audio_output_(audio_output)
{
}

std::unique_ptr<GstMediaGraph> GstMediaGraph::Render(ChannelReception& reception,
                                                     const VideoPlacement& placement,
                                                     PlaybackEvents* events,
                                                     const std::atomic<AudioOutput>* audio_output)
{
    if (!gst_is_initialized()) gst_init(nullptr, nullptr);
    static std::once_flag ranked;
    std::call_once(ranked, PreferOneMpegAudioDecoder);
    std::unique_ptr<GstMediaGraph> graph(new GstMediaGraph(events, audio_output));
    graph->pipeline_ = gst_pipeline_new("kinoverd-graph");
    graph->source_ = CreateNetworkSourceElement(&reception, wire::kHeaderBytes);
    GstElement* decoder = gst_element_factory_make("decodebin", nullptr);
    if (!graph->source_ || !decoder) {
        if (decoder) gst_object_unref(decoder);
        return nullptr;
    }
    gst_bin_add_many(GST_BIN(graph->pipeline_), graph->source_, decoder, nullptr);
    if (!gst_element_link(graph->source_, decoder)) return nullptr;
    g_signal_connect(decoder, "pad-added", G_CALLBACK(OnPadAdded), graph.get());

    GstBus* bus = gst_element_get_bus(graph->pipeline_);
    gst_bus_set_sync_handler(bus, OnBusMessage, graph.get(), nullptr);
    gst_object_unref(bus);

    if (placement.owner) {
        const QRect area(placement.left, placement.top, placement.right - placement.left + 1,
                         placement.bottom - placement.top + 1);
        graph->renderer_ = new VideoRenderer(placement.owner, area);
    }

    // Failure is the one result below success.
    if (gst_element_set_state(graph->pipeline_, GST_STATE_PAUSED) < GST_STATE_CHANGE_SUCCESS ||
        !graph->WaitForHead())
        return nullptr;
    return graph;
}

GstMediaGraph::~GstMediaGraph()
{
    // Errors of the teardown itself are nobody's business.
    failed_ = true;
    if (pipeline_) {
        // Stops every streaming thread before anything they use goes.
        gst_element_set_state(pipeline_, GST_STATE_NULL);
        GstBus* bus = gst_element_get_bus(pipeline_);
        gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
        gst_object_unref(bus);
        gst_object_unref(pipeline_);
    }
    delete renderer_;
}

bool GstMediaGraph::WaitForHead()
{
    // The element does not signal; a short poll costs nothing next to the
    // time the head takes to arrive.
    const auto deadline = std::chrono::steady_clock::now() + kRenderTimeout;
    while (!failed_ && !NetworkSourceReachedGate(source_)) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return !failed_;
}

void GstMediaGraph::Run()
{
    if (playing_.exchange(true) || failed_) return;
    gst_element_set_state(pipeline_, GST_STATE_PLAYING);
}

void GstMediaGraph::Pause()
{
    if (!playing_.exchange(false) || failed_) return;
    gst_element_set_state(pipeline_, GST_STATE_PAUSED);
}

bool GstMediaGraph::SeekTo(uint32_t position)
{
    if (failed_) return false;
    // Live data right after the head goes on where the head ends: nothing
    // to flush, and the decoder keeps what it learnt from the head.
    if (position == wire::kHeaderBytes) {
        OpenNetworkSourceGate(source_);
        return true;
    }
    Pause();
    // The source goes on from `position`; what the head left downstream is
    // flushed away. The gate opens only after the seek, so that no read
    // between the head and `position` takes a packet from the ring.
    const bool accepted = gst_element_seek_simple(
        source_, GST_FORMAT_BYTES, GstSeekFlags(GST_SEEK_FLAG_FLUSH), gint64(position));
    // The flush is through: nothing decoded from the head is left, and the
    // gate keeps the live data back until the stamp is reset.
    play_from_ns_ = -1;
    OpenNetworkSourceGate(source_);
    Run();
    return accepted;
}

void GstMediaGraph::SetFullScreen(bool on)
{
    if (renderer_) renderer_->SetFullScreen(on);
}

void GstMediaGraph::OnPadAdded(GstElement*, GstPad* pad, gpointer self)
{
    static_cast<GstMediaGraph*>(self)->LinkDecodedStream(pad);
}

void GstMediaGraph::LinkDecodedStream(GstPad* pad)
{
    GstCaps* caps = gst_pad_get_current_caps(pad);
    if (!caps) caps = gst_pad_query_caps(pad, nullptr);
    const gchar* name = gst_structure_get_name(gst_caps_get_structure(caps, 0));
    const bool video = g_str_has_prefix(name, "video/");
    const bool audio = g_str_has_prefix(name, "audio/");
    gst_caps_unref(caps);
    if (video || audio)
        gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, OnDecodedBuffer, this, nullptr);
    // Other streams (subtitles, private data) are left unlinked.
    if (video && !LinkVideo(pad)) Fail();
    if (audio && !LinkAudio(pad)) Fail();
}

bool GstMediaGraph::LinkVideo(GstPad* pad)
{
    GstElement* convert = gst_element_factory_make("videoconvert", nullptr);
    GstElement* sink = gst_element_factory_make("appsink", "renderer");
    if (sink) {
        GstCaps* caps = gst_caps_from_string("video/x-raw, format=(string)BGRx");
        g_object_set(sink, "caps", caps, "emit-signals", TRUE, "max-buffers", 2, nullptr);
        gst_caps_unref(caps);
        g_signal_connect(sink, "new-sample", G_CALLBACK(OnNewSample), this);
    }
    GstPad* sink_pad = AddChain(GST_BIN(pipeline_), {convert, sink});
    if (!sink_pad) return false;
    AddSink(sink);
    const bool linked = gst_pad_link(pad, sink_pad) == GST_PAD_LINK_OK;
    gst_object_unref(sink_pad);
    return linked;
}

bool GstMediaGraph::LinkAudio(GstPad* pad)
{
    GstElement* sink = CreateAudioSink();
    GstPad* sink_pad = AddChain(GST_BIN(pipeline_),
                                {AudioChannelStage::Create(audio_output_),
                                 gst_element_factory_make("audioconvert", nullptr),
                                 gst_element_factory_make("audioresample", nullptr), sink});
    if (!sink_pad) return false;
    AddSink(sink);
    const bool linked = gst_pad_link(pad, sink_pad) == GST_PAD_LINK_OK;
    gst_object_unref(sink_pad);
    if (linked) has_audio_ = true;
    return linked;
}

void GstMediaGraph::AddSink(GstElement* sink)
{
    std::lock_guard lock(sinks_mutex_);
    sinks_.push_back(sink);
    if (const int64_t from = play_from_ns_; from >= 0) g_object_set(sink, "ts-offset", -from, nullptr);
}

// The demuxer stamps what it decodes with the programme's own time, which
// after a late join is seconds in, and cannot tell where a byte position
// lies in time: so the source's segment starts at 0 and the sinks instead
// play the first stamp that comes through at the clock's start. One offset
// for all keeps sound and picture in step.
void GstMediaGraph::PlayFromFirstStamp(GstBuffer* buffer)
{
    const GstClockTime pts = GST_BUFFER_PTS(buffer);
    int64_t unset = -1;
    if (!GST_CLOCK_TIME_IS_VALID(pts) || !play_from_ns_.compare_exchange_strong(unset, int64_t(pts)))
        return;
    std::lock_guard lock(sinks_mutex_);
    for (GstElement* sink : sinks_) g_object_set(sink, "ts-offset", -int64_t(pts), nullptr);
}

GstPadProbeReturn GstMediaGraph::OnDecodedBuffer(GstPad*, GstPadProbeInfo* info, gpointer self)
{
    if (static_cast<GstMediaGraph*>(self)->play_from_ns_ < 0)
        static_cast<GstMediaGraph*>(self)->PlayFromFirstStamp(GST_PAD_PROBE_INFO_BUFFER(info));
    return GST_PAD_PROBE_OK;
}

namespace {

// A decoded frame kept mapped for as long as an image shows it.
struct MappedFrame {
    GstVideoFrame frame;
    GstSample* sample;
};

void ReleaseFrame(void* mapped)
{
    auto* held = static_cast<MappedFrame*>(mapped);
    gst_video_frame_unmap(&held->frame);
    gst_sample_unref(held->sample);
    delete held;
}

// The sample's picture as an image over the decoded buffer itself, which
// it holds until the widget has drawn it and let go: no copy per frame.
// Null when the sample cannot be read.
QImage FrameOf(GstSample* sample)
{
    GstVideoInfo info;
    if (!gst_video_info_from_caps(&info, gst_sample_get_caps(sample))) return {};
    auto* held = new MappedFrame{{}, gst_sample_ref(sample)};
    if (!gst_video_frame_map(&held->frame, &info, gst_sample_get_buffer(sample), GST_MAP_READ)) {
        gst_sample_unref(held->sample);
        delete held;
        return {};
    }
    return QImage(static_cast<const uchar*>(GST_VIDEO_FRAME_PLANE_DATA(&held->frame, 0)),
                  GST_VIDEO_INFO_WIDTH(&info), GST_VIDEO_INFO_HEIGHT(&info),
                  GST_VIDEO_FRAME_PLANE_STRIDE(&held->frame, 0), QImage::Format_RGB32, ReleaseFrame, held);
}

// A sample's time stamp, or -1.
int64_t TimeStampOf(GstSample* sample)
{
    const GstClockTime pts = GST_BUFFER_PTS(gst_sample_get_buffer(sample));
    return GST_CLOCK_TIME_IS_VALID(pts) ? int64_t(pts) : -1;
}

}  // namespace

std::optional<double> GstMediaGraph::ShownSeconds() const
{
    const int64_t first = first_picture_ns_;
    const int64_t shown = shown_picture_ns_;
    if (first < 0 || shown < first) return std::nullopt;
    return double(shown - first) / GST_SECOND;
}

GstFlowReturn GstMediaGraph::OnNewSample(GstElement* sink, gpointer self)
{
    auto* graph = static_cast<GstMediaGraph*>(self);
    GstSample* sample = gst_app_sink_pull_sample(GST_APP_SINK(sink));
    if (!sample) return GST_FLOW_OK;
    const int64_t stamp = TimeStampOf(sample);
    int64_t unset = -1;
    graph->first_picture_ns_.compare_exchange_strong(unset, stamp);
    graph->shown_picture_ns_ = stamp;
    if (graph->renderer_) {
        QImage frame = FrameOf(sample);
        if (!frame.isNull()) graph->renderer_->PostFrame(std::move(frame));
    }
    gst_sample_unref(sample);
    return GST_FLOW_OK;
}

GstBusSyncReply GstMediaGraph::OnBusMessage(GstBus*, GstMessage* message, gpointer self)
{
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
        GError* error = nullptr;
        gst_message_parse_error(message, &error, nullptr);
        g_printerr("kinoverd: playback failed: %s\n", error ? error->message : "unknown error");
        if (error) g_error_free(error);
        static_cast<GstMediaGraph*>(self)->Fail();
    } else if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS) {
        // Every sink has played out the stream's end, not just read it.
        auto* graph = static_cast<GstMediaGraph*>(self);
        if (graph->events_ && !graph->failed_) graph->events_->EndOfStream();
    }
    // Nothing reads the bus otherwise; handled here, nothing piles up. A
    // dropped message is the handler's to release: each holds its source
    // element, and through it the whole pipeline.
    gst_message_unref(message);
    return GST_BUS_DROP;
}

void GstMediaGraph::Fail()
{
    // Reported once; the owner tears the graph down and tunes again.
    if (failed_.exchange(true)) return;
    if (events_ && playing_) events_->PlaybackFailed();
}

}  // namespace kinoverd
