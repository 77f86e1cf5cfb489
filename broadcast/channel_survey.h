// SPDX-License-Identifier: GPL-3.0-or-later
// Which channels are on the air: listens to the data ports of all four
// channels at once for a while and reports, for each, whether anything was
// broadcast, by whom, and how far the programme has come. Sends nothing.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "broadcast/wire_format.h"

namespace kinoverd {

struct ChannelState {
    bool on_air = false;
    std::string sender;                  // "address:port" of the last datagram; empty when unknown
    std::optional<int> progress_percent;  // of the stream length, from the latest data packet
};

using ChannelStates = std::array<ChannelState, wire::kLastChannel - wire::kFirstChannel + 1>;

class ChannelSurvey {
public:
    static constexpr std::chrono::milliseconds kListenTime{1000};

    explicit ChannelSurvey(uint32_t block_size) : block_size_(block_size) {}

    // Blocks for `listen_time`. A channel whose port cannot be listened to
    // here counts as on the air.
    ChannelStates Listen(std::chrono::milliseconds listen_time = kListenTime) const;

private:
    const uint32_t block_size_;
};

}  // namespace kinoverd
