// SPDX-License-Identifier: GPL-3.0-or-later
#include "broadcast/free_channel_probe.h"

#include <dirent.h>
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "broadcast/broadcaster.h"
#include "broadcast/multicast_socket.h"
#include "broadcast/wire_format.h"
#include "tests/support/test_streams.h"

namespace kinoverd {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr uint32_t kBlock = wire::kBlockSize;

struct Destination {
    std::string group;
    uint16_t port;
};

Destination DataPortOf(int channel) { return {wire::GroupAddress(channel), wire::DataPort(channel)}; }
Destination ControlPortOf(int channel)
{
    return {wire::GroupAddress(channel), wire::ControlPort(channel)};
}

// Sends one packet-sized datagram to every destination, every `period`,
// from a thread of its own, until destroyed.
class PeriodicSender {
public:
    PeriodicSender(std::vector<Destination> destinations, std::chrono::milliseconds period)
        : destinations_(std::move(destinations)),
          period_(period),
          datagram_(wire::PacketSize(kBlock), 'x')
    {
        EXPECT_TRUE(socket_.OpenSender(kBlock));
        thread_ = std::thread([this] { Loop(); });
    }
    ~PeriodicSender()
    {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        stop_.notify_all();
        thread_.join();
    }

private:
    void Loop()
    {
        std::unique_lock lock(mutex_);
        while (!stopping_) {
            for (const auto& destination : destinations_)
                socket_.SendTo(datagram_.data(), datagram_.size(), destination.group, destination.port);
            stop_.wait_for(lock, period_, [this] { return stopping_; });
        }
    }

    const std::vector<Destination> destinations_;
    const std::chrono::milliseconds period_;
    const std::vector<char> datagram_;
    MulticastSocket socket_;  // opened before the thread starts, used by it only
    std::mutex mutex_;
    std::condition_variable stop_;
    bool stopping_ = false;  // guarded by mutex_
    std::thread thread_;
};

// Sends single datagrams of the given sizes to a destination, `delay` after
// construction, from a thread of its own.
class DelayedDatagrams {
public:
    DelayedDatagrams(Destination destination, std::chrono::milliseconds delay,
                     std::vector<size_t> sizes)
        : thread_([destination, delay, sizes] {
              std::this_thread::sleep_for(delay);
              MulticastSocket socket;
              ASSERT_TRUE(socket.OpenSender(kBlock));
              for (size_t size : sizes) {
                  const std::vector<char> datagram(size, 'y');
                  EXPECT_EQ(socket.SendTo(datagram.data(), size, destination.group, destination.port),
                            long(size));
              }
          })
    {
    }
    ~DelayedDatagrams() { thread_.join(); }

private:
    std::thread thread_;
};

int OpenFileDescriptors()
{
    DIR* directory = opendir("/proc/self/fd");
    if (!directory) return -1;
    int count = 0;
    while (readdir(directory)) ++count;
    closedir(directory);
    return count;
}

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

class FreeChannelProbeTest : public testing::Test {
protected:
    FreeChannelProbe probe_{kBlock};
};

TEST_F(FreeChannelProbeTest, QuietChannelIsFreeAfterAboutOneSecond)
{
    const int fds_before = OpenFileDescriptors();
    const auto start = Clock::now();
    EXPECT_TRUE(probe_.ProbeChannel(2));
    const double seconds = SecondsSince(start);
    EXPECT_GT(seconds, 0.9);
    EXPECT_LT(seconds, 2.5);
    // The probe's socket is gone: no descriptor left, and the port binds again.
    EXPECT_EQ(OpenFileDescriptors(), fds_before);
    MulticastSocket listener;
    EXPECT_TRUE(listener.OpenListener(wire::GroupAddress(2), wire::DataPort(2), kBlock, true,
                                      MulticastSocket::Port::kExclusive));
}

TEST_F(FreeChannelProbeTest, SearchSkipsAChannelWithARunningBroadcast)
{
    // Long enough to keep sending for several seconds.
    const test::TempDir directory;
    const std::string file = directory.File("movie.mpg");
    ASSERT_TRUE(test::WriteBytes(file, test::MpegLikeStream(2 * 1024 * 1024)));
    Broadcaster broadcaster(file, 0, kBlock, nullptr);
    ASSERT_TRUE(broadcaster.Start(0));
    broadcaster.Run();

    const auto start = Clock::now();
    EXPECT_EQ(probe_.FindFreeChannel(), 1);
    const double seconds = SecondsSince(start);
    // Channel 0 is given up at its first datagram; channel 1 takes its second.
    EXPECT_GT(seconds, 0.9);
    EXPECT_LT(seconds, 2.5);

    broadcaster.StopAndClose();
}

TEST_F(FreeChannelProbeTest, NoChannelIsFreeWhenAllFourCarryBroadcasts)
{
    PeriodicSender senders({DataPortOf(0), DataPortOf(1), DataPortOf(2), DataPortOf(3)}, 6ms);
    EXPECT_EQ(probe_.FindFreeChannel(), -1);
}

TEST_F(FreeChannelProbeTest, ASingleStrayDatagramMakesTheChannelBusy)
{
    DelayedDatagrams stray(DataPortOf(0), 400ms, {wire::PacketSize(kBlock)});
    EXPECT_FALSE(probe_.ProbeChannel(0));
}

TEST_F(FreeChannelProbeTest, AnyContentCountsWhetherEmptyShortOrOversized)
{
    for (size_t size : {size_t(0), size_t(3), size_t(3 * kBlock)}) {
        SCOPED_TRACE(size);
        DelayedDatagrams stray(DataPortOf(0), 200ms, {size});
        EXPECT_FALSE(probe_.ProbeChannel(0));
    }
}

TEST_F(FreeChannelProbeTest, ControlPortTrafficDoesNotMakeTheChannelBusy)
{
    PeriodicSender control_packets({ControlPortOf(0)}, 6ms);
    EXPECT_TRUE(probe_.ProbeChannel(0));
}

// Receivers of one station share a port; the probe, which does not, still
// finds it held.
TEST_F(FreeChannelProbeTest, ADataPortHeldOnThisStationCountsAsBusy)
{
    MulticastSocket holder;
    MulticastSocket second_holder;
    ASSERT_TRUE(holder.OpenListener(wire::GroupAddress(0), wire::DataPort(0), kBlock, false,
                                    MulticastSocket::Port::kShared));
    ASSERT_TRUE(second_holder.OpenListener(wire::GroupAddress(0), wire::DataPort(0), kBlock, false,
                                           MulticastSocket::Port::kShared));
    const auto start = Clock::now();
    EXPECT_FALSE(probe_.ProbeChannel(0));
    // Refused at the bind: no listening second.
    EXPECT_LT(SecondsSince(start), 0.5);
}

TEST_F(FreeChannelProbeTest, SearchGoesOnPastAHeldDataPort)
{
    MulticastSocket holder;
    ASSERT_TRUE(holder.OpenListener(wire::GroupAddress(0), wire::DataPort(0), kBlock, false,
                                    MulticastSocket::Port::kShared));
    EXPECT_EQ(probe_.FindFreeChannel(), 1);
    EXPECT_EQ(probe_.FindFreeChannel(/*excluded=*/1), 2);
}

TEST_F(FreeChannelProbeTest, ChannelsOutsideTheRangeAreRefusedWithoutASocket)
{
    for (int channel : {5, -1, INT_MIN, INT_MAX}) {
        SCOPED_TRACE(channel);
        const int fds_before = OpenFileDescriptors();
        const auto start = Clock::now();
        EXPECT_FALSE(probe_.ProbeChannel(channel));
        EXPECT_LT(SecondsSince(start), 0.05);
        EXPECT_EQ(OpenFileDescriptors(), fds_before);
    }
}

TEST_F(FreeChannelProbeTest, ChannelFourIsProbedThoughTheSearchNeverAsksForIt)
{
    const auto start = Clock::now();
    EXPECT_TRUE(probe_.ProbeChannel(4));
    EXPECT_GT(SecondsSince(start), 0.9);

    PeriodicSender broadcast({DataPortOf(4)}, 6ms);
    EXPECT_FALSE(probe_.ProbeChannel(4));
}

TEST_F(FreeChannelProbeTest, BusyProbeReleasesItsPort)
{
    {
        PeriodicSender broadcast({DataPortOf(3)}, 6ms);
        EXPECT_FALSE(probe_.ProbeChannel(3));
    }
    MulticastSocket listener;
    EXPECT_TRUE(listener.OpenListener(wire::GroupAddress(3), wire::DataPort(3), kBlock, true,
                                      MulticastSocket::Port::kExclusive));
}

}  // namespace
}  // namespace kinoverd
