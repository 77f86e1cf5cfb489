// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/channel_tuner.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "broadcast/wire_format.h"
#include "tools/stop_signals.h"

namespace kinoverd {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr auto kReportInterval = std::chrono::seconds(1);
constexpr milliseconds kIdleTick{100};

}  // namespace

ChannelTuner::ChannelTuner(int channel, int output_fd, const StopSignals& signals)
    : channel_(channel),
      output_fd_(output_fd),
      signals_(signals),
      wake_fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      reception_(wire::kBlockSize)
{
}

ChannelTuner::~ChannelTuner()
{
    reception_.Stop();
    if (wake_fd_ >= 0) close(wake_fd_);
}

void ChannelTuner::Raise(std::atomic<bool>& flag)
{
    flag = true;
    reception_.Interrupt();
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(wake_fd_, &one, sizeof one);
}

void ChannelTuner::Sleep(milliseconds limit) const
{
    pollfd fds[] = {{signals_.fd(), POLLIN, 0}, {wake_fd_, POLLIN, 0}};
    if (poll(fds, 2, int(limit.count())) > 0 && (fds[1].revents & POLLIN)) {
        uint64_t count = 0;
        [[maybe_unused]] const ssize_t got = read(wake_fd_, &count, sizeof count);
    }
}

int ChannelTuner::Tune()
{
    const auto group = wire::GroupAddress(channel_);
    if (wake_fd_ < 0) {
        std::fprintf(stderr, "kinoverd-tune: eventfd: %s\n", std::strerror(errno));
        return kExitFailure;
    }
    if (!reception_.Start(channel_, this)) {
        std::fprintf(stderr,
                     "kinoverd-tune: cannot listen on channel %d (group %s, ports %u and %u): "
                     "a port is taken or there is no multicast route\n",
                     channel_, group.c_str(), unsigned(wire::DataPort(channel_)),
                     unsigned(wire::ControlPort(channel_)));
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

std::optional<int> ChannelTuner::TakeInterruption()
{
    if (const auto signal = signals_.Take()) return kExitSignalBase + *signal;
    if (conflict_.exchange(false)) {
        const auto sender = reception_.sender();
        std::fprintf(stderr,
                     "kinoverd-tune: another sender is broadcasting on this channel; only %s "
                     "is received\n",
                     sender ? sender->ToString().c_str() : "the first to start a stream");
    }
    if (closed_.exchange(false)) {
        std::fprintf(stderr, "kinoverd-tune: the broadcast was closed before its end\n");
        return Finish(false);
    }
    return std::nullopt;
}

int ChannelTuner::Finish(bool reached_end)
{
    const DatagramAdmission::Counters counters = reception_.counters();
    std::fprintf(stderr,
                 "kinoverd-tune: %llu bytes written; %llu blocks lost, %llu duplicate, %llu late, "
                 "%llu implausible, %llu foreign datagrams\n",
                 static_cast<unsigned long long>(bytes_written_),
                 static_cast<unsigned long long>(counters.lost),
                 static_cast<unsigned long long>(counters.duplicate),
                 static_cast<unsigned long long>(counters.late),
                 static_cast<unsigned long long>(counters.implausible),
                 static_cast<unsigned long long>(counters.foreign));
    if (counters.unsent > 0) {
        std::fprintf(stderr,
                     "kinoverd-tune: the sender left out the stream's last %llu blocks, less than a "
                     "chunk\n",
                     static_cast<unsigned long long>(counters.unsent));
    }
    if (reached_end && counters.lost == 0 && counters.skipped == 0) return kExitDone;
    if (reached_end && counters.lost == 0) {
        std::fprintf(stderr,
                     "kinoverd-tune: the copy is whole from where it joined the stream; %llu blocks "
                     "before that were sent before tuning in or skipped by a restart\n",
                     static_cast<unsigned long long>(counters.skipped));
        return kExitJoinedLate;
    }
    std::fprintf(stderr, "kinoverd-tune: the copy is %s\n",
                 reached_end ? "damaged: blocks are missing" : "incomplete");
    return kExitDamaged;
}

std::optional<int> ChannelTuner::EndOfSilence(Clock::time_point since)
{
    if (Clock::now() - since < kSilenceLimit) return std::nullopt;
    std::fprintf(stderr,
                 "kinoverd-tune: nothing received for %lld s: the broadcast stopped without an end "
                 "packet\n",
                 static_cast<long long>(std::chrono::duration_cast<std::chrono::seconds>(kSilenceLimit).count()));
    return Finish(false);
}

std::optional<int> ChannelTuner::AwaitStart()
{
    uint32_t last_count = 0;
    auto count_since = Clock::now();
    for (;;) {
        Sleep(kIdleTick);
        if (const auto status = TakeInterruption()) return status;
        if (restarted_.exchange(false)) {
            reception_.Reset();
            std::fprintf(stderr, "kinoverd-tune: restart: waiting for the next stream\n");
        }
        if (ready_.exchange(false)) return std::nullopt;
        // Waiting for a broadcast to begin is endless; one heard that went
        // silent is over, synchronised on or not.
        if (const auto heard = reception_.admission().last_heard()) {
            if (const auto status = EndOfSilence(*heard)) return status;
        }
        // The whole of a short stream is in the ring, with its end packet.
        const uint32_t count = reception_.ring().Count();
        if (count != last_count) {
            last_count = count;
            count_since = Clock::now();
        } else if (count > 0 && reception_.stream_accepted() &&
                   Clock::now() - count_since >= kShortStreamWait) {
            reception_.MarkReadingStarted();
            return std::nullopt;
        }
    }
}

std::optional<int> ChannelTuner::ReadStream()
{
    std::vector<uint8_t> block(reception_.block_size());
    auto last_data = Clock::now();
    for (;;) {
        if (const auto signal = signals_.Take()) return kExitSignalBase + *signal;
        // The rest of a restarted stream is not wanted: the next one follows.
        if (restarted_.exchange(false)) {
            reception_.Reset();
            std::fprintf(stderr, "kinoverd-tune: restart: waiting for the next stream\n");
            return std::nullopt;
        }
        const ChannelReception::Block taken = reception_.TakeBlock(block.data());
        if (taken.take == ChannelReception::Take::kEnd) {
            std::fprintf(stderr, "kinoverd-tune: end of stream\n");
            return Finish(true);
        }
        if (taken.take == ChannelReception::Take::kData) {
            if (const auto status = WriteBlock(block.data(), taken.bytes)) return status;
            last_data = Clock::now();
            ReportProgress();
            continue;
        }
        // Nothing buffered: what arrived before a close is written.
        if (const auto status = TakeInterruption()) return status;
        if (const auto status = EndOfSilence(last_data)) return status;
        reception_.WaitForPacket(kIdleTick, [this] { return closed_ || restarted_; });
        ReportProgress();
    }
}

std::optional<int> ChannelTuner::WriteBlock(const uint8_t* block, uint32_t size)
{
    while (size > 0) {
        // The signals are blocked: a pipe that nobody reads must not keep
        // Ctrl-C waiting. Once writable, a pipe takes a block without waiting.
        pollfd fds[] = {{output_fd_, POLLOUT, 0}, {signals_.fd(), POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) continue;
        if (fds[1].revents & POLLIN) {
            if (const auto signal = signals_.Take()) return kExitSignalBase + *signal;
        }
        if (fds[0].revents == 0) continue;
        const ssize_t written = write(output_fd_, block, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            std::fprintf(stderr, "kinoverd-tune: cannot write the output: %s\n", std::strerror(errno));
            return kExitFailure;
        }
        block += written;
        size -= uint32_t(written);
        bytes_written_ += uint64_t(written);
    }
    return std::nullopt;
}

void ChannelTuner::ReportProgress()
{
    const auto now = Clock::now();
    if (now < next_report_) return;
    next_report_ = now + kReportInterval;
    const DatagramAdmission::Counters counters = reception_.counters();
    std::fprintf(stderr,
                 "kinoverd-tune: %llu bytes written, stream length %u; lost %llu, duplicate %llu, "
                 "foreign %llu\n",
                 static_cast<unsigned long long>(bytes_written_), reception_.stream_length(),
                 static_cast<unsigned long long>(counters.lost),
                 static_cast<unsigned long long>(counters.duplicate),
                 static_cast<unsigned long long>(counters.foreign));
}

}  // namespace kinoverd
