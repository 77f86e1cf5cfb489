// SPDX-License-Identifier: GPL-3.0-or-later
#include "broadcast/datagram_admission.h"

#include <algorithm>
#include <cstring>

#include "broadcast/packet_ring.h"
#include "broadcast/reception_events.h"
#include "broadcast/wire_format.h"

namespace kinoverd {

namespace {

constexpr uint32_t kRecentBlocks = 64;  // bits of recent_blocks_

// The kind of a well-formed head (magic, zero byte, kind); empty for anything else.
std::optional<wire::Kind> KindOf(const uint8_t* datagram)
{
    for (wire::Kind kind : {wire::Kind::kData, wire::Kind::kHeader, wire::Kind::kStreamStart,
                            wire::Kind::kEnd, wire::Kind::kRestart, wire::Kind::kClose}) {
        if (wire::HasHead(datagram, kind)) return kind;
    }
    return std::nullopt;
}

bool IsStreamPacket(wire::Kind kind)
{
    return kind != wire::Kind::kRestart && kind != wire::Kind::kClose;
}

}  // namespace

DatagramAdmission::Outcome DatagramAdmission::Handle(uint8_t* datagram, size_t length,
                                                     const SenderAddress& source,
                                                     ReceptionEvents* events)
{
    bool pushed = false;
    bool nearly_full = false;
    bool run = false;
    bool request_start = false;
    {
        std::unique_lock lock(mutex_);
        const bool whole_packet = length == wire::PacketSize(block_size_);
        if (sender_ && !IsSender(source)) {
            if (whole_packet && FollowedSenderGone(datagram)) {
                // Its stream will never end: make way for the new one.
                ForgetStream();
                lock.unlock();
                if (events) events->RestartReceived();
                return Outcome::kRestart;
            }
            const bool conflict = whole_packet && NoteForeign(datagram);
            lock.unlock();
            if (conflict && events) events->SenderConflict(source);
            return Outcome::kForeign;
        }
        // Every datagram of a broadcast is exactly one packet long; anything
        // else is not ours, and a short one would leave part of a slot stale.
        if (!whole_packet) {
            if (sender_) Add(implausible_);
            return Outcome::kWrongLength;
        }
        const std::optional<wire::Kind> kind = KindOf(datagram);
        if (!kind) {
            if (sender_) Add(implausible_);
            return Outcome::kImplausible;
        }
        if (!sender_) {
            // Following whoever starts a stream, and nobody yet: control
            // packets from anyone else must not end or disturb anything,
            // but the broadcast heard so far may close before its next
            // stream-start packet, and nothing more is coming then.
            if (*kind == wire::Kind::kClose && source == heard_from_) {
                if (events) events->CloseReceived();
                return Outcome::kClose;
            }
            if (!IsStreamPacket(*kind)) {
                Add(foreign_);
                return Outcome::kForeign;
            }
            if (*kind != wire::Kind::kStreamStart) {
                Hear(source);
                return Outcome::kNotAccepted;
            }
            sender_ = source;
        }
        Hear(source);

        switch (*kind) {
        case wire::Kind::kRestart:
            if (events) events->RestartReceived();
            return Outcome::kRestart;
        case wire::Kind::kClose:
            if (events) events->CloseReceived();
            return Outcome::kClose;
        case wire::Kind::kStreamStart:
            if (accepted_) return Outcome::kStreamOver;
            accepted_ = true;
            break;
        case wire::Kind::kHeader:
            if (!accepted_) return Outcome::kNotAccepted;
            if (const Outcome outcome = AdmitHeader(datagram); outcome != Outcome::kPushed) return outcome;
            break;
        case wire::Kind::kData:
            if (!accepted_) return Outcome::kNotAccepted;
            if (const Outcome outcome = AdmitData(datagram); outcome != Outcome::kPushed) return outcome;
            break;
        case wire::Kind::kEnd:
            if (!accepted_) return Outcome::kNotAccepted;
            if (ended_) return Outcome::kStreamOver;
            CountMissingEnd();
            next_header_block_ = wire::kHeaderBytes / block_size_;
            break;
        }

        pushed = ring_.Push(datagram);
        bool end_in = pushed && *kind == wire::Kind::kEnd;
        if (*kind == wire::Kind::kData || *kind == wire::Kind::kHeader) {
            if (pushed) {
                Add(admitted_);
            } else {
                CountLost(1);
            }
            // The last block is in: the stream is whole even if its end
            // packet never comes, so the reader gets the end right after it.
            const uint64_t end = (uint64_t(wire::BlockIndex(datagram)) + 1) * block_size_;
            if (pushed && end >= *stream_length_) {
                uint8_t end_packet[wire::kMaxBlockSize + wire::kHeadBytes] = {};
                wire::WriteHead(end_packet, wire::Kind::kEnd);
                end_in = ring_.Push(end_packet);
            }
        }
        if (end_in) ended_ = true;
        const uint64_t count = ring_.Count();
        // Once the end is in, no more data is coming: a stream too short to
        // fill half the ring must still start, and a playback paused near the
        // end must still play it out.
        const bool ready = count >= ring_.SlotCount() / 2 || end_in;
        // A playback paused by an underrun resumes once half the ring is refilled.
        run = pushed && ready && start_requested_;
        nearly_full = count > uint64_t(ring_.SlotCount()) * 4 / 5;
        request_start = ready && !start_requested_;
        if (request_start) start_requested_ = true;
    }
    if (events) {
        if (run || nearly_full) events->ResumePlayback();
        if (nearly_full) events->RingNearlyFull();
        if (request_start) events->PlaybackReady();
    }
    return pushed ? Outcome::kPushed : Outcome::kRingFull;
}

void DatagramAdmission::Hear(const SenderAddress& source)
{
    heard_at_ = std::chrono::steady_clock::now();
    heard_from_ = source;
}

// At the end packet, what has not come by now never will. A missing tail
// shorter than one chunk is one a sender may leave out; more was lost.
void DatagramAdmission::CountMissingEnd()
{
    uint64_t received_end = uint64_t(HeadBlocksInStream()) * block_size_;
    if (last_block_) {
        received_end = (uint64_t(*last_block_) + 1) * block_size_;
    } else {
        CountLost(HeadBlocksInStream() - std::min(next_header_block_, HeadBlocksInStream()));
    }
    if (!stream_length_ || *stream_length_ <= received_end) return;
    const uint64_t missing_bytes = *stream_length_ - received_end;
    const uint64_t missing_blocks = (missing_bytes + block_size_ - 1) / block_size_;
    if (missing_bytes < wire::kChunkBytes)
        Add(unsent_, missing_blocks);
    else
        CountLost(missing_blocks);
}

// A socket connected to a group reports no address of its own: then its
// port alone names the station's own sender.
bool DatagramAdmission::IsSender(const SenderAddress& source) const
{
    return source.port == sender_->port && (sender_->address == 0 || source.address == sender_->address);
}

// True when this foreign stream packet makes the sender a conflict: enough
// of them within one window. Reported once a window.
bool DatagramAdmission::NoteForeign(const uint8_t* datagram)
{
    Add(foreign_);
    const std::optional<wire::Kind> kind = KindOf(datagram);
    if (!kind || !IsStreamPacket(*kind)) return false;
    const auto now = std::chrono::steady_clock::now();
    if (now - conflict_window_start_ >= kConflictWindow) {
        conflict_window_start_ = now;
        conflict_datagrams_ = 0;
    }
    return ++conflict_datagrams_ == kConflictDatagrams;
}

// True when `datagram` starts another sender's stream and the sender
// followed since its own stream-start packet has fallen silent. A station's
// own broadcaster is never given up.
bool DatagramAdmission::FollowedSenderGone(const uint8_t* datagram) const
{
    return !given_sender_ && wire::HasHead(datagram, wire::Kind::kStreamStart) && heard_at_ &&
           std::chrono::steady_clock::now() - *heard_at_ >= kSenderGoneAfter;
}

bool DatagramAdmission::Plausible(uint32_t stream_length, uint32_t block_index, bool header)
{
    if (!stream_length_) {
        if (stream_length == 0) return false;
        stream_length_ = stream_length;
    }
    const uint32_t head_blocks = wire::kHeaderBytes / block_size_;
    const uint64_t blocks = (uint64_t(*stream_length_) + block_size_ - 1) / block_size_;
    // A short stream's header still has all its blocks, past the end as zeros.
    const bool inside = header ? block_index < head_blocks
                               : block_index >= head_blocks && block_index < blocks;
    return stream_length == *stream_length_ && inside;
}

uint32_t DatagramAdmission::HeadBlocksInStream() const
{
    const uint32_t head_blocks = wire::kHeaderBytes / block_size_;
    if (!stream_length_) return head_blocks;
    return uint32_t(std::min<uint64_t>(head_blocks, (uint64_t(*stream_length_) + block_size_ - 1) / block_size_));
}

DatagramAdmission::Outcome DatagramAdmission::AdmitHeader(uint8_t* datagram)
{
    const uint32_t index = wire::BlockIndex(datagram);
    if (!Plausible(wire::StreamLength(datagram), index, true)) {
        Add(implausible_);
        return Outcome::kImplausible;
    }
    // The first series fills the head of the stream, in order; later ones
    // would only repeat the stream's beginning in the middle of live data.
    const uint32_t head_blocks = wire::kHeaderBytes / block_size_;
    if (ended_) return Outcome::kStreamOver;
    if (start_requested_ || next_header_block_ >= head_blocks) return Outcome::kHeaderDropped;
    if (index < next_header_block_) {
        Add(duplicate_);
        return Outcome::kDuplicate;
    }
    const uint32_t in_stream = HeadBlocksInStream();
    CountLost(std::min(index, in_stream) - std::min(next_header_block_, in_stream));
    next_header_block_ = index + 1;
    wire::WriteHead(datagram, wire::Kind::kData);
    return Outcome::kPushed;
}

DatagramAdmission::Outcome DatagramAdmission::AdmitData(const uint8_t* datagram)
{
    const uint32_t index = wire::BlockIndex(datagram);
    if (!Plausible(wire::StreamLength(datagram), index, false)) {
        Add(implausible_);
        return Outcome::kImplausible;
    }
    if (last_block_) {
        if (index <= *last_block_) {
            const uint32_t back = *last_block_ - index;
            if (back < kRecentBlocks && (recent_blocks_ >> back) & 1) {
                Add(duplicate_);
                return Outcome::kDuplicate;
            }
            Add(late_);
            return Outcome::kLate;
        }
        if (ended_) return Outcome::kStreamOver;
        const uint32_t step = index - *last_block_;
        CountLost(step - 1);
        recent_blocks_ = step >= kRecentBlocks ? 1 : (recent_blocks_ << step) | 1;
    } else {
        if (ended_) return Outcome::kStreamOver;
        // Live data follows the head at the sender's position: the jump is
        // no loss, but a head cut short is.
        CountLost(HeadBlocksInStream() - std::min(next_header_block_, HeadBlocksInStream()));
        Add(skipped_, index - wire::kHeaderBytes / block_size_);
        next_header_block_ = wire::kHeaderBytes / block_size_;
        recent_blocks_ = 1;
    }
    last_block_ = index;
    return Outcome::kPushed;
}

void DatagramAdmission::ForgetStream()
{
    sender_ = given_sender_;
    accepted_ = false;
    start_requested_ = false;
    ended_ = false;
    next_header_block_ = 0;
    stream_length_.reset();
    last_block_.reset();
    recent_blocks_ = 0;
    ring_.Reset();
}

void DatagramAdmission::KeepTo(std::optional<SenderAddress> sender)
{
    std::lock_guard lock(mutex_);
    given_sender_ = sender;
    ForgetStream();
}

void DatagramAdmission::Reset()
{
    std::lock_guard lock(mutex_);
    ForgetStream();
}

void DatagramAdmission::MarkStartRequested()
{
    std::lock_guard lock(mutex_);
    start_requested_ = true;
}

bool DatagramAdmission::stream_accepted() const
{
    std::lock_guard lock(mutex_);
    return accepted_;
}

bool DatagramAdmission::start_requested() const
{
    std::lock_guard lock(mutex_);
    return start_requested_;
}

bool DatagramAdmission::stream_ended() const
{
    std::lock_guard lock(mutex_);
    return ended_;
}

std::optional<SenderAddress> DatagramAdmission::sender() const
{
    std::lock_guard lock(mutex_);
    return sender_;
}

std::optional<std::chrono::steady_clock::time_point> DatagramAdmission::last_heard() const
{
    std::lock_guard lock(mutex_);
    return heard_at_;
}

DatagramAdmission::Counters DatagramAdmission::counters() const
{
    constexpr auto relaxed = std::memory_order_relaxed;
    return {admitted_.load(relaxed), lost_.load(relaxed),    duplicate_.load(relaxed),
            late_.load(relaxed),     implausible_.load(relaxed), foreign_.load(relaxed),
            skipped_.load(relaxed),  unsent_.load(relaxed)};
}

void DatagramAdmission::ResetCounters()
{
    std::lock_guard lock(mutex_);
    for (auto* counter :
         {&admitted_, &lost_, &duplicate_, &late_, &implausible_, &foreign_, &skipped_, &unsent_})
        counter->store(0, std::memory_order_relaxed);
}

}  // namespace kinoverd
