// The playback pipeline's source element: pushes the received broadcast as an
// MPEG-1 system stream, reading it block by block through the pull source's
// output pin and I/O queue. Registered inside the program as
// "kinoverdnetworksrc"; no plugin has to be installed.
//
// The source is position-blind, so it offers push scheduling only: a pull-mode
// demuxer would read backwards from the stream's end looking for timestamps,
// and every such read would consume broadcast packets. Byte seeks are still
// accepted; they only set the position the next reads report.
//
// The first reads, up to `head_bytes`, carry the stream's head; after them the
// element waits at a gate until OpenGate() (the controller opens it once it
// has found where the live data begins), so that nothing past the head is
// taken from the ring before the start search.
#pragma once

#include <gst/gst.h>

#include <cstdint>

namespace kinoverd {

class NetworkSourceFilter;

// A new floating element over `filter`, which must outlive it. Reads are
// `block_size` bytes; reads of nothing but zeros (an empty ring, or the end
// of the stream) are not pushed: the element waits and reads again.
GstElement* CreateNetworkSourceElement(NetworkSourceFilter* filter, uint32_t block_size,
                                       uint64_t head_bytes);
// Lets the element read past the head.
void OpenNetworkSourceGate(GstElement* element);
// True once the element waits at the gate, having pushed the whole head.
bool NetworkSourceReachedGate(GstElement* element);

}  // namespace kinoverd
