// SPDX-License-Identifier: GPL-3.0-or-later
// Tunes in to a channel exactly as a station's receive side does and writes
// the received stream to a file descriptor: keeps to the sender of the
// stream-start packet it synchronises on, waits until the ring is half full
// (or a short stream is whole), then takes the stream block by block as the
// playback source does. Ends at the stream's end, its sender's close packet,
// a silence or a stopping signal; its restart packet starts the next stream
// in the same output. Before it synchronises, the close or silence of the
// broadcast it last heard ends it too. Reports lost, duplicate and foreign
// datagrams.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>

#include "broadcast/channel_reception.h"
#include "broadcast/reception_events.h"

namespace kinoverd {

class StopSignals;

class ChannelTuner : private ReceptionEvents {
public:
    static constexpr int kExitDone = 0;        // the whole stream to its end, nothing lost
    static constexpr int kExitFailure = 1;     // cannot listen or write
    static constexpr int kExitDamaged = 3;     // blocks lost, or closed or silent before the end
    static constexpr int kExitJoinedLate = 4;  // nothing lost from the join point to the end
    static constexpr int kExitSignalBase = 128;
    // A running broadcast sends every 6 ms and holds its sender 500 ms at most.
    static constexpr auto kSilenceLimit = std::chrono::seconds(5);
    // A stream too short to fill half the ring is read once it stops growing.
    static constexpr auto kShortStreamWait = std::chrono::seconds(2);

    ChannelTuner(int channel, int output_fd, const StopSignals& signals);
    ~ChannelTuner() override;

    // Returns the exit status; reports on standard error.
    int Tune();

private:
    // Waits for the ring to fill. Empty when reading should begin, or an exit status.
    std::optional<int> AwaitStart();
    // Reads one stream to its end. Empty after a restart, or an exit status.
    std::optional<int> ReadStream();
    // A signal, close or restart that ends the current stream, if any.
    std::optional<int> TakeInterruption();
    // Sleeps until an event or a signal arrives, or `limit` passes.
    void Sleep(std::chrono::milliseconds limit) const;
    // The exit status once nothing was heard since `since` for kSilenceLimit.
    std::optional<int> EndOfSilence(std::chrono::steady_clock::time_point since);
    // Empty when written, or an exit status (a write error, a signal).
    std::optional<int> WriteBlock(const uint8_t* block, uint32_t size);
    void ReportProgress();
    // Reports what was received; kExitDone only for a whole copy.
    int Finish(bool reached_end);

    // ReceptionEvents, on the receive threads: flags for the main loop.
    void PlaybackReady() override { Raise(ready_); }
    void ResumePlayback() override {}
    void RingNearlyFull() override {}
    void RestartReceived() override { Raise(restarted_); }
    void CloseReceived() override { Raise(closed_); }
    void SenderConflict(SenderAddress) override { Raise(conflict_); }
    void RingEmpty(uint32_t) override {}
    void EndOfStream() override {}
    void Raise(std::atomic<bool>& flag);

    const int channel_;
    const int output_fd_;
    const StopSignals& signals_;
    const int wake_fd_;  // eventfd: written by the receive threads with every flag

    // Set by the receive threads, taken by the main loop.
    std::atomic<bool> ready_{false};
    std::atomic<bool> restarted_{false};
    std::atomic<bool> closed_{false};
    std::atomic<bool> conflict_{false};

    ChannelReception reception_;  // after the flags: its threads end first
    // Main loop only.
    uint64_t bytes_written_ = 0;
    std::chrono::steady_clock::time_point next_report_;
};

}  // namespace kinoverd
