#include "playback/network_source_element.h"

#include <gst/base/gstbasesrc.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "broadcast/async_io_queue.h"
#include "broadcast/media_sample.h"
#include "broadcast/network_source_filter.h"

namespace kinoverd {

namespace {

// How long a read of nothing but zeros holds the streaming thread before the
// next try: about one packet interval of the broadcast.
constexpr std::chrono::milliseconds kEmptyReadPause{6};
// WaitForNext slices, so that a flush is noticed promptly.
constexpr uint32_t kWaitSliceMs = 100;

struct NetworkSource {
    GstBaseSrc parent;

    // Set once before the element leaves the NULL state.
    NetworkSourceFilter* filter;
    uint32_t block_size;
    uint64_t head_bytes;

    // unlock() sets `flushing` and unlock_stop() clears it; every wait below
    // re-checks it. Guards the gate as well.
    std::mutex* mutex;
    std::condition_variable* wake;
    bool flushing;    // guarded by mutex
    bool gate_open;   // guarded by mutex
    bool at_gate;     // guarded by mutex
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

AsyncOutputPin& OutputPin(NetworkSource* self) { return *self->filter->GetPin(0); }

// Waits `pause` or until a flush starts; false when flushing.
bool PauseUnlessFlushing(NetworkSource* self, std::chrono::milliseconds pause)
{
    std::unique_lock lock(*self->mutex);
    self->wake->wait_for(lock, pause, [self] { return self->flushing; });
    return !self->flushing;
}

// Holds reads past the head until the gate opens; false when flushing.
bool PassGate(NetworkSource* self, uint64_t offset)
{
    std::unique_lock lock(*self->mutex);
    if (offset < self->head_bytes) return !self->flushing;
    self->at_gate = !self->gate_open;
    self->wake->wait(lock, [self] { return self->flushing || self->gate_open; });
    self->at_gate = false;
    return !self->flushing;
}

// One read of `size` bytes at `offset` through the pin's request queue.
GstFlowReturn ReadThroughPin(NetworkSource* self, uint64_t offset, uint8_t* data, int32_t size,
                             int32_t* actual)
{
    MediaSample sample(data, size);
    sample.SetByteRange(int64_t(offset), size);
    AsyncOutputPin& pin = OutputPin(self);
    if (!Succeeded(pin.Request(&sample, 0))) return GST_FLOW_FLUSHING;
    for (;;) {
        MediaSample* done = nullptr;
        uintptr_t user_value = 0;
        const Result result = pin.WaitForNext(kWaitSliceMs, &done, &user_value);
        if (done == &sample) {
            if (!Succeeded(result)) return GST_FLOW_FLUSHING;
            *actual = sample.actual_data_length();
            return GST_FLOW_OK;
        }
        // A slice ran out with the read still queued: keep waiting. A flush
        // hands the sample back at once; anything else ends the read.
        if (result != kTimeout || done) return GST_FLOW_FLUSHING;
    }
}

GstFlowReturn network_source_create(GstBaseSrc* base, guint64 offset, guint size, GstBuffer** out)
{
    NetworkSource* self = AsSource(base);
    size = std::min<guint>(size, self->block_size);
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, size, nullptr);
    GstMapInfo map;
    gst_buffer_map(buffer, &map, GST_MAP_WRITE);
    GstFlowReturn flow = GST_FLOW_OK;
    int32_t actual = 0;
    for (;;) {
        if (!PassGate(self, offset)) {
            flow = GST_FLOW_FLUSHING;
            break;
        }
        flow = ReadThroughPin(self, offset, map.data, int32_t(size), &actual);
        if (flow != GST_FLOW_OK) break;
        const bool only_zeros =
            std::all_of(map.data, map.data + actual, [](uint8_t byte) { return byte == 0; });
        if (actual > 0 && !only_zeros) break;
        if (!PauseUnlessFlushing(self, kEmptyReadPause)) {
            flow = GST_FLOW_FLUSHING;
            break;
        }
    }
    gst_buffer_unmap(buffer, &map);
    if (flow != GST_FLOW_OK) {
        gst_buffer_unref(buffer);
        return flow;
    }
    gst_buffer_set_size(buffer, actual);
    GST_BUFFER_OFFSET(buffer) = offset;
    GST_BUFFER_OFFSET_END(buffer) = offset + actual;
    *out = buffer;
    return GST_FLOW_OK;
}

gboolean network_source_get_size(GstBaseSrc* base, guint64* size)
{
    int64_t total = 0;
    if (!Succeeded(OutputPin(AsSource(base)).Length(&total, nullptr))) return FALSE;
    *size = guint64(total);
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

gboolean network_source_start(GstBaseSrc* base)
{
    // The connection a pull-mode peer makes: it asks for the reader.
    AsyncOutputPin& pin = OutputPin(AsSource(base));
    pin.CheckConnect();
    pin.QueryReader();
    return Succeeded(pin.CompleteConnect()) ? TRUE : FALSE;
}

gboolean network_source_stop(GstBaseSrc* base)
{
    OutputPin(AsSource(base)).BreakConnect();
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
    OutputPin(self).BeginFlush();
    return TRUE;
}

gboolean network_source_unlock_stop(GstBaseSrc* base)
{
    NetworkSource* self = AsSource(base);
    OutputPin(self).EndFlush();
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
    base_class->query = network_source_query;
    base_class->start = network_source_start;
    base_class->stop = network_source_stop;
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
    gst_base_src_set_format(GST_BASE_SRC(self), GST_FORMAT_BYTES);
}

}  // namespace

GstElement* CreateNetworkSourceElement(NetworkSourceFilter* filter, uint32_t block_size,
                                       uint64_t head_bytes)
{
    static const bool registered =
        gst_element_register(nullptr, "kinoverdnetworksrc", GST_RANK_NONE, network_source_get_type());
    if (!registered) return nullptr;
    GstElement* element = gst_element_factory_make("kinoverdnetworksrc", nullptr);
    if (!element) return nullptr;
    NetworkSource* self = AsSource(element);
    self->filter = filter;
    self->block_size = block_size;
    self->head_bytes = head_bytes;
    gst_base_src_set_blocksize(GST_BASE_SRC(element), block_size);
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
