// SPDX-License-Identifier: GPL-3.0-or-later
#include "broadcast/free_channel_probe.h"

#include <cerrno>
#include <chrono>
#include <random>
#include <thread>
#include <vector>

#include "broadcast/multicast_socket.h"
#include "broadcast/wire_format.h"

namespace kinoverd {

int FreeChannelProbe::FindFreeChannel(int excluded) const
{
    std::minstd_rand random(std::random_device{}());
    std::uniform_int_distribution<int> delay(0, kMaxDelayMilliseconds);
    for (int channel = wire::kFirstChannel; channel <= wire::kLastChannel; ++channel) {
        if (channel == excluded) continue;
        std::this_thread::sleep_for(std::chrono::milliseconds(delay(random)));
        if (ProbeChannel(channel)) return channel;
    }
    return -1;
}

bool FreeChannelProbe::ProbeChannel(int channel) const
{
    if (channel < kLowestProbedChannel || channel > kHighestProbedChannel) return false;

    // A port this station already holds cannot be bound: that counts as busy.
    MulticastSocket socket;
    if (!socket.OpenListener(wire::GroupAddress(channel), wire::DataPort(channel), block_size_,
                             /*non_blocking=*/true, MulticastSocket::Port::kExclusive)) {
        return false;
    }

    // Content does not matter: any datagram, even an empty one, means busy.
    std::vector<uint8_t> buffer(size_t(wire::SocketBufferBytes(block_size_)));
    bool nothing_arrived = false;
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        if (socket.Receive(buffer.data(), buffer.size()) >= 0) {
            nothing_arrived = false;
            break;
        }
        nothing_arrived = errno == EAGAIN || errno == EWOULDBLOCK;
        if (!nothing_arrived || attempt == kAttempts) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(kPauseMilliseconds));
    }
    socket.Close();
    return nothing_arrived;
}

}  // namespace kinoverd
