#include "tools/channel_tuner.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "broadcast/notify_target.h"
#include "broadcast/wire_format.h"
#include "tools/stop_signals.h"

namespace kinoverd {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The ring of the player's video window: 1500 KiB.
constexpr int kRingKib = 1500;
constexpr auto kReportInterval = std::chrono::seconds(1);
constexpr milliseconds kIdleTick{100};
constexpr milliseconds kUnderrunTick{5};

}  // namespace

ChannelTuner::ChannelTuner(int channel, int output_fd, const StopSignals& signals)
    : channel_(channel),
      output_fd_(output_fd),
      signals_(signals),
      controller_(kRingKib, wire::kBlockSize)
{
}

int ChannelTuner::Tune()
{
    const auto group = wire::GroupAddress(channel_);
    if (!notify_.is_open()) {
        std::fprintf(stderr, "kinoverd-tune: eventfd: %s\n", std::strerror(errno));
        return kExitFailure;
    }
    if (!controller_.StartReception(group, wire::DataPort(channel_), &notify_)) {
        std::fprintf(stderr,
                     "kinoverd-tune: cannot listen on channel %d (group %s, ports %u and %u): "
                     "a port is taken or there is no multicast route\n",
                     channel_, group.c_str(), unsigned(wire::DataPort(channel_)),
                     unsigned(wire::ControlPort(channel_)));
        controller_.StopReception();
        return kExitFailure;
    }
    std::fprintf(stderr, "kinoverd-tune: channel %d (group %s, data port %u): waiting for a broadcast\n",
                 channel_, group.c_str(), unsigned(wire::DataPort(channel_)));
    next_report_ = Clock::now() + kReportInterval;
    for (;;) {
        if (const auto status = AwaitStart()) return *status;
        if (const auto status = ReadStream()) return *status;
    }
}

std::optional<int> ChannelTuner::AwaitStart()
{
    uint32_t last_count = 0;
    auto count_since = Clock::now();
    for (;;) {
        pollfd fds[] = {{signals_.fd(), POLLIN, 0}, {notify_.fd(), POLLIN, 0}};
        poll(fds, 2, int(kIdleTick.count()));
        if (const auto signal = signals_.Take()) return kExitSignalBase + *signal;
        while (const auto message = notify_.Take()) {
            switch (message->number) {
            case kMsgRingHalfFull:
                return std::nullopt;
            case kMsgClose:
                std::fprintf(stderr, "kinoverd-tune: the broadcast was closed\n");
                return kExitDone;
            case kMsgRestart:
                controller_.Stop();
                std::fprintf(stderr, "kinoverd-tune: restart: waiting for the next stream\n");
                break;
            }
        }
        // The whole of a short stream is in the ring, with its end packet.
        const uint32_t count = controller_.packet_ring()->Count();
        if (count != last_count) {
            last_count = count;
            count_since = Clock::now();
        } else if (count > 0 && controller_.stream_accepted() &&
                   Clock::now() - count_since >= kShortStreamWait) {
            return std::nullopt;
        }
    }
}

std::optional<int> ChannelTuner::ReadStream()
{
    std::vector<uint8_t> block(wire::kBlockSize);
    NetworkStream& stream = controller_.network_stream();
    auto last_data = Clock::now();
    for (;;) {
        if (const auto signal = signals_.Take()) return kExitSignalBase + *signal;
        uint32_t got = 0;
        stream.Lock();
        stream.Read(block.data(), uint32_t(block.size()), true, &got);
        stream.Unlock();

        // Deliver reports in this thread before Read returns, so the
        // messages about this block are already queued.
        bool underrun = false, ended = false, closed = false, restarted = false;
        while (const auto message = notify_.Take()) {
            underrun |= message->number == kMsgRingEmpty;
            ended |= message->number == kMsgEndOfStream;
            closed |= message->number == kMsgClose;
            restarted |= message->number == kMsgRestart;
        }
        if (ended) {
            std::fprintf(stderr, "kinoverd-tune: end of stream, %llu bytes written\n",
                         static_cast<unsigned long long>(bytes_written_));
            return kExitDone;
        }
        if (!underrun) {
            if (!WriteBlock(block.data(), got)) return kExitFailure;
            last_data = Clock::now();
        }
        if (closed) {
            std::fprintf(stderr, "kinoverd-tune: the broadcast was closed\n");
            return kExitDone;
        }
        if (restarted) {
            controller_.Stop();
            std::fprintf(stderr, "kinoverd-tune: restart: waiting for the next stream\n");
            return std::nullopt;
        }
        if (underrun) {
            if (Clock::now() - last_data >= kSilenceLimit) {
                std::fprintf(stderr,
                             "kinoverd-tune: nothing received for %lld s: the broadcast stopped "
                             "without an end packet\n",
                             static_cast<long long>(
                                 std::chrono::duration_cast<std::chrono::seconds>(kSilenceLimit).count()));
                return kExitFailure;
            }
            AwaitData(kIdleTick);
        }
        ReportProgress();
    }
}

void ChannelTuner::AwaitData(milliseconds limit)
{
    const auto until = Clock::now() + limit;
    while (controller_.packet_ring()->Count() == 0 && Clock::now() < until) {
        pollfd fds[] = {{signals_.fd(), POLLIN, 0}, {notify_.fd(), POLLIN, 0}};
        if (poll(fds, 2, int(kUnderrunTick.count())) > 0) return;
    }
}

bool ChannelTuner::WriteBlock(const uint8_t* block, uint32_t size)
{
    while (size > 0) {
        const ssize_t written = write(output_fd_, block, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            std::fprintf(stderr, "kinoverd-tune: cannot write the output: %s\n", std::strerror(errno));
            return false;
        }
        block += written;
        size -= uint32_t(written);
        bytes_written_ += uint64_t(written);
    }
    return true;
}

void ChannelTuner::ReportProgress()
{
    const auto now = Clock::now();
    if (now < next_report_) return;
    next_report_ = now + kReportInterval;
    std::fprintf(stderr, "kinoverd-tune: %llu bytes written, stream length %u\n",
                 static_cast<unsigned long long>(bytes_written_), controller_.TotalSize());
}

}  // namespace kinoverd
