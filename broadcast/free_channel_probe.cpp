#include "broadcast/free_channel_probe.h"

#include <cerrno>
#include <chrono>
#include <thread>
#include <vector>

#include "broadcast/multicast_socket.h"
#include "broadcast/wire_format.h"

namespace kinoverd {

int FreeChannelProbe::FindFreeChannel() const
{
    for (int channel = wire::kFirstChannel; channel <= wire::kLastChannel; ++channel) {
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
                             /*non_blocking=*/true)) {
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
