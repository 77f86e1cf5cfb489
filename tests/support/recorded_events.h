// SPDX-License-Identifier: GPL-3.0-or-later
// Reception events kept in order, for tests that check what the receive
// side and the reader report and when.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "broadcast/reception_events.h"

namespace kinoverd::test {

enum class Event {
    kPlaybackReady,
    kResumePlayback,
    kRingNearlyFull,
    kRestart,
    kClose,
    kSenderConflict,
    kRingEmpty,
    kEndOfStream,
};

struct RecordedEvent {
    Event event;
    uint32_t position = 0;  // of kRingEmpty
};

class RecordedEvents : public ReceptionEvents {
public:
    void PlaybackReady() override { Record(Event::kPlaybackReady); }
    void ResumePlayback() override { Record(Event::kResumePlayback); }
    void RingNearlyFull() override { Record(Event::kRingNearlyFull); }
    void RestartReceived() override { Record(Event::kRestart); }
    void CloseReceived() override { Record(Event::kClose); }
    void SenderConflict(SenderAddress) override { Record(Event::kSenderConflict); }
    void RingEmpty(uint32_t position) override { Record(Event::kRingEmpty, position); }
    void EndOfStream() override { Record(Event::kEndOfStream); }

    // True as soon as `event` was recorded `count` times in all; false after `timeout`.
    bool WaitFor(Event event, std::chrono::milliseconds timeout, size_t count = 1) const;
    size_t Count(Event event) const;
    std::vector<RecordedEvent> events() const;
    // Everything but the per-packet kResumePlayback.
    std::vector<Event> Notices() const;

private:
    void Record(Event event, uint32_t position = 0);
    size_t CountLocked(Event event) const;

    mutable std::mutex mutex_;
    mutable std::condition_variable recorded_;
    std::vector<RecordedEvent> events_;  // guarded by mutex_
};

}  // namespace kinoverd::test
