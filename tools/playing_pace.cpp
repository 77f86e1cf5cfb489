// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/playing_pace.h"

#include "broadcast/broadcaster.h"
#include "broadcast/media_stream_file.h"

namespace kinoverd {

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
    const auto offset = broadcaster.first_pack_offset();
    if (!offset || *offset == MediaStreamFile::kNoPackOffset) return;
    rate_ = MuxRate(broadcaster.header().data(), broadcaster.header().size());
}

PlayingPace::~PlayingPace()
{
    if (holding_) broadcaster_.ReleaseSend();
}

void PlayingPace::Update()
{
    if (!rate_) return;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const bool ahead = broadcaster_.sent_position() > seconds * *rate_ + kLeadBytes;
    if (ahead && !holding_) broadcaster_.HoldSend();
    if (!ahead && holding_) broadcaster_.ReleaseSend();
    holding_ = ahead;
}

}  // namespace kinoverd
