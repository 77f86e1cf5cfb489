// SPDX-License-Identifier: GPL-3.0-or-later
#include "broadcast/multicast_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "broadcast/wire_format.h"

namespace kinoverd {

namespace {

bool SetInt(int fd, int level, int option, int value)
{
    return setsockopt(fd, level, option, &value, sizeof value) == 0;
}

bool BindAny(int fd, uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(port);
    return bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

bool GroupAddress(const std::string& group, uint16_t port, sockaddr_in* address)
{
    address->sin_family = AF_INET;
    address->sin_port = htons(port);
    return inet_pton(AF_INET, group.c_str(), &address->sin_addr) == 1;
}

}  // namespace

MulticastSocket::~MulticastSocket() { Close(); }

bool MulticastSocket::SetBuffers(uint32_t block_size) const
{
    const int bytes = wire::SocketBufferBytes(block_size);
    return SetInt(fd_, SOL_SOCKET, SO_SNDBUF, bytes) && SetInt(fd_, SOL_SOCKET, SO_RCVBUF, bytes);
}

bool MulticastSocket::OpenSender(uint32_t block_size)
{
    Close();
    fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0 || !BindAny(fd_, 0)) {
        Close();
        return false;
    }
    SetInt(fd_, SOL_SOCKET, SO_BROADCAST, 1);
    SetBuffers(block_size);
    // Without time-to-live 1 nothing may go out: datagrams must stay on the segment.
    if (!SetInt(fd_, IPPROTO_IP, IP_MULTICAST_TTL, 1)) {
        Close();
        return false;
    }
    SetInt(fd_, IPPROTO_IP, IP_MULTICAST_LOOP, 1);
    return true;
}

bool MulticastSocket::OpenListener(const std::string& group, uint16_t port, uint32_t block_size,
                                   bool non_blocking, Port sharing)
{
    Close();
    fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | (non_blocking ? SOCK_NONBLOCK : 0), 0);
    // Before the bind it lets a player and tuners of one host listen together;
    // after it, the bind fails while any of them listens, and later shared
    // binds still succeed.
    if (fd_ >= 0 && sharing == Port::kShared) SetInt(fd_, SOL_SOCKET, SO_REUSEADDR, 1);
    if (fd_ < 0 || !BindAny(fd_, port)) {
        Close();
        return false;
    }
    if (sharing == Port::kExclusive) SetInt(fd_, SOL_SOCKET, SO_REUSEADDR, 1);
    ip_mreq membership{};
    if (inet_pton(AF_INET, group.c_str(), &membership.imr_multiaddr) != 1) {
        Close();
        return false;
    }
    membership.imr_interface.s_addr = htonl(INADDR_ANY);
    if (setsockopt(fd_, IPPROTO_IP, IP_ADD_MEMBERSHIP, &membership, sizeof membership) != 0) {
        Close();
        return false;
    }
    SetBuffers(block_size);
    return true;
}

bool MulticastSocket::SetReceiveBuffer(int bytes) const
{
    return SetInt(fd_, SOL_SOCKET, SO_RCVBUF, bytes);
}

bool MulticastSocket::Connect(const std::string& group, uint16_t port) const
{
    sockaddr_in destination{};
    return GroupAddress(group, port, &destination) &&
           connect(fd_, reinterpret_cast<sockaddr*>(&destination), sizeof destination) == 0;
}

long MulticastSocket::Send(const void* data, size_t size) const { return send(fd_, data, size, 0); }

long MulticastSocket::SendTo(const void* data, size_t size, const std::string& group,
                             uint16_t port) const
{
    sockaddr_in destination{};
    if (!GroupAddress(group, port, &destination)) return -1;
    return sendto(fd_, data, size, 0, reinterpret_cast<sockaddr*>(&destination),
                  sizeof destination);
}

long MulticastSocket::Receive(void* buffer, size_t capacity, SenderAddress* source) const
{
    sockaddr_in from{};
    socklen_t from_length = sizeof from;
    const long length = recvfrom(fd_, buffer, capacity, MSG_TRUNC,
                                 reinterpret_cast<sockaddr*>(&from), &from_length);
    if (source && length >= 0) {
        source->address = ntohl(from.sin_addr.s_addr);
        source->port = ntohs(from.sin_port);
    }
    return length;
}

std::optional<SenderAddress> MulticastSocket::LocalAddress() const
{
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (fd_ < 0 || getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length) != 0 ||
        local.sin_family != AF_INET) {
        return std::nullopt;
    }
    return SenderAddress{ntohl(local.sin_addr.s_addr), ntohs(local.sin_port)};
}

bool MulticastSocket::Close()
{
    if (fd_ < 0) return false;
    const int result = close(fd_);
    fd_ = -1;
    return result == 0;
}

}  // namespace kinoverd
