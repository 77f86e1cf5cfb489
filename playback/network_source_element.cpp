// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/network_source_element.h"

#include <gst/base/gstbasesrc.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "broadcast/channel_reception.h"
#include "broadcast/reception_events.h"

namespace kinoverd {

namespace {

// The stream looks endless to the pipeline: its real length is only known
// from the packets, and the source never seeks by it.
constexpr guint64 kEndlessStream = 0xFFFFFFFF;
// A wait for packets is re-armed this often; a flush wakes it at once.
constexpr std::chrono::milliseconds kPacketWait{1000};

struct NetworkSource {
    GstBaseSrc parent;

    // Set once before the element leaves the NULL state.
    ChannelReception* reception;
    uint64_t head_bytes;

    // unlock() sets `flushing` and unlock_stop() clears it; every wait
    // re-checks it. The mutex guards the gate; the wait for packets is
    // the ring's own and reads `flushing` alone.
    std::mutex* mutex;
    std::condition_variable* wake;
    std::atomic<bool> flushing;
    bool gate_open;  // guarded by mutex
    bool at_gate;    // guarded by mutex
    bool in_underrun;  // streaming thread only: the underrun is already reported
};

struct NetworkSourceClass {
    GstBaseSrcClass parent_class;
};

GType network_source_get_type();
G_DEFINE_TYPE(NetworkSource, network_source, GST_TYPE_BASE_SRC)

NetworkSource* AsSource(gpointer object)
{
    return G_TYPE_CHECK_INSTANCE_CAST(object, network_source_get_type(), NetworkSource);
}

GstStaticPadTemplate source_template = GST_STATIC_PAD_TEMPLATE(
    "src", GST_PAD_SRC, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("video/mpeg, mpegversion=(int)1, systemstream=(boolean)true"));

// Holds blocks past the head until the gate opens; false when flushing.
bool PassGate(NetworkSource* self, uint64_t offset)
{
    std::unique_lock lock(*self->mutex);
    if (offset < self->head_bytes) return !self->flushing;
    self->at_gate = !self->gate_open;
    self->wake->wait(lock, [self] { return self->flushing || self->gate_open; });
    self->at_gate = false;
    return !self->flushing;
}

// The next block of the stream into `data`: GST_FLOW_OK with its size in
// `bytes`, GST_FLOW_EOS at the end packet, GST_FLOW_FLUSHING on a flush.
GstFlowReturn TakeBlock(NetworkSource* self, uint64_t offset, uint8_t* data, uint32_t* bytes)
{
    ChannelReception& reception = *self->reception;
    ReceptionEvents* events = reception.events();
    for (;;) {
        if (self->flushing) return GST_FLOW_FLUSHING;
        const ChannelReception::Block block = reception.TakeBlock(data);
        switch (block.take) {
        case ChannelReception::Take::kData:
            self->in_underrun = false;
            *bytes = block.bytes;
            return GST_FLOW_OK;
        case ChannelReception::Take::kEnd:
            // The graph reports the end once its sinks have played it out.
            return GST_FLOW_EOS;
        case ChannelReception::Take::kEmpty:
            if (!self->in_underrun && events) events->RingEmpty(uint32_t(offset));
            self->in_underrun = true;
            reception.WaitForPacket(kPacketWait, [self] { return self->flushing.load(); });
            break;
        }
    }
}

GstFlowReturn network_source_create(GstBaseSrc* base, guint64 offset, guint, GstBuffer** out)
{
    NetworkSource* self = AsSource(base);
    if (!PassGate(self, offset)) return GST_FLOW_FLUSHING;
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, self->reception->block_size(), nullptr);
    GstMapInfo map;
    gst_buffer_map(buffer, &map, GST_MAP_WRITE);
    uint32_t bytes = 0;
    const GstFlowReturn flow = TakeBlock(self, offset, map.data, &bytes);
    gst_buffer_unmap(buffer, &map);
    if (flow != GST_FLOW_OK) {
        gst_buffer_unref(buffer);
        return flow;
    }
    gst_buffer_set_size(buffer, bytes);
    GST_BUFFER_OFFSET(buffer) = offset;
    GST_BUFFER_OFFSET_END(buffer) = offset + bytes;
    *out = buffer;
    return GST_FLOW_OK;
}

// Reading goes on from the position sought, but the segment still starts
// at 0: the demuxer would turn a later start into a time by the rate it
// guessed from the head, and drop everything stamped before that guess,
// seconds of a late join. The graph plays from the first stamp instead.
gboolean network_source_do_seek(GstBaseSrc*, GstSegment* segment)
{
    segment->position = segment->start;
    segment->start = 0;
    segment->time = 0;
    return TRUE;
}

gboolean network_source_get_size(GstBaseSrc*, guint64* size)
{
    *size = kEndlessStream;
    return TRUE;
}

gboolean network_source_is_seekable(GstBaseSrc*) { return TRUE; }

// Push mode only, see the header.
gboolean network_source_query(GstBaseSrc* base, GstQuery* query)
{
    if (GST_QUERY_TYPE(query) != GST_QUERY_SCHEDULING)
        return GST_BASE_SRC_CLASS(network_source_parent_class)->query(base, query);
    gst_query_set_scheduling(query, GST_SCHEDULING_FLAG_SEEKABLE, 1, -1, 0);
    gst_query_add_scheduling_mode(query, GST_PAD_MODE_PUSH);
    return TRUE;
}

gboolean network_source_unlock(GstBaseSrc* base)
{
    NetworkSource* self = AsSource(base);
    {
        std::lock_guard lock(*self->mutex);
        self->flushing = true;
    }
    self->wake->notify_all();
    self->reception->Interrupt();
    return TRUE;
}

gboolean network_source_unlock_stop(GstBaseSrc* base)
{
    NetworkSource* self = AsSource(base);
    std::lock_guard lock(*self->mutex);
    self->flushing = false;
    return TRUE;
}

void network_source_finalize(GObject* object)
{
    NetworkSource* self = AsSource(object);
    delete self->wake;
    delete self->mutex;
    G_OBJECT_CLASS(network_source_parent_class)->finalize(object);
}

void network_source_class_init(NetworkSourceClass* klass)
{
    G_OBJECT_CLASS(klass)->finalize = network_source_finalize;
    GstElementClass* element_class = GST_ELEMENT_CLASS(klass);
    gst_element_class_add_static_pad_template(element_class, &source_template);
    gst_element_class_set_static_metadata(element_class, "Kinoverd network source",
                                          "Source/Network",
                                          "The received LAN broadcast as an MPEG-1 system stream",
                                          "Kinoverd");
    GstBaseSrcClass* base_class = GST_BASE_SRC_CLASS(klass);
    base_class->create = network_source_create;
    base_class->get_size = network_source_get_size;
    base_class->is_seekable = network_source_is_seekable;
    base_class->do_seek = network_source_do_seek;
    base_class->query = network_source_query;
    base_class->unlock = network_source_unlock;
    base_class->unlock_stop = network_source_unlock_stop;
}

void network_source_init(NetworkSource* self)
{
    self->mutex = new std::mutex;
    self->wake = new std::condition_variable;
    self->flushing = false;
    self->gate_open = false;
    self->at_gate = false;
    self->in_underrun = false;
    gst_base_src_set_format(GST_BASE_SRC(self), GST_FORMAT_BYTES);
}

}  // namespace

GstElement* CreateNetworkSourceElement(ChannelReception* reception, uint64_t head_bytes)
{
    static const bool registered =
        gst_element_register(nullptr, "kinoverdnetworksrc", GST_RANK_NONE, network_source_get_type());
    if (!registered) return nullptr;
    GstElement* element = gst_element_factory_make("kinoverdnetworksrc", nullptr);
    if (!element) return nullptr;
    NetworkSource* self = AsSource(element);
    self->reception = reception;
    self->head_bytes = head_bytes;
    gst_base_src_set_blocksize(GST_BASE_SRC(element), reception->block_size());
    return element;
}

void OpenNetworkSourceGate(GstElement* element)
{
    NetworkSource* self = AsSource(element);
    {
        std::lock_guard lock(*self->mutex);
        self->gate_open = true;
    }
    self->wake->notify_all();
}

bool NetworkSourceReachedGate(GstElement* element)
{
    NetworkSource* self = AsSource(element);
    std::lock_guard lock(*self->mutex);
    return self->at_gate;
}

}  // namespace kinoverd
