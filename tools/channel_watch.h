// SPDX-License-Identifier: GPL-3.0-or-later
// Listens on a broadcast's own channel for anyone else's stream packets: a
// caster's way to learn that another sender has taken its channel.
//
// Threads: the owner starts, stops and takes; the receive threads report.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>

#include "broadcast/channel_reception.h"
#include "broadcast/reception_events.h"

namespace kinoverd {

class Broadcaster;

class ChannelWatch : private ReceptionEvents {
public:
    // A small ring: the watch looks only at who sends, never at the stream.
    static constexpr int kRingKib = 8;

    ChannelWatch();
    ~ChannelWatch() override;
    // Watches `channel` for senders other than `broadcaster` (started).
    bool Start(int channel, const Broadcaster& broadcaster);
    void Stop();
    // The other sender, once after each conflict the reception reported.
    std::optional<SenderAddress> TakeConflict();
    // Datagrams from other senders so far.
    uint64_t foreign() const { return reception_.counters().foreign; }

private:
    void SenderConflict(SenderAddress other) override;
    void PlaybackReady() override {}
    void ResumePlayback() override {}
    void RingNearlyFull() override {}
    void RestartReceived() override {}
    void CloseReceived() override {}
    void RingEmpty(uint32_t) override {}
    void EndOfStream() override {}

    std::atomic<bool> conflict_{false};  // set by the receive threads
    std::mutex mutex_;
    SenderAddress other_;          // guarded by mutex_
    ChannelReception reception_;  // last: its threads end first
};

}  // namespace kinoverd
