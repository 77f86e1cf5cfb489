// SPDX-License-Identifier: GPL-3.0-or-later
// Keeps a headless broadcast near the pace at which its stream plays.
//
// The wire carries a block every 6 ms, about twice a Video CD's rate. In the
// player, the station's own receive side holds the sender whenever its ring
// fills up; a caster without a player has no such feedback, so every station
// tuned to it would overflow. This holds the sender while it is more than a
// lead ahead of the stream's own rate (the mux rate of its first pack), and
// tells when the stations tuned to it can have played it out.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace kinoverd {

class Broadcaster;

class PlayingPace {
public:
    // How far the broadcast may run ahead of playing time: enough to keep a
    // tuned station's ring filled, well short of its 4/5 mark.
    static constexpr uint32_t kLeadBytes = 512 * 1024;
    // The rate assumed for a stream whose first pack names none: about a
    // Video CD's.
    static constexpr uint32_t kAssumedBytesPerSecond = 153600;
    // From a station's start of reading to its first picture, at most.
    static constexpr auto kDecoderStartUp = std::chrono::seconds(1);

    // Bytes per second of an MPEG-1 or MPEG-2 pack header's mux rate, read
    // from the 14 bytes at `pack`; empty when they are not a pack header or
    // the rate is 0.
    static std::optional<uint32_t> MuxRate(const uint8_t* pack, size_t length);

    // Reads the rate of the started broadcaster's stream; without one,
    // nothing is held. Playing time counts from `start`: a broadcast moved
    // to another channel keeps the time its stream began.
    explicit PlayingPace(Broadcaster& broadcaster,
                         std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now());
    // Releases a hold still in place.
    ~PlayingPace();
    PlayingPace(const PlayingPace&) = delete;
    PlayingPace& operator=(const PlayingPace&) = delete;

    // Holds or releases the sender for the time now; call it often.
    void Update();
    // When a station tuned in from the broadcast's start, whose end was sent
    // at `ended`, has played it out: it starts reading once half its ring
    // is filled (or the whole stream is in) and plays at the stream's rate.
    std::chrono::steady_clock::time_point PlayedOutAt(std::chrono::steady_clock::time_point ended) const;
    std::optional<uint32_t> rate() const { return rate_; }
    std::chrono::steady_clock::time_point start() const { return start_; }

private:
    Broadcaster& broadcaster_;
    std::optional<uint32_t> rate_;
    std::chrono::steady_clock::time_point start_;
    bool holding_ = false;
    // When enough was sent for a station to start reading.
    std::optional<std::chrono::steady_clock::time_point> stations_reading_;
};

}  // namespace kinoverd
