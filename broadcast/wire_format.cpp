// SPDX-License-Identifier: GPL-3.0-or-later
#include "broadcast/wire_format.h"

#include <cstdio>

namespace kinoverd::wire {

std::string GroupAddress(int channel)
{
    char text[32];
    std::snprintf(text, sizeof text, "234.5.6.%d", channel + 7);
    return text;
}

uint16_t DataPort(int channel) { return uint16_t(4000 + 2 * channel); }

uint16_t ControlPort(int channel) { return uint16_t(4001 + 2 * channel); }

const char* MagicOf(Kind kind)
{
    return kind == Kind::kStreamStart || kind == Kind::kHeader ? "RB" : "KV";
}

void WriteHead(uint8_t* packet, Kind kind)
{
    const char* magic = MagicOf(kind);
    packet[0] = uint8_t(magic[0]);
    packet[1] = uint8_t(magic[1]);
    packet[2] = 0;
    packet[3] = uint8_t(kind);
}

void WriteIndexAndLength(uint8_t* packet, uint32_t block_index, uint32_t stream_length)
{
    WriteLe32(packet + 4, block_index);
    WriteLe32(packet + 8, stream_length);
}

bool HasHead(const uint8_t* packet, Kind kind)
{
    const char* magic = MagicOf(kind);
    return packet[0] == uint8_t(magic[0]) && packet[1] == uint8_t(magic[1]) && packet[2] == 0 &&
           packet[3] == uint8_t(kind);
}

bool HasKvMagic(const uint8_t* packet)
{
    return packet[0] == 'K' && packet[1] == 'V' && packet[2] == 0;
}

uint32_t BlockIndex(const uint8_t* packet) { return ReadLe32(packet + 4); }

uint32_t StreamLength(const uint8_t* packet) { return ReadLe32(packet + 8); }

uint32_t ReadLe32(const uint8_t* bytes)
{
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
           uint32_t(bytes[3]) << 24;
}

void WriteLe32(uint8_t* bytes, uint32_t value)
{
    bytes[0] = uint8_t(value);
    bytes[1] = uint8_t(value >> 8);
    bytes[2] = uint8_t(value >> 16);
    bytes[3] = uint8_t(value >> 24);
}

}  // namespace kinoverd::wire
