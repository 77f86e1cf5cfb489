// SPDX-License-Identifier: GPL-3.0-or-later
// Counts a broadcaster's end reports, for tests that check when and how
// often the send thread reports the end.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>

#include "broadcast/broadcaster_events.h"

namespace kinoverd::test {

class RecordedBroadcastEnds : public BroadcasterEvents {
public:
    void BroadcastEnded() override;

    // True as soon as the end was reported `count` times in all; false after `timeout`.
    bool WaitFor(std::chrono::milliseconds timeout, size_t count = 1) const;
    size_t Count() const;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable reported_;
    size_t ends_ = 0;  // guarded by mutex_
};

}  // namespace kinoverd::test
