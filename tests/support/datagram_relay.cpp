// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/datagram_relay.h"

#include <poll.h>

#include <optional>
#include <vector>

#include "broadcast/wire_format.h"

namespace kinoverd::test {

DatagramRelay::DatagramRelay(int from_channel, int to_channel, Doctoring doctoring)
    : from_channel_(from_channel), to_channel_(to_channel), doctoring_(doctoring)
{
}

DatagramRelay::~DatagramRelay() { Stop(); }

bool DatagramRelay::Start()
{
    const auto group = wire::GroupAddress(from_channel_);
    const uint32_t block = wire::kBlockSize;
    if (!data_in_.OpenListener(group, wire::DataPort(from_channel_), block, true, MulticastSocket::Port::kShared) ||
        !control_in_.OpenListener(group, wire::ControlPort(from_channel_), block, true,
                                  MulticastSocket::Port::kShared) ||
        !out_.OpenSender(block)) {
        return false;
    }
    data_in_.SetReceiveBuffer(1 << 20);
    running_ = true;
    thread_ = std::thread(&DatagramRelay::Run, this);
    return true;
}

void DatagramRelay::Stop()
{
    running_ = false;
    if (thread_.joinable()) thread_.join();
}

void DatagramRelay::Run()
{
    const auto group = wire::GroupAddress(to_channel_);
    std::vector<uint8_t> buffer(wire::PacketSize(wire::kMaxBlockSize));
    std::optional<std::vector<uint8_t>> held;  // waits for the datagram behind it
    int count = 0;
    while (running_) {
        pollfd fds[] = {{data_in_.fd(), POLLIN, 0}, {control_in_.fd(), POLLIN, 0}};
        if (poll(fds, 2, 20) <= 0) continue;
        if (fds[1].revents & POLLIN) {
            const long length = control_in_.Receive(buffer.data(), buffer.size());
            if (length > 0) out_.SendTo(buffer.data(), size_t(length), group, wire::ControlPort(to_channel_));
        }
        if (!(fds[0].revents & POLLIN)) continue;
        const long length = data_in_.Receive(buffer.data(), buffer.size());
        if (length <= 0) continue;
        const std::vector<uint8_t> datagram(buffer.begin(), buffer.begin() + length);
        auto send = [&](const std::vector<uint8_t>& bytes) {
            out_.SendTo(bytes.data(), bytes.size(), group, wire::DataPort(to_channel_));
        };
        ++count;
        const bool data = wire::HasHead(datagram.data(), wire::Kind::kData);
        if (data && doctoring_.swap_every && count % doctoring_.swap_every == 0 && !held) {
            held = datagram;
            continue;
        }
        send(datagram);
        if (doctoring_.duplicate_every && count % doctoring_.duplicate_every == 0) send(datagram);
        if (held) {
            send(*held);
            held.reset();
        }
    }
}

}  // namespace kinoverd::test
