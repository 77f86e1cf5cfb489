// SPDX-License-Identifier: GPL-3.0-or-later
#include "broadcast/mpeg_pack.h"

namespace kinoverd {

namespace {

constexpr uint32_t kMuxRateUnitBytes = 50;
constexpr double kClockHz = 90000.0;

bool StartCodeAt(const uint8_t* p) { return p[0] == 0 && p[1] == 0 && p[2] == 1; }

// The 33-bit time stamp spread over five bytes with marker bits.
double TimeStamp(const uint8_t* p)
{
    const uint64_t ticks = uint64_t((p[0] >> 1) & 0x07) << 30 | uint64_t(p[1]) << 22 |
                           uint64_t(p[2] >> 1) << 15 | uint64_t(p[3]) << 7 | uint64_t(p[4] >> 1);
    return double(ticks) / kClockHz;
}

// The mux rate and clock reference of the pack header at `pack`, which has
// 14 bytes at least.
void ReadPack(const uint8_t* pack, StreamTiming* timing)
{
    uint32_t units = 0;
    if ((pack[4] & 0xF0) == 0x20) {  // MPEG-1: '0010', clock reference, 22 bits between markers
        timing->first_clock_s = TimeStamp(pack + 4);
        units = uint32_t(pack[9] & 0x7F) << 15 | uint32_t(pack[10]) << 7 | uint32_t(pack[11]) >> 1;
    } else if ((pack[4] & 0xC0) == 0x40) {  // MPEG-2: '01', clock reference and extension, 22 bits
        const uint8_t* p = pack + 4;
        const uint64_t ticks = uint64_t(p[0] & 0x38) << 27 | uint64_t(p[0] & 0x03) << 28 |
                               uint64_t(p[1]) << 20 | uint64_t(p[2] & 0xF8) << 12 |
                               uint64_t(p[2] & 0x03) << 13 | uint64_t(p[3]) << 5 | uint64_t(p[4]) >> 3;
        timing->first_clock_s = double(ticks) / kClockHz;
        units = uint32_t(pack[10]) << 14 | uint32_t(pack[11]) << 6 | uint32_t(pack[12]) >> 2;
    }
    timing->mux_rate = units * kMuxRateUnitBytes;
}

// The presentation time of the packet whose header begins at `pes`.
std::optional<double> PacketTime(const uint8_t* pes, const uint8_t* end)
{
    const uint8_t* p = pes + 6;
    if (p < end && (*p & 0xC0) == 0x80) {  // MPEG-2: flags, header length, then the stamp
        if (end - p < 8 || !(p[1] & 0x80)) return std::nullopt;
        return TimeStamp(p + 3);
    }
    while (p < end && *p == 0xFF) ++p;  // MPEG-1 stuffing
    if (end - p >= 2 && (*p & 0xC0) == 0x40) p += 2;  // buffer size
    if (end - p < 5 || (*p & 0xE0) != 0x20) return std::nullopt;
    return TimeStamp(p);
}

}  // namespace

void FirstKeyframeScan::Scan(const uint8_t* data, size_t size)
{
    constexpr uint8_t kPictureStart = 0x00;
    constexpr uint8_t kSequenceHeader = 0xB3;
    constexpr int kIntraCoded = 1;
    const uint8_t* end = data + size;
    for (const uint8_t* p = data; end - p >= 6 && !keyframe_s_; ++p) {
        if (!StartCodeAt(p)) continue;
        if (p[3] >= 0xE0 && p[3] <= 0xEF) {
            video_stamp_s_ = PacketTime(p, end);
        } else if (p[3] == kSequenceHeader) {
            // A decoder that joins can only begin after a sequence header.
            sequence_seen_ = true;
        } else if (p[3] == kPictureStart && video_stamp_s_ && sequence_seen_) {
            // temporal_reference:10, then picture_coding_type:3
            const int coding_type = (p[5] >> 3) & 0x07;
            if (coding_type == kIntraCoded) keyframe_s_ = video_stamp_s_;
            video_stamp_s_.reset();  // the stamp belongs to the packet's first picture
        }
    }
}

StreamTiming ReadStreamTiming(const uint8_t* data, size_t size)
{
    StreamTiming timing;
    const uint8_t* end = data + size;
    for (const uint8_t* p = data; end - p >= 6 && !timing.first_picture_s; ++p) {
        if (!StartCodeAt(p)) continue;
        if (p[3] == 0xBA && !timing.first_clock_s && end - p >= 14) ReadPack(p, &timing);
        // Audio streams are 0xC0 to 0xDF, video 0xE0 to 0xEF.
        if (p[3] < 0xC0 || p[3] > 0xEF) continue;
        const std::optional<double> stamp = PacketTime(p, end);
        if (!stamp) continue;
        if (!timing.first_stamp_s) timing.first_stamp_s = stamp;
        if (p[3] >= 0xE0) timing.first_picture_s = stamp;
    }
    return timing;
}

}  // namespace kinoverd
