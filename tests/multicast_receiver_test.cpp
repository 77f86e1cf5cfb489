// SPDX-License-Identifier: GPL-3.0-or-later
// Receivers and a channel's reception on real sockets in the private
// network: what is sent to a channel reaches the ring, control packets are
// reported, and stopping ends the thread and frees the port.
#include "broadcast/multicast_receiver.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <thread>
#include <vector>

#include "broadcast/channel_reception.h"
#include "broadcast/multicast_socket.h"
#include "tests/support/recorded_events.h"
#include "tests/support/test_packets.h"
#include "tests/support/wait_until.h"

namespace kinoverd {
namespace {

using Clock = std::chrono::steady_clock;
using test::Event;
using test::MakePacket;
using wire::Kind;
constexpr int kChannel = 2;
constexpr uint32_t kPacketSize = wire::PacketSize(wire::kBlockSize);

using test::WaitUntil;

// True when a plain socket (no address reuse) can bind `port` now.
bool PortIsFree(uint16_t port)
{
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(port);
    const bool bound = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return bound;
}

// Holds a port with a plain bound socket.
class PortHolder {
public:
    explicit PortHolder(uint16_t port) : fd_(socket(AF_INET, SOCK_DGRAM, 0))
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        address.sin_port = htons(port);
        bound_ = bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~PortHolder() { close(fd_); }
    bool bound() const { return bound_; }

private:
    int fd_;
    bool bound_ = false;
};

class MulticastReceiverTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sender_.OpenSender(wire::kBlockSize));
        // Connected, its address is the one receivers see.
        ASSERT_TRUE(sender_.Connect(group_, data_port_));
        sender_address_ = sender_.LocalAddress().value();
    }

    void Send(const std::vector<uint8_t>& datagram, uint16_t port)
    {
        sender_.SendTo(datagram.data(), datagram.size(), group_, port);
    }

    // Sends one packet and waits until the ring has taken it: the socket
    // buffers hold two packets, so a test that must not lose any goes one by one.
    void SendAndWaitForRing(const std::vector<uint8_t>& packet, PacketRing& ring)
    {
        const uint32_t before = ring.Count();
        Send(packet, data_port_);
        ASSERT_TRUE(WaitUntil([&] { return ring.Count() == before + 1; }));
    }

    // Admits what a receiver hands over into ring_, as a station does.
    MulticastReceiver::DatagramHandler Admit()
    {
        return [this](uint8_t* datagram, size_t length, const SenderAddress& source) {
            admission_.Handle(datagram, length, source, &events_);
        };
    }
    int Start(MulticastReceiver& receiver) { return receiver.Start(group_, data_port_, wire::kBlockSize, Admit()); }

    test::RecordedEvents events_;
    PacketRing ring_{750 * kPacketSize, kPacketSize};
    DatagramAdmission admission_{ring_, wire::kBlockSize};
    const std::string group_ = wire::GroupAddress(kChannel);
    const uint16_t data_port_ = wire::DataPort(kChannel);
    const uint16_t control_port_ = wire::ControlPort(kChannel);
    MulticastSocket sender_;
    SenderAddress sender_address_;
};

TEST_F(MulticastReceiverTest, AStartedReceiverBuffersWhatIsSentToItsPort)
{
    MulticastReceiver receiver;
    ASSERT_EQ(Start(receiver), 1);
    EXPECT_TRUE(receiver.is_listening());
    EXPECT_EQ(receiver.port(), data_port_);

    std::vector<std::vector<uint8_t>> sent = {MakePacket(Kind::kStreamStart)};
    for (uint32_t i = 0; i < 5; ++i) sent.push_back(MakePacket(Kind::kData, 100 + i, 5000000));
    for (const auto& packet : sent) SendAndWaitForRing(packet, ring_);

    std::vector<uint8_t> slot(kPacketSize);
    for (const auto& packet : sent) {
        ASSERT_TRUE(ring_.Pop(slot.data()));
        EXPECT_EQ(slot, packet);
    }
    EXPECT_EQ(receiver.Stop(), 1);
}

TEST_F(MulticastReceiverTest, StopEndsTheThreadAndFreesThePort)
{
    MulticastReceiver receiver;
    EXPECT_EQ(receiver.Stop(), 0);  // never started: no socket

    ASSERT_EQ(Start(receiver), 1);
    EXPECT_FALSE(PortIsFree(data_port_));
    // Stopping while datagrams keep coming: the thread ends between two of them.
    SendAndWaitForRing(MakePacket(Kind::kStreamStart), ring_);
    std::atomic<bool> sending{true};
    std::thread flood([&] {
        for (uint32_t block = 200; sending; ++block) Send(MakePacket(Kind::kData, block, 1u << 31), data_port_);
    });
    EXPECT_TRUE(WaitUntil([&] { return ring_.Count() > 10; }));

    const auto begin = Clock::now();
    EXPECT_EQ(receiver.Stop(), 1);
    EXPECT_LT(Clock::now() - begin, std::chrono::seconds(2));
    EXPECT_FALSE(receiver.is_listening());
    EXPECT_TRUE(PortIsFree(data_port_));
    const uint32_t held = ring_.Count();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(ring_.Count(), held);  // nothing arrives any more
    sending = false;
    flood.join();

    std::vector<uint8_t> slot(kPacketSize);
    while (ring_.Pop(slot.data())) {
        if (!wire::HasHead(slot.data(), Kind::kStreamStart)) {
            ASSERT_EQ(slot, MakePacket(Kind::kData, wire::BlockIndex(slot.data()), 1u << 31));
        }
    }
    EXPECT_EQ(receiver.Stop(), 0);

    // And it listens again after a new start.
    ASSERT_EQ(Start(receiver), 1);
    admission_.Reset();
    SendAndWaitForRing(MakePacket(Kind::kStreamStart), ring_);
}

TEST_F(MulticastReceiverTest, AStartOnAPortHeldElsewhereFails)
{
    PortHolder holder(data_port_);
    ASSERT_TRUE(holder.bound());
    MulticastReceiver receiver;
    EXPECT_EQ(Start(receiver), 0);
    EXPECT_FALSE(receiver.is_listening());
    EXPECT_EQ(receiver.Stop(), 0);
}

TEST_F(MulticastReceiverTest, StartReceptionReportsAHalfStartAndStopReceptionStopsBoth)
{
    ChannelReception reception(wire::kBlockSize);
    reception.KeepToSender(sender_address_);
    {
        PortHolder holder(data_port_);
        ASSERT_TRUE(holder.bound());
        EXPECT_FALSE(reception.Start(kChannel, &events_));
    }
    // The control-port receiver did start and still listens.
    Send(MakePacket(Kind::kRestart), control_port_);
    EXPECT_TRUE(events_.WaitFor(Event::kRestart, std::chrono::seconds(5)));
    EXPECT_FALSE(PortIsFree(control_port_));

    reception.Stop();
    EXPECT_TRUE(PortIsFree(control_port_));
    Send(MakePacket(Kind::kRestart), control_port_);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(events_.Count(Event::kRestart), 1u);
}

TEST_F(MulticastReceiverTest, RestartAndClosePacketsOnTheControlPortAreReported)
{
    ChannelReception reception(wire::kBlockSize);
    reception.KeepToSender(sender_address_);
    ASSERT_TRUE(reception.Start(kChannel, &events_));
    Send(MakePacket(Kind::kRestart), control_port_);
    ASSERT_TRUE(events_.WaitFor(Event::kRestart, std::chrono::seconds(5)));
    for (int i = 0; i < 4; ++i) {
        Send(MakePacket(Kind::kClose), control_port_);
        ASSERT_TRUE(events_.WaitFor(Event::kClose, std::chrono::seconds(5), size_t(i + 1)));
    }
    EXPECT_EQ(events_.events().size(), 5u);
    EXPECT_EQ(reception.ring().Count(), 0u);
    EXPECT_FALSE(reception.stream_accepted());
}

// Malformed datagrams of every length ahead of a broadcast: none is
// buffered or reported, and the broadcast that follows is taken whole.
TEST_F(MulticastReceiverTest, AMalformedFloodLeavesNoTrace)
{
    ChannelReception reception(wire::kBlockSize);
    ASSERT_TRUE(reception.Start(kChannel, &events_));
    std::mt19937 random(5);
    for (int n = 0; n < 3000; ++n) {
        std::vector<uint8_t> datagram(random() % 5001);
        for (auto& byte : datagram) byte = uint8_t(random());
        // Packet-sized noise may look like anything but a stream-start or control packet.
        if (datagram.size() == kPacketSize) datagram[0] = 'X';
        const uint16_t port = n % 2 ? data_port_ : control_port_;
        Send(datagram, port);
        if (n % 8 == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    // Packets that come close to the format, but not close enough.
    auto short_start = MakePacket(Kind::kStreamStart);
    short_start.pop_back();
    auto long_restart = MakePacket(Kind::kRestart);
    long_restart.push_back(0);
    Send(short_start, data_port_);
    Send(long_restart, control_port_);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(reception.ring().Count(), 0u);
    EXPECT_FALSE(reception.stream_accepted());
    EXPECT_TRUE(events_.events().empty());

    std::vector<std::vector<uint8_t>> sent = {MakePacket(Kind::kStreamStart)};
    for (uint32_t i = 0; i < 20; ++i) sent.push_back(MakePacket(Kind::kData, 300 + i, 9000000));
    for (const auto& packet : sent) SendAndWaitForRing(packet, reception.ring());
    std::vector<uint8_t> slot(kPacketSize);
    for (const auto& packet : sent) {
        ASSERT_TRUE(reception.ring().Pop(slot.data()));
        EXPECT_EQ(slot, packet);
    }
}

}  // namespace
}  // namespace kinoverd
