// SPDX-License-Identifier: GPL-3.0-or-later
#include "broadcast/channel_survey.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <vector>

#include "broadcast/multicast_socket.h"

namespace kinoverd {

namespace {

void Record(ChannelState& state, const uint8_t* datagram, long length, uint32_t block_size,
            const sockaddr_in& from)
{
    state.on_air = true;
    char address[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &from.sin_addr, address, sizeof address);
    state.sender = std::string(address) + ":" + std::to_string(ntohs(from.sin_port));
    if (length != long(wire::PacketSize(block_size)) || !wire::HasHead(datagram, wire::Kind::kData)) return;
    const uint32_t stream_length = wire::StreamLength(datagram);
    if (stream_length == 0) return;
    const double done = double(wire::BlockIndex(datagram)) * block_size / stream_length;
    state.progress_percent = int(std::min(done, 1.0) * 100);
}

}  // namespace

ChannelStates ChannelSurvey::Listen(std::chrono::milliseconds listen_time) const
{
    ChannelStates states;
    MulticastSocket sockets[states.size()];
    std::vector<pollfd> waits;
    for (size_t i = 0; i < states.size(); ++i) {
        const int channel = wire::kFirstChannel + int(i);
        if (!sockets[i].OpenListener(wire::GroupAddress(channel), wire::DataPort(channel), block_size_, true,
                                     MulticastSocket::Port::kShared))
            states[i].on_air = true;
        waits.push_back({sockets[i].fd(), POLLIN, 0});
    }
    std::vector<uint8_t> datagram(wire::PacketSize(block_size_));
    const auto until = std::chrono::steady_clock::now() + listen_time;
    for (auto now = std::chrono::steady_clock::now(); now < until; now = std::chrono::steady_clock::now()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - now);
        if (poll(waits.data(), waits.size(), int(left.count()) + 1) <= 0) continue;
        for (size_t i = 0; i < states.size(); ++i) {
            if (!(waits[i].revents & POLLIN)) continue;
            sockaddr_in from{};
            socklen_t from_length = sizeof from;
            const long length = recvfrom(sockets[i].fd(), datagram.data(), datagram.size(), MSG_TRUNC,
                                         reinterpret_cast<sockaddr*>(&from), &from_length);
            if (length >= 0) Record(states[i], datagram.data(), length, block_size_, from);
        }
    }
    return states;
}

}  // namespace kinoverd
