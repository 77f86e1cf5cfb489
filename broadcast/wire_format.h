// SPDX-License-Identifier: GPL-3.0-or-later
// The broadcast wire format: channel addressing, datagram layout and packet
// kinds. Every sender, receiver and the free-channel probe agree on this file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kinoverd::wire {

// Payload bytes per packet. Receive buffers hold at most kMaxBlockSize.
constexpr uint32_t kBlockSize = 2048;
constexpr uint32_t kMaxBlockSize = 4096;
constexpr uint32_t kHeadBytes = 12;  // magic, zero, kind, block index, length

// Stream bytes repeated in every header series, and the sender's read unit.
constexpr uint32_t kHeaderBytes = 65536;
constexpr uint32_t kChunkBytes = 32768;
constexpr int kChunksBetweenHeaderSeries = 16;

constexpr int kFirstChannel = 0;
constexpr int kLastChannel = 3;

enum class Kind : char {
    kStreamStart = 'A',
    kHeader = 'H',
    kData = 'P',
    kEnd = 'E',
    kRestart = 'R',
    kClose = 'D',
};

// Bytes of one datagram: the head plus the payload area.
constexpr uint32_t PacketSize(uint32_t block_size) { return block_size + kHeadBytes; }

// Socket send and receive buffers hold two packets.
constexpr int SocketBufferBytes(uint32_t block_size) { return int(2 * block_size + 24); }

// The sender waits this long before each datagram (6 ms at 2048).
constexpr int PacingMilliseconds(uint32_t block_size) { return int(3 * block_size / 1024); }

// Group "234.5.6.%d" with channel + 7; data port 4000 + 2 * channel; control port one above.
std::string GroupAddress(int channel);
uint16_t DataPort(int channel);
uint16_t ControlPort(int channel);

// Magic of a kind: "RB" for stream-start and header packets, "KV" for the rest.
const char* MagicOf(Kind kind);

// Writes magic, zero byte and kind into bytes 0..3 of a packet.
void WriteHead(uint8_t* packet, Kind kind);

// Writes a header or data packet's block index and stream length.
void WriteIndexAndLength(uint8_t* packet, uint32_t block_index, uint32_t stream_length);

// True when bytes 0..3 are exactly the magic, zero byte and kind of `kind`.
bool HasHead(const uint8_t* packet, Kind kind);

// True when bytes 0..2 are "KV", 0x00, whatever the kind.
bool HasKvMagic(const uint8_t* packet);

inline char KindByte(const uint8_t* packet) { return char(packet[3]); }

uint32_t BlockIndex(const uint8_t* packet);
uint32_t StreamLength(const uint8_t* packet);

uint32_t ReadLe32(const uint8_t* bytes);
void WriteLe32(uint8_t* bytes, uint32_t value);

}  // namespace kinoverd::wire
