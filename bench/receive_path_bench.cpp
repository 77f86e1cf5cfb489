// SPDX-License-Identifier: GPL-3.0-or-later
// Cost and capacity of a station's receive path: CPU time per datagram in
// the admission rules alone and through a real receiver into the packet
// ring, and how fast unpaced datagrams can come before the receiver loses
// any. Opens sockets: run it through tools/private-lan.
//
//   tools/private-lan BUILD/bench/receive_path_bench
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "broadcast/channel_reception.h"
#include "broadcast/multicast_socket.h"
#include "broadcast/reception_events.h"
#include "broadcast/wire_format.h"

namespace kinoverd {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int kChannel = 0;
constexpr uint32_t kBlock = wire::kBlockSize;
// Room for two million blocks in increasing order: the admission drops repeats.
constexpr uint32_t kStreamLength = 0xFFFFFFFF;
constexpr uint32_t kFirstLiveBlock = 32;
const SenderAddress kSender{0x7F000001, 40000};

double CpuSeconds(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Events cost what a station's cost at least: nothing.
class IgnoredEvents : public ReceptionEvents {
public:
    void PlaybackReady() override {}
    void ResumePlayback() override {}
    void RingNearlyFull() override {}
    void RestartReceived() override {}
    void CloseReceived() override {}
    void SenderConflict(SenderAddress) override {}
    void RingEmpty(uint32_t) override {}
    void EndOfStream() override {}
};

std::vector<uint8_t> Packet(wire::Kind kind, uint32_t block_index)
{
    std::vector<uint8_t> packet(wire::PacketSize(kBlock), uint8_t(block_index));
    wire::WriteHead(packet.data(), kind);
    wire::WriteIndexAndLength(packet.data(), block_index, kStreamLength);
    return packet;
}

// The admission rules without sockets: one data packet handled and taken
// out again, and one dropped before a stream-start.
void AdmissionAlone()
{
    IgnoredEvents events;
    ChannelReception reception(kBlock);
    DatagramAdmission& admission = reception.admission();
    PacketRing& ring = reception.ring();
    std::vector<uint8_t> slot(wire::PacketSize(kBlock));
    auto packet = Packet(wire::Kind::kData, 40);
    constexpr int kRounds = 2000000;

    double begin = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    for (int n = 0; n < kRounds; ++n) admission.Handle(packet.data(), packet.size(), kSender, &events);
    const double dropped = (CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - begin) / kRounds;

    auto start = Packet(wire::Kind::kStreamStart, 0);
    admission.Handle(start.data(), start.size(), kSender, &events);
    ring.Pop(slot.data());
    begin = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    for (int n = 0; n < kRounds; ++n) {
        wire::WriteIndexAndLength(packet.data(), kFirstLiveBlock + n, kStreamLength);
        admission.Handle(packet.data(), packet.size(), kSender, &events);
        ring.Pop(slot.data());
    }
    const double pushed = (CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - begin) / kRounds;
    std::printf("admission alone: %.0f ns per data packet pushed and popped, "
                "%.0f ns per packet dropped before a stream-start\n",
                pushed * 1e9, dropped * 1e9);
}

class Station {
public:
    Station() : reception_(kBlock)
    {
        if (!sender_.OpenSender(kBlock) || !reception_.Start(kChannel, &events_)) {
            std::fprintf(stderr, "cannot open the sockets: run through tools/private-lan\n");
            std::exit(1);
        }
    }

    void Send(const std::vector<uint8_t>& packet)
    {
        sender_.SendTo(packet.data(), packet.size(), group_, wire::DataPort(kChannel));
    }
    // A data packet with the stream's next block index.
    void SendNextData(std::vector<uint8_t>& packet)
    {
        wire::WriteIndexAndLength(packet.data(), next_block_++, kStreamLength);
        Send(packet);
    }

    // Empties the ring and synchronises on a fresh stream-start packet.
    bool Restart()
    {
        reception_.Reset();
        next_block_ = kFirstLiveBlock;
        Send(Packet(wire::Kind::kStreamStart, 0));
        return WaitForCount(1);
    }

    bool WaitForCount(uint32_t count, std::chrono::milliseconds timeout = std::chrono::seconds(1))
    {
        const auto give_up = Clock::now() + timeout;
        while (ring().Count() < count) {
            if (Clock::now() > give_up) return false;
            std::this_thread::yield();
        }
        return true;
    }

    PacketRing& ring() { return reception_.ring(); }

private:
    const std::string group_ = wire::GroupAddress(kChannel);
    IgnoredEvents events_;
    ChannelReception reception_;
    MulticastSocket sender_;
    uint32_t next_block_ = kFirstLiveBlock;
};

// One datagram at a time, each sent once the previous one is in the ring:
// the receive threads' CPU time (the process's minus this thread's) per datagram.
void ThroughAReceiver(Station& station)
{
    constexpr int kDatagrams = 100000;
    station.Restart();
    std::vector<uint8_t> slot(wire::PacketSize(kBlock));
    auto packet = Packet(wire::Kind::kData, 40);
    const double process_begin = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
    const double own_begin = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    const auto wall_begin = Clock::now();
    int lost = 0;
    for (int n = 0; n < kDatagrams; ++n) {
        station.SendNextData(packet);
        if (!station.WaitForCount(2)) ++lost;
        station.ring().Pop(slot.data());
    }
    const double wall = std::chrono::duration<double>(Clock::now() - wall_begin).count();
    const double own = CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - own_begin;
    const double receive = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - process_begin - own;
    std::printf("through a receiver: %.2f us receive-thread CPU per datagram "
                "(wake, recv, admission, push), %.2f us round trip, %d lost of %d\n",
                receive / kDatagrams * 1e6, wall / kDatagrams * 1e6, lost, kDatagrams);
}

// Sends `count` data packets at least `gap` apart (zero: back to back)
// into an empty ring; how many arrived. Short gaps are busy-waited; from
// 100 us on the sender sleeps, as a real sender does, leaving its core
// free, and a late wake-up never makes it send two at once.
uint32_t Burst(Station& station, uint32_t count, std::chrono::nanoseconds gap)
{
    if (!station.Restart()) return 0;
    auto packet = Packet(wire::Kind::kData, 40);
    const bool sleeping = gap >= std::chrono::microseconds(100);
    auto next = Clock::now();
    for (uint32_t n = 0; n < count; ++n) {
        if (sleeping) {
            std::this_thread::sleep_until(next);
            next = Clock::now() + gap;
        } else {
            while (Clock::now() < next) {
            }
            next += gap;
        }
        station.SendNextData(packet);
    }
    station.WaitForCount(count + 1, std::chrono::milliseconds(50));
    return station.ring().Count() - 1;  // less the stream-start packet
}

void LossFreeRates(Station& station)
{
    constexpr int kTrials = 20;
    std::printf("\nback-to-back bursts into an empty ring (%d trials each):\n", kTrials);
    std::printf("  %6s %12s %12s %12s\n", "burst", "min arrived", "mean", "trials whole");
    for (uint32_t burst : {1u, 2u, 3u, 4u, 6u, 8u, 16u, 64u, 256u, 700u}) {
        uint32_t least = burst;
        uint64_t total = 0;
        int whole = 0;
        for (int trial = 0; trial < kTrials; ++trial) {
            const uint32_t arrived = Burst(station, burst, std::chrono::nanoseconds(0));
            least = std::min(least, arrived);
            total += arrived;
            whole += arrived == burst;
        }
        std::printf("  %6u %12u %12.1f %9d/%d\n", burst, least, double(total) / kTrials, whole,
                    kTrials);
    }

    constexpr uint32_t kPaced = 700;
    std::printf("\n%u datagrams at a steady rate into an empty ring:\n", kPaced);
    std::printf("  %10s %14s %12s %12s\n", "gap (us)", "datagrams/s", "min arrived", "trials whole");
    for (int gap_us : {0, 2, 5, 10, 20, 50, 100, 200, 500, 1000, 6000}) {
        uint32_t least = kPaced;
        int whole = 0;
        const int trials = gap_us >= 1000 ? 3 : kTrials;  // 6000 us is the broadcaster's pace
        for (int trial = 0; trial < trials; ++trial) {
            const uint32_t arrived = Burst(station, kPaced, std::chrono::microseconds(gap_us));
            least = std::min(least, arrived);
            whole += arrived == kPaced;
        }
        std::printf("  %10d %14s %12u %9d/%d\n", gap_us,
                    gap_us ? std::to_string(1000000 / gap_us).c_str() : "unpaced", least, whole,
                    trials);
    }
}

}  // namespace
}  // namespace kinoverd

int main()
{
    const char* marker = std::getenv("KINOVERD_PRIVATE_LAN");
    if (!marker || std::strcmp(marker, "1") != 0) {
        std::fprintf(stderr, "This benchmark sends multicast: run it through tools/private-lan.\n");
        return 1;
    }
    kinoverd::AdmissionAlone();
    kinoverd::Station station;
    kinoverd::ThroughAReceiver(station);
    kinoverd::LossFreeRates(station);
    return 0;
}
