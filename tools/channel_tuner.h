// Tunes in to a channel exactly as a station's receive side does and writes
// the delivered stream to a file descriptor: waits until the ring is half
// full, then reads the network stream block by block as a splitter would.
// Ends at the end packet, a close packet or a stopping signal; a restart
// packet starts the next stream in the same output.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

#include "playback/media_graph_controller.h"
#include "tools/queued_notify.h"

namespace kinoverd {

class StopSignals;

class ChannelTuner {
public:
    static constexpr int kExitDone = 0;
    static constexpr int kExitFailure = 1;
    static constexpr int kExitSignalBase = 128;
    // A running broadcast sends every 6 ms and holds its sender 500 ms at most.
    static constexpr auto kSilenceLimit = std::chrono::seconds(5);
    // A stream too short to fill half the ring is read once it stops growing.
    static constexpr auto kShortStreamWait = std::chrono::seconds(2);

    ChannelTuner(int channel, int output_fd, const StopSignals& signals);

    // Returns the exit status; reports on standard error.
    int Tune();

private:
    // Waits for the ring to fill. Empty when reading should begin, or an exit status.
    std::optional<int> AwaitStart();
    // Reads one stream to its end. Empty after a restart, or an exit status.
    std::optional<int> ReadStream();
    // Waits until the ring has a packet, a message or a signal arrives, or the time runs out.
    void AwaitData(std::chrono::milliseconds limit);
    bool WriteBlock(const uint8_t* block, uint32_t size);
    void ReportProgress();

    const int channel_;
    const int output_fd_;
    const StopSignals& signals_;
    QueuedNotify notify_;
    MediaGraphController controller_;
    uint64_t bytes_written_ = 0;
    std::chrono::steady_clock::time_point next_report_;
};

}  // namespace kinoverd
