// SPDX-License-Identifier: GPL-3.0-or-later
// Hears a broadcaster's end for a command-line tool's poll loop: raised on
// the send thread, its eventfd wakes the loop.
#pragma once

#include <atomic>

#include "broadcast/broadcaster_events.h"

namespace kinoverd {

class BroadcastEndFlag : public BroadcasterEvents {
public:
    BroadcastEndFlag();
    ~BroadcastEndFlag() override;
    BroadcastEndFlag(const BroadcastEndFlag&) = delete;
    BroadcastEndFlag& operator=(const BroadcastEndFlag&) = delete;

    void BroadcastEnded() override;

    bool is_open() const { return fd_ >= 0; }
    // Readable (for poll) once the end was heard, until Take.
    int fd() const { return fd_; }
    // Whether the end was heard since the last Take; clears it.
    bool Take();

private:
    const int fd_;
    std::atomic<bool> ended_{false};
};

}  // namespace kinoverd
