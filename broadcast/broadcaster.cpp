// SPDX-License-Identifier: GPL-3.0-or-later
#include "broadcast/broadcaster.h"

#include <pthread.h>
#include <sched.h>
#include <sys/prctl.h>
#include <time.h>

#include <algorithm>
#include <cstring>

#include "broadcast/broadcaster_events.h"

namespace kinoverd {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kHoldTime = std::chrono::milliseconds(500);
constexpr auto kControlPause = std::chrono::milliseconds(300);
// The send thread wakes the reader only once this many slots are free (one
// chunk's packets), so the reader refills in bursts, not once per datagram.
constexpr uint32_t kRefillSlots = 16;

// Sleeps until an absolute point of the monotonic clock.
void SleepUntil(const timespec& when)
{
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &when, nullptr) == EINTR) {
    }
}

timespec Now()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now;
}

int64_t Nanoseconds(const timespec& t) { return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec; }

timespec FromNanoseconds(int64_t ns) { return timespec{time_t(ns / 1000000000), long(ns % 1000000000)}; }

// Lets the send thread preempt other work as soon as its timer fires, so
// that datagrams leave on time on a busy machine: the lowest real-time
// priority, where the user may have it. The thread sleeps between
// datagrams and needs some 30 us per wake-up. Elsewhere it keeps its
// ordinary priority.
void RequestPromptWakeUps()
{
    sched_param realtime{};
    realtime.sched_priority = sched_get_priority_min(SCHED_FIFO);
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &realtime);
}

}  // namespace

Broadcaster::Broadcaster(std::string file_name, int channel, uint32_t block_size,
                         BroadcasterEvents* events, const TrackOpener* tracks)
    : file_name_(std::move(file_name)),
      channel_(channel),
      block_size_(block_size),
      packet_size_(wire::PacketSize(block_size)),
      ring_size_(block_size * kRingSlots + 12 * kRingSlots),
      events_(events),
      tracks_(tracks && tracks->IsTrackName(file_name_) ? tracks : nullptr),
      layout_(ScanLayout()),
      header_(wire::kHeaderBytes),
      ring_(ring_size_)
{
}

Broadcaster::~Broadcaster()
{
    EndRestart();
    EndThreads();
}

bool Broadcaster::Start(uint32_t start_offset)
{
    EndThreads();
    stream_.Close();
    started_ = false;
    error_.clear();
    // Packets are cut from whole chunks into fixed receive buffers.
    if (block_size_ == 0 || block_size_ > wire::kMaxBlockSize || wire::kChunkBytes % block_size_ != 0) {
        error_ = "unsupported block size";
        return false;
    }
    if (!OpenStream()) return false;
    if (stream_.length() == 0) {
        error_ = "nothing to broadcast: the stream is empty";
        stream_.Close();
        return false;
    }
    const uint32_t length = stream_.length();
    // Unsigned on purpose: a stream shorter than the tail wraps and keeps the
    // offset as asked. Data blocks start on a block boundary, so that every
    // packet's payload matches its block index.
    start_offset_ = std::min(start_offset, uint32_t(length - kRestartTailBytes));
    start_offset_ -= start_offset_ % block_size_;

    // A stream shorter than the header still sends what it has.
    std::fill(header_.begin(), header_.end(), 0);
    if (!stream_.Read(header_.data(), 0, std::min(length, wire::kHeaderBytes))) {
        error_ = stream_.error();
        stream_.Close();
        return false;
    }
    {
        std::lock_guard lock(read_error_mutex_);
        read_error_.clear();
    }

    // Opened here, not by the send thread, so that the owner knows the
    // sender's address before anything is sent. Time-to-live 1 or nothing.
    socket_.Close();
    if (!socket_.OpenSender(block_size_) ||
        !socket_.Connect(wire::GroupAddress(channel_), wire::DataPort(channel_))) {
        error_ = "cannot open a multicast socket with time-to-live 1";
        socket_.Close();
        stream_.Close();
        return false;
    }
    sender_address_ = socket_.LocalAddress();
    ran_ = false;

    read_position_ = 0;
    write_position_ = 0;
    sent_position_.store(start_offset_, std::memory_order_relaxed);
    space_event_.Reset();
    data_event_.Reset();
    started_ = true;
    return true;
}

std::optional<MediaStreamFile::Layout> Broadcaster::ScanLayout() const
{
    if (!tracks_) return MediaStreamFile::ScanLayout(file_name_);
    std::string error;
    const std::unique_ptr<SectorSource> track = tracks_->Open(file_name_, error);
    return track ? MediaStreamFile::ScanLayout(*track) : std::nullopt;
}

// Scans again when construction could not: the file or disc may be back.
bool Broadcaster::OpenStream()
{
    if (!tracks_) {
        if (!layout_) layout_ = ScanLayout();
        if (stream_.Open(file_name_, layout_ ? layout_->user_data_offset() : 0)) return true;
        error_ = stream_.error();
        return false;
    }
    std::unique_ptr<SectorSource> track = tracks_->Open(file_name_, error_);
    if (!track) return false;
    if (!layout_) layout_ = MediaStreamFile::ScanLayout(*track);
    if (!layout_) {
        error_ = track->error();
        return false;
    }
    if (stream_.Open(std::move(track), layout_->user_data_offset())) return true;
    error_ = stream_.error();
    return false;
}

std::string Broadcaster::read_error() const
{
    std::lock_guard lock(read_error_mutex_);
    return read_error_;
}

void Broadcaster::SetReadError()
{
    std::lock_guard lock(read_error_mutex_);
    read_error_ = stream_.error();
}

void Broadcaster::Run()
{
    if (!started_ || reader_thread_.joinable()) return;
    stopping_ = false;
    ran_ = true;
    reader_thread_ = std::thread(&Broadcaster::ReaderThread, this);
    send_thread_ = std::thread(&Broadcaster::SendThread, this);
}

void Broadcaster::HoldSend()
{
    std::lock_guard lock(hold_mutex_);
    ++hold_count_;
}

void Broadcaster::ReleaseSend()
{
    {
        std::lock_guard lock(hold_mutex_);
        if (hold_count_ > 0) --hold_count_;
    }
    hold_changed_.notify_all();
}

void Broadcaster::HoldSendFor500ms()
{
    {
        std::lock_guard lock(hold_mutex_);
        hold_until_ = std::max(hold_until_, Clock::now() + kHoldTime);
    }
    hold_changed_.notify_all();
}

void Broadcaster::StopAndRestart()
{
    EndRestart();
    StopWith(Stop::kRestart);
}

void Broadcaster::StopAndClose()
{
    EndRestart();
    StopWith(Stop::kClose);
}

void Broadcaster::StopQuietly()
{
    EndRestart();
    StopWith(Stop::kQuiet);
}

void Broadcaster::RestartAt(uint32_t offset)
{
    EndRestart();
    restart_thread_ = std::thread([this, offset] {
        pthread_setname_np(pthread_self(), "kv-cast-restart");
        StopWith(Stop::kRestart);
        {
            std::lock_guard lock(restart_mutex_);
            if (restart_ending_) return;
        }
        const bool started = Start(offset);
        if (events_) events_->BroadcastRestarted(started);
    });
}

// Cuts short a restart under way and waits for its thread.
void Broadcaster::EndRestart()
{
    if (!restart_thread_.joinable()) return;
    {
        std::lock_guard lock(restart_mutex_);
        restart_ending_ = true;
    }
    restart_ended_.notify_all();
    restart_thread_.join();
    std::lock_guard lock(restart_mutex_);
    restart_ending_ = false;
}

// False when a restart under way was ended meanwhile.
bool Broadcaster::PauseUnlessRestartEnded(std::chrono::milliseconds pause)
{
    std::unique_lock lock(restart_mutex_);
    return !restart_ended_.wait_for(lock, pause, [this] { return restart_ending_; });
}

void Broadcaster::StopWith(Stop stop)
{
    EndThreads();
    started_ = false;
    sender_address_.reset();
    // A broadcast that never ran has nobody to tell.
    if (socket_.is_open() && ran_) {
        switch (stop) {
        case Stop::kRestart:
            // Cut short, a restart leaves the channel to the stop that ended it.
            if (!PauseUnlessRestartEnded(kControlPause)) return;
            SendControlPackets(wire::Kind::kRestart, 1);
            break;
        case Stop::kClose:
            SendControlPackets(wire::Kind::kClose, 4);
            break;
        case Stop::kQuiet:  // nothing follows on the wire, so nothing to wait for
            break;
        }
    }
    socket_.Close();
    stream_.Close();
}

void Broadcaster::EndThreads()
{
    stopping_ = true;
    space_event_.Set();
    data_event_.Set();
    {
        std::lock_guard lock(hold_mutex_);  // no waiter may miss the flag
    }
    hold_changed_.notify_all();
    if (reader_thread_.joinable()) reader_thread_.join();
    if (send_thread_.joinable()) send_thread_.join();
}

void Broadcaster::SendControlPackets(wire::Kind kind, int count) const
{
    std::vector<uint8_t> packet(packet_size_, 0);
    wire::WriteHead(packet.data(), kind);
    const auto group = wire::GroupAddress(channel_);
    const auto pause = std::chrono::milliseconds(wire::PacingMilliseconds(block_size_));
    for (int i = 0; i < count; ++i) {
        if (i > 0) std::this_thread::sleep_for(pause);
        socket_.SendTo(packet.data(), packet.size(), group, wire::ControlPort(channel_));
    }
}

// ---- reader thread ----

void Broadcaster::ReaderThread()
{
    pthread_setname_np(pthread_self(), "kv-cast-read");
    const uint64_t length = stream_.length();
    std::vector<uint8_t> chunk(wire::kChunkBytes);
    if (!PutHeaderSeries()) return;
    uint64_t position = uint64_t(start_offset_) + wire::kHeaderBytes;
    int chunks = 0;
    bool read_failed = false;
    while (position + wire::kChunkBytes <= length) {
        ++chunks;
        if (!stream_.Read(chunk.data(), position, wire::kChunkBytes)) {
            read_failed = true;
            SetReadError();
            break;
        }
        for (uint32_t offset = 0; offset < wire::kChunkBytes; offset += block_size_) {
            if (!PutStreamPacket(wire::Kind::kData, uint32_t(position / block_size_),
                                 chunk.data() + offset, block_size_)) {
                return;
            }
            position += block_size_;
        }
        if (chunks == wire::kChunksBetweenHeaderSeries) {
            if (!PutHeaderSeries()) return;
            chunks = 0;
        }
    }
    // The tail that does not fill a chunk: whole blocks, the last zero-padded.
    if (!read_failed && position < length) {
        const uint32_t tail = uint32_t(length - position);
        std::fill(chunk.begin(), chunk.end(), 0);
        if (!stream_.Read(chunk.data(), position, tail)) {
            SetReadError();
        } else {
            for (uint32_t offset = 0; offset < tail; offset += block_size_) {
                if (!PutStreamPacket(wire::Kind::kData, uint32_t(position / block_size_),
                                     chunk.data() + offset, block_size_)) {
                    return;
                }
                position += block_size_;
            }
        }
    }
    PutStreamPacket(wire::Kind::kEnd, 0, nullptr, 0);
}

bool Broadcaster::PutHeaderSeries()
{
    if (!PutStreamPacket(wire::Kind::kStreamStart, 0, nullptr, 0)) return false;
    for (uint32_t i = 0; i < wire::kHeaderBytes / block_size_; ++i) {
        if (!PutStreamPacket(wire::Kind::kHeader, i, header_.data() + i * block_size_, block_size_))
            return false;
    }
    return true;
}

// Stream-start and end packets carry only their head; the rest is zero.
bool Broadcaster::PutStreamPacket(wire::Kind kind, uint32_t block_index, const uint8_t* payload,
                                  uint32_t payload_bytes)
{
    uint8_t packet[wire::kMaxBlockSize + wire::kHeadBytes] = {};
    wire::WriteHead(packet, kind);
    if (payload) {
        wire::WriteIndexAndLength(packet, block_index, stream_.length());
        std::memcpy(packet + wire::kHeadBytes, payload, payload_bytes);
    }
    return PutPacket(packet);
}

bool Broadcaster::RingFull() const
{
    const uint32_t slots = ring_size_ / packet_size_;
    const uint32_t next_slot = (write_position_.load(std::memory_order_relaxed) + packet_size_) / packet_size_ % slots;
    return next_slot == read_position_.load(std::memory_order_acquire) / packet_size_;
}

// Slots the reader may still fill; one always stays empty.
uint32_t Broadcaster::FreeSlots() const
{
    const uint32_t slots = ring_size_ / packet_size_;
    const uint32_t write_slot = write_position_.load(std::memory_order_acquire) / packet_size_;
    const uint32_t read_slot = read_position_.load(std::memory_order_relaxed) / packet_size_;
    return slots - 1 - (write_slot + slots - read_slot) % slots;
}

// Waits for a free slot, then publishes the packet. False when stopping.
bool Broadcaster::PutPacket(const uint8_t* packet)
{
    while (RingFull()) {
        space_event_.Reset();
        if (stopping_) return false;
        if (!RingFull()) break;
        space_event_.Wait();
    }
    if (stopping_) return false;
    uint32_t write = write_position_.load(std::memory_order_relaxed);
    std::memcpy(ring_.data() + write, packet, packet_size_);
    write += packet_size_;
    if (write >= ring_size_) write = 0;
    write_position_.store(write, std::memory_order_release);
    data_event_.Set();
    return true;
}

// ---- send thread ----

void Broadcaster::SendThread()
{
    pthread_setname_np(pthread_self(), "kv-cast-send");
    // Pacing needs sub-millisecond wake-ups, not the default 50 us slack rounding.
    prctl(PR_SET_TIMERSLACK, 1UL);
    RequestPromptWakeUps();
    const int64_t period = int64_t(wire::PacingMilliseconds(block_size_)) * 1000000;
    int64_t next_send = Nanoseconds(Now());

    for (;;) {
        if (!WaitForPacket() || !WaitWhileHeld()) return;
        // Each datagram waits one period after the previous one; after a
        // stall (empty ring, hold) the period counts from now.
        const int64_t now = Nanoseconds(Now());
        next_send += period;
        if (next_send < now) next_send = now + (now - next_send > period ? period : 0);
        SleepUntil(FromNanoseconds(next_send));
        if (stopping_) return;

        // A hold taken during the sleep keeps this datagram back. Sending
        // under the hold lock means nothing goes out once HoldSend returns.
        std::unique_lock hold(hold_mutex_);
        if (HeldLocked()) continue;
        uint32_t read = read_position_.load(std::memory_order_relaxed);
        const uint8_t* packet = ring_.data() + read;
        socket_.Send(packet, packet_size_);
        hold.unlock();
        if (wire::HasHead(packet, wire::Kind::kData)) {
            // The zero-padded last block must not count past the stream's end.
            const uint64_t end = (uint64_t(wire::BlockIndex(packet)) + 1) * block_size_;
            sent_position_.store(uint32_t(std::min<uint64_t>(end, wire::StreamLength(packet))),
                                 std::memory_order_relaxed);
        }
        if (wire::HasHead(packet, wire::Kind::kEnd)) {
            if (events_) events_->BroadcastEnded();
            return;
        }
        read += packet_size_;
        if (read >= ring_size_) read = 0;
        read_position_.store(read, std::memory_order_release);
        if (FreeSlots() >= kRefillSlots) space_event_.Set();
    }
}

// Waits until the ring holds a packet. False when stopping.
bool Broadcaster::WaitForPacket()
{
    auto empty = [this] {
        return read_position_.load(std::memory_order_relaxed) ==
               write_position_.load(std::memory_order_acquire);
    };
    while (empty()) {
        data_event_.Reset();
        if (stopping_) return false;
        if (!empty()) break;
        data_event_.Wait();
    }
    return !stopping_;
}

bool Broadcaster::HeldLocked() const
{
    return hold_count_ > 0 || Clock::now() < hold_until_;
}

// Waits while a hold is in force. False when stopping.
bool Broadcaster::WaitWhileHeld()
{
    std::unique_lock lock(hold_mutex_);
    for (;;) {
        if (stopping_) return false;
        if (hold_count_ > 0) {
            hold_changed_.wait(lock);
        } else if (Clock::now() < hold_until_) {
            hold_changed_.wait_until(lock, hold_until_);
        } else {
            return true;
        }
    }
}

}  // namespace kinoverd
