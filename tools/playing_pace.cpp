// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/playing_pace.h"

#include "broadcast/broadcaster.h"
#include "broadcast/channel_reception.h"

namespace kinoverd {

namespace {

// A station starts reading once half its ring is filled.
constexpr uint32_t kStationReadingBytes = ChannelReception::kRingKib * 1024 / 2;

}  // namespace

std::optional<uint32_t> PlayingPace::MuxRate(const uint8_t* pack, size_t length)
{
    if (length < 14 || pack[0] != 0 || pack[1] != 0 || pack[2] != 1 || pack[3] != 0xBA)
        return std::nullopt;
    uint32_t units = 0;  // of 50 bytes per second
    if ((pack[4] & 0xF0) == 0x20) {
        // MPEG-1: marker bit, 22 bits of rate, marker bit.
        units = (uint32_t(pack[9] & 0x7F) << 15) | (uint32_t(pack[10]) << 7) | (pack[11] >> 1);
    } else if ((pack[4] & 0xC0) == 0x40) {
        // MPEG-2: 22 bits of rate, two marker bits.
        units = (uint32_t(pack[10]) << 14) | (uint32_t(pack[11]) << 6) | (pack[12] >> 2);
    }
    if (units == 0) return std::nullopt;
    return units * 50;
}

PlayingPace::PlayingPace(Broadcaster& broadcaster, std::chrono::steady_clock::time_point start)
    : broadcaster_(broadcaster), start_(start)
{
    if (!broadcaster.first_pack_offset()) return;
    rate_ = MuxRate(broadcaster.header().data(), broadcaster.header().size());
}

PlayingPace::~PlayingPace()
{
    if (holding_) broadcaster_.ReleaseSend();
}

void PlayingPace::Update()
{
    const auto now = std::chrono::steady_clock::now();
    const uint32_t sent = broadcaster_.sent_position();
    if (!stations_reading_ && sent - broadcaster_.start_offset() >= kStationReadingBytes)
        stations_reading_ = now;
    if (!rate_) return;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const bool ahead = sent > seconds * *rate_ + kLeadBytes;
    if (ahead && !holding_) broadcaster_.HoldSend();
    if (!ahead && holding_) broadcaster_.ReleaseSend();
    holding_ = ahead;
}

std::chrono::steady_clock::time_point PlayingPace::PlayedOutAt(std::chrono::steady_clock::time_point ended) const
{
    // A station plays the head and then the data from the start offset on.
    const uint32_t played = broadcaster_.sent_position() - broadcaster_.start_offset();
    const double seconds = double(played) / rate_.value_or(kAssumedBytesPerSecond);
    return stations_reading_.value_or(ended) + kDecoderStartUp +
           std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(seconds));
}

}  // namespace kinoverd
