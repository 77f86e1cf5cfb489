// SPDX-License-Identifier: GPL-3.0-or-later
#include "broadcast/channel_reception.h"

#include <algorithm>
#include <cstring>

#include "broadcast/wire_format.h"

namespace kinoverd {

namespace {

size_t RingBytes(int ring_kib, uint32_t block_size)
{
    if (ring_kib <= 0 || block_size == 0) return 0;
    return size_t(int64_t(ring_kib) * 1024 / block_size) * wire::PacketSize(block_size);
}

}  // namespace

ChannelReception::ChannelReception(uint32_t block_size, int ring_kib)
    : block_size_(block_size),
      ring_(RingBytes(ring_kib, block_size), wire::PacketSize(block_size)),
      admission_(ring_, block_size)
{
}

ChannelReception::~ChannelReception() { Stop(); }

bool ChannelReception::Start(int channel, ReceptionEvents* events)
{
    Stop();
    admission_.Reset();
    admission_.ResetCounters();
    // A ring that could not be allocated holds nothing: nothing to start.
    if (ring_.SlotCount() < 2) return false;
    events_ = events;
    auto admit = [this](uint8_t* datagram, size_t length, const SenderAddress& source) {
        admission_.Handle(datagram, length, source, events_.load());
    };
    const std::string group = wire::GroupAddress(channel);
    const bool control = control_receiver_.Start(group, wire::ControlPort(channel), block_size_, admit);
    const bool data = data_receiver_.Start(group, wire::DataPort(channel), block_size_, admit);
    return control && data;
}

void ChannelReception::Stop()
{
    data_receiver_.Stop();
    control_receiver_.Stop();
}

void ChannelReception::Reset()
{
    admission_.Reset();
    next_offset_ = 0;
    std::lock_guard lock(timing_mutex_);
    gaps_.clear();
}

ChannelReception::Block ChannelReception::TakeBlock(uint8_t* destination)
{
    Block block;
    for (;;) {
        bool skipped = false;
        const bool popped = ring_.PopWith([&](const uint8_t* packet) {
            if (!wire::HasKvMagic(packet)) {
                skipped = true;
            } else if (wire::KindByte(packet) == char(wire::Kind::kData)) {
                const uint32_t length = wire::StreamLength(packet);
                const uint64_t offset = uint64_t(wire::BlockIndex(packet)) * block_size_;
                block.take = Take::kData;
                block.offset = uint32_t(offset);
                block.bytes = offset < length ? uint32_t(std::min<uint64_t>(block_size_, length - offset)) : 0;
                std::memcpy(destination, packet + wire::kHeadBytes, block.bytes);
                stream_length_ = length;
                NoteTiming(block, destination);
                NoteGap(block.offset, block.bytes);
            } else if (wire::KindByte(packet) == char(wire::Kind::kEnd)) {
                block.take = Take::kEnd;
            } else {
                skipped = true;
            }
        });
        if (!popped) return Block{};
        // A header block wholly past the end of a short stream carries nothing.
        if (skipped || (block.take == Take::kData && block.bytes == 0)) continue;
        return block;
    }
}

StreamTiming ChannelReception::timing() const
{
    std::lock_guard lock(timing_mutex_);
    return timing_;
}

std::optional<double> ChannelReception::live_keyframe_s() const
{
    std::lock_guard lock(timing_mutex_);
    return live_scan_.keyframe_s();
}

void ChannelReception::NoteTiming(const Block& block, const uint8_t* data)
{
    std::lock_guard lock(timing_mutex_);
    // The first pack opens the stream; its first stamps may come a few
    // packs later, still within the head.
    if (block.offset == 0) {
        timing_ = ReadStreamTiming(data, block.bytes);
    } else if (block.offset < wire::kHeaderBytes && !timing_.first_picture_s) {
        const StreamTiming more = ReadStreamTiming(data, block.bytes);
        if (!timing_.first_stamp_s) timing_.first_stamp_s = more.first_stamp_s;
        timing_.first_picture_s = more.first_picture_s;
    }
    if (!live_scan_.keyframe_s()) live_scan_.Scan(data, block.bytes);
}

std::vector<ChannelReception::Gap> ChannelReception::gaps() const
{
    std::lock_guard lock(timing_mutex_);
    return gaps_;
}

// Shorter gaps (a few lost datagrams) the demuxer's clock follows itself.
void ChannelReception::NoteGap(uint32_t offset, uint32_t bytes)
{
    const uint32_t expected = next_offset_.exchange(offset + bytes);
    std::lock_guard lock(timing_mutex_);
    const uint32_t rate = timing_.mux_rate;
    if (expected != 0 && rate != 0 && offset >= expected + uint64_t(rate))
        gaps_.push_back({expected, offset - expected});
}

bool ChannelReception::FindStartPosition(uint32_t* position)
{
    for (int taken = 0; taken < kStartSearchPackets;) {
        bool found = false;
        const bool popped = ring_.PopWith([&](const uint8_t* packet) {
            // Unsigned 32-bit product, as the byte positions of the stream are.
            const uint32_t offset = wire::BlockIndex(packet) * block_size_;
            found = wire::HasHead(packet, wire::Kind::kData) && offset >= wire::kHeaderBytes;
            if (found) {
                *position = offset;
                // The jump from the head to the live data is no outage.
                next_offset_ = offset;
                // Live data right after the head plays on from the head's
                // pictures; only a gap makes the first live key frame the
                // first picture shown.
                std::lock_guard lock(timing_mutex_);
                if (offset > wire::kHeaderBytes) live_scan_ = FirstKeyframeScan();
            }
            return !found;
        });
        if (popped) {
            if (found) return true;
            ++taken;
        } else if (!ring_.WaitForPacket(kStartSearchWait, [] { return false; })) {
            return false;
        }
    }
    return false;
}

}  // namespace kinoverd
