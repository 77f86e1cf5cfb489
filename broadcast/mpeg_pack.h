// SPDX-License-Identifier: GPL-3.0-or-later
// What the head of an MPEG system stream says about its timing: the mux
// rate of its first pack and the time stamp of its first picture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace kinoverd {

struct StreamTiming {
    uint32_t mux_rate = 0;                   // of the first pack, bytes per second; 0 when unknown
    std::optional<double> first_clock_s;    // clock reference of the first pack
    std::optional<double> first_stamp_s;    // presentation time of the first stamped packet
    std::optional<double> first_picture_s;  // ... and of the first stamped video packet
};

// Reads the first pack header and the packets that begin within `size`
// bytes at `data` (MPEG-1 or MPEG-2 program stream).
StreamTiming ReadStreamTiming(const uint8_t* data, size_t size);

// Follows a stream from an arbitrary point, block by block, to the first
// intra-coded picture after a sequence header: the first a decoder can show
// after a jump.
class FirstKeyframeScan {
public:
    // Looks through the next `size` bytes of the stream.
    void Scan(const uint8_t* data, size_t size);
    // The presentation time of that picture, once found.
    const std::optional<double>& keyframe_s() const { return keyframe_s_; }

private:
    bool sequence_seen_ = false;
    std::optional<double> video_stamp_s_;  // of the video packet being read, if stamped
    std::optional<double> keyframe_s_;
};

}  // namespace kinoverd
