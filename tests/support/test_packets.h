// SPDX-License-Identifier: GPL-3.0-or-later
// Whole test datagrams of the broadcast format.
#pragma once

#include <cstdint>
#include <vector>

#include "broadcast/wire_format.h"

namespace kinoverd::test {

// One whole datagram of `kind`. Header and data packets carry the index,
// the stream length and a payload that tells the block index apart.
inline std::vector<uint8_t> MakePacket(wire::Kind kind, uint32_t block_index = 0,
                                       uint32_t stream_length = 0,
                                       uint32_t block_size = wire::kBlockSize)
{
    std::vector<uint8_t> packet(wire::PacketSize(block_size), 0);
    wire::WriteHead(packet.data(), kind);
    wire::WriteIndexAndLength(packet.data(), block_index, stream_length);
    for (uint32_t i = 0; i < block_size; ++i)
        packet[wire::kHeadBytes + i] = uint8_t(block_index * 7 + i);
    return packet;
}

}  // namespace kinoverd::test
