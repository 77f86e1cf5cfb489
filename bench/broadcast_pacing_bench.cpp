// SPDX-License-Identifier: GPL-3.0-or-later
// Pacing and CPU cost of one broadcast, measured on the wire.
//
//   tools/private-lan <build>/bench/broadcast_pacing_bench
//
// Broadcasts a plain MPEG-like file and the same stream as a Video CD track
// (about 2,300 datagrams each, some 14 s apiece) and reports the intervals
// between datagrams and the CPU time the broadcaster's threads spend per
// minute of broadcast. Goals: mean interval within 1 % of 6 ms, 99th
// percentile under 7 ms, under 0.5 s CPU per minute.
#include <net/if.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "broadcast/broadcaster.h"
#include "broadcast/multicast_socket.h"
#include "broadcast/broadcaster_events.h"
#include "broadcast/wire_format.h"
#include "tools/vcd_track_writer.h"

namespace {

using kinoverd::Broadcaster;
using kinoverd::MulticastSocket;
namespace wire = kinoverd::wire;

constexpr int kChannel = 0;
// 128 chunks of data after the header: 2,048 data packets, 9 header series.
constexpr size_t kStreamBytes = wire::kHeaderBytes + 128 * wire::kChunkBytes;

bool InsidePrivateLan()
{
    const char* marker = std::getenv("KINOVERD_PRIVATE_LAN");
    if (!marker || std::strcmp(marker, "1") != 0) return false;
    struct if_nameindex* interfaces = if_nameindex();
    if (!interfaces) return false;
    bool only_lo = true;
    for (struct if_nameindex* i = interfaces; i->if_index != 0; ++i)
        if (std::strcmp(i->if_name, "lo") != 0) only_lo = false;
    if_freenameindex(interfaces);
    return only_lo;
}

int64_t Nanoseconds(clockid_t clock)
{
    timespec now{};
    clock_gettime(clock, &now);
    return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

std::vector<uint8_t> MpegLikeStream(size_t bytes)
{
    std::mt19937 generator(42);
    std::vector<uint8_t> stream(bytes);
    for (auto& byte : stream) byte = uint8_t(generator());
    const uint8_t pack_start[] = {0x00, 0x00, 0x01, 0xBA};
    std::copy(std::begin(pack_start), std::end(pack_start), stream.begin());
    return stream;
}

std::string WriteTempFile(const std::vector<uint8_t>& bytes)
{
    char path[] = "/tmp/kinoverd-pacing-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) return {};
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = write(fd, bytes.data() + done, bytes.size() - done);
        if (wrote <= 0) break;
        done += size_t(wrote);
    }
    close(fd);
    return done == bytes.size() ? path : std::string();
}

class EndSignal : public kinoverd::BroadcasterEvents {
public:
    void BroadcastEnded() override { ended = true; }
    std::atomic<bool> ended{false};
};

// Receives the channel's data port until the end packet. Each datagram is
// stamped twice: by the kernel as it is queued to the socket (on loopback
// that is during the sender's send call, so it shows the sender's pacing
// undisturbed by this thread's wake-up delays) and by this thread on return
// from the receive.
struct Capture {
    std::vector<int64_t> kernel_ns;  // CLOCK_REALTIME, from SO_TIMESTAMPNS
    std::vector<int64_t> user_ns;    // CLOCK_MONOTONIC
    int64_t thread_cpu_ns = 0;       // this thread's own CPU time
    bool saw_end = false;
};

void ReceiveUntilEnd(const MulticastSocket& socket, Capture* capture)
{
    const int64_t cpu_start = Nanoseconds(CLOCK_THREAD_CPUTIME_ID);
    std::vector<uint8_t> buffer(wire::PacketSize(wire::kMaxBlockSize));
    alignas(cmsghdr) char control[256];
    for (;;) {
        iovec io{buffer.data(), buffer.size()};
        msghdr message{};
        message.msg_iov = &io;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        const ssize_t got = recvmsg(socket.fd(), &message, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            break;  // the receive timeout: the broadcast stalled
        }
        capture->user_ns.push_back(Nanoseconds(CLOCK_MONOTONIC));
        int64_t kernel = 0;
        for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
            if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
                timespec stamp{};
                std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
                kernel = int64_t(stamp.tv_sec) * 1000000000 + stamp.tv_nsec;
            }
        }
        capture->kernel_ns.push_back(kernel);
        if (got >= 4 && wire::HasHead(buffer.data(), wire::Kind::kEnd)) {
            capture->saw_end = true;
            break;
        }
    }
    capture->thread_cpu_ns = Nanoseconds(CLOCK_THREAD_CPUTIME_ID) - cpu_start;
}

struct IntervalStats {
    double mean_ms = 0, p50_ms = 0, p99_ms = 0, min_ms = 0, max_ms = 0;
};

IntervalStats Intervals(const std::vector<int64_t>& stamps)
{
    std::vector<double> gaps;
    for (size_t i = 1; i < stamps.size(); ++i)
        gaps.push_back(double(stamps[i] - stamps[i - 1]) / 1e6);
    IntervalStats stats;
    if (gaps.empty()) return stats;
    stats.mean_ms = double(stamps.back() - stamps.front()) / 1e6 / double(gaps.size());
    std::sort(gaps.begin(), gaps.end());
    auto percentile = [&](double p) {
        return gaps[std::min(gaps.size() - 1, size_t(p * double(gaps.size())))];
    };
    stats.p50_ms = percentile(0.50);
    stats.p99_ms = percentile(0.99);
    stats.min_ms = gaps.front();
    stats.max_ms = gaps.back();
    return stats;
}

void PrintIntervals(const char* what, const IntervalStats& s)
{
    std::printf("  %-28s mean %.4f ms (%+.2f %%)  p50 %.3f  p99 %.3f  min %.3f  max %.3f ms\n",
                what, s.mean_ms, (s.mean_ms / 6.0 - 1.0) * 100.0, s.p50_ms, s.p99_ms, s.min_ms,
                s.max_ms);
}

// One whole broadcast of `path`; false when it could not be measured.
bool MeasureBroadcast(const char* title, const std::string& path, bool* goals_met)
{
    MulticastSocket listener;
    if (!listener.OpenListener(wire::GroupAddress(kChannel), wire::DataPort(kChannel),
                               wire::kBlockSize, false, MulticastSocket::Port::kShared)) {
        std::fprintf(stderr, "cannot listen on channel %d\n", kChannel);
        return false;
    }
    const int on = 1;
    const int buffer_bytes = 4 << 20;
    const timeval timeout{2, 0};
    setsockopt(listener.fd(), SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
    setsockopt(listener.fd(), SOL_SOCKET, SO_RCVBUFFORCE, &buffer_bytes, sizeof buffer_bytes);
    setsockopt(listener.fd(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);

    EndSignal end;
    Broadcaster broadcaster(path, kChannel, wire::kBlockSize, &end);
    if (!broadcaster.Start(0)) {
        std::fprintf(stderr, "Start failed: %s\n", broadcaster.error().c_str());
        return false;
    }
    Capture capture;
    std::thread receiver(ReceiveUntilEnd, std::cref(listener), &capture);

    // The broadcaster's threads cannot be timed from outside once they have
    // ended, but the process CPU clock keeps the time of ended threads. So:
    // process CPU over the broadcast, minus this thread's and the receiver
    // thread's own CPU, leaves the reader and send threads' CPU (plus the
    // negligible rest of the runtime). On loopback the send call also
    // delivers the datagram to the receiver, so the figure is a little above
    // what sending to a real network costs.
    const int64_t process_start = Nanoseconds(CLOCK_PROCESS_CPUTIME_ID);
    const int64_t main_start = Nanoseconds(CLOCK_THREAD_CPUTIME_ID);
    const int64_t wall_start = Nanoseconds(CLOCK_MONOTONIC);
    broadcaster.Run();
    receiver.join();
    while (!end.ended) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    broadcaster.StopQuietly();  // joins both threads
    const int64_t main_ns = Nanoseconds(CLOCK_THREAD_CPUTIME_ID) - main_start;
    const int64_t process_ns = Nanoseconds(CLOCK_PROCESS_CPUTIME_ID) - process_start;
    const int64_t broadcaster_ns = process_ns - main_ns - capture.thread_cpu_ns;

    if (!capture.saw_end) {
        std::fprintf(stderr, "%s: the end packet never came (%zu datagrams)\n", title,
                     capture.user_ns.size());
        return false;
    }
    const int64_t wall_ns = capture.user_ns.back() - wall_start;  // Run to the end packet
    const IntervalStats wire_stats = Intervals(capture.kernel_ns);
    const IntervalStats user_stats = Intervals(capture.user_ns);
    const double minutes = double(wall_ns) / 60e9;
    const double cpu_per_minute = double(broadcaster_ns) / 1e9 / minutes;
    std::printf("%s: %zu datagrams in %.2f s\n", title, capture.user_ns.size(),
                double(wall_ns) / 1e9);
    PrintIntervals("interval (kernel stamp)", wire_stats);
    PrintIntervals("interval (receiver thread)", user_stats);
    std::printf("  broadcaster CPU %.3f s = %.3f s per minute (receiver %.3f s, main %.3f s)\n",
                double(broadcaster_ns) / 1e9, cpu_per_minute, double(capture.thread_cpu_ns) / 1e9,
                double(main_ns) / 1e9);
    const bool met = std::abs(wire_stats.mean_ms / 6.0 - 1.0) <= 0.01 && wire_stats.p99_ms < 7.0 &&
                     cpu_per_minute < 0.5;
    std::printf("  goals (mean within 1 %%, p99 < 7 ms, CPU < 0.5 s/min): %s\n",
                met ? "met" : "MISSED");
    *goals_met = *goals_met && met;
    return true;
}

}  // namespace

int main()
{
    if (!InsidePrivateLan()) {
        std::fprintf(stderr, "This benchmark sends multicast: run it through tools/private-lan.\n");
        return 1;
    }
    const std::vector<uint8_t> stream = MpegLikeStream(kStreamBytes);
    const std::string plain = WriteTempFile(stream);
    const std::string track = WriteTempFile(kinoverd::VcdTrackWriter::Wrap(stream));
    if (plain.empty() || track.empty()) {
        std::fprintf(stderr, "cannot write the test files\n");
        return 1;
    }
    bool goals_met = true;
    const bool measured = MeasureBroadcast("plain file", plain, &goals_met) &&
                          MeasureBroadcast("Video CD track", track, &goals_met);
    unlink(plain.c_str());
    unlink(track.c_str());
    if (!measured) return 1;
    return goals_met ? 0 : 2;
}
