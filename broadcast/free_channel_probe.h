// SPDX-License-Identifier: GPL-3.0-or-later
// Finds a channel on which nobody is broadcasting: it listens on a channel's
// data port for about one second and calls the channel free when nothing at
// all arrived. Blocks the caller; keeps no state between calls.
#pragma once

#include <cstdint>

namespace kinoverd {

class FreeChannelProbe {
public:
    // Receive attempts per channel, with kPause between them: about one second.
    static constexpr int kAttempts = 11;
    static constexpr int kPauseMilliseconds = 100;
    // Probing refuses channels outside this range without opening a socket.
    static constexpr int kLowestProbedChannel = 0;
    static constexpr int kHighestProbedChannel = 4;
    // Each probe of a search waits a random time up to this first, so that
    // two stations searching together rarely listen in the same second and
    // both find the same channel free.
    static constexpr int kMaxDelayMilliseconds = 300;

    // `block_size` sizes the socket buffers and the receive buffer.
    explicit FreeChannelProbe(uint32_t block_size) : block_size_(block_size) {}

    // The first free channel of 0 to 3 other than `excluded`, tried in
    // order; -1 when none is free.
    int FindFreeChannel(int excluded = -1) const;

    // True when nothing arrived on the channel's data port while listening;
    // false when something did, or the port could not be bound or joined.
    bool ProbeChannel(int channel) const;

private:
    const uint32_t block_size_;
};

}  // namespace kinoverd
