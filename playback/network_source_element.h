// SPDX-License-Identifier: GPL-3.0-or-later
// The playback pipeline's source element: pushes the received broadcast as
// an MPEG-1 system stream, taking it block by block from the channel's
// reception. Registered inside the program as "kinoverdnetworksrc"; no
// plugin has to be installed.
//
// The source is position-blind, so it offers push scheduling only: a
// pull-mode demuxer would read backwards from the stream's end looking for
// timestamps, and every such read would consume broadcast packets. Byte
// seeks are still accepted; they only set the position the next blocks
// report.
//
// The first blocks, up to `head_bytes`, carry the stream's head; after them
// the element waits at a gate until OpenNetworkSourceGate (the controller
// opens it once it has found where the live data begins), so that nothing
// past the head is taken from the ring before the start search.
//
// While the ring is empty the element reports an underrun once and sleeps
// until a packet arrives or a flush starts; at the end packet it pushes
// end-of-stream.
#pragma once

#include <gst/gst.h>

#include <cstdint>

namespace kinoverd {

class ChannelReception;

// A new floating element over `reception`, which must outlive it.
GstElement* CreateNetworkSourceElement(ChannelReception* reception, uint64_t head_bytes);
// Lets the element read past the head.
void OpenNetworkSourceGate(GstElement* element);
// True once the element waits at the gate, having pushed the whole head.
bool NetworkSourceReachedGate(GstElement* element);

}  // namespace kinoverd
