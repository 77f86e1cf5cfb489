// SPDX-License-Identifier: GPL-3.0-or-later
// A UDP socket set up for one role of the broadcast: sender, receiver or
// probe. Each role sets its options in the order the peers were built with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "broadcast/sender_address.h"

namespace kinoverd {

class MulticastSocket {
public:
    MulticastSocket() = default;
    ~MulticastSocket();
    MulticastSocket(const MulticastSocket&) = delete;
    MulticastSocket& operator=(const MulticastSocket&) = delete;

    // Bound to any address and port; broadcast permission, two-packet
    // buffers, time-to-live 1 and loopback on. False when the time-to-live
    // cannot be set (the socket is then closed): nothing may be sent.
    bool OpenSender(uint32_t block_size);

    // Whether other sockets of this host may listen on the same port.
    enum class Port {
        kShared,     // address reuse before the bind: receivers of several stations
        kExclusive,  // reuse only after the bind: the bind fails while anyone listens
    };

    // Bound to any address and `port`, group membership on any interface
    // and two-packet buffers. False (socket closed) when the socket, the
    // bind or the join fails.
    bool OpenListener(const std::string& group, uint16_t port, uint32_t block_size,
                      bool non_blocking, Port sharing);

    // Replaces the receive buffer size set by OpenListener.
    bool SetReceiveBuffer(int bytes) const;

    // Makes group:port the destination of Send. SendTo still reaches others.
    bool Connect(const std::string& group, uint16_t port) const;
    // Sends one datagram to the connected destination: the byte count or -1.
    long Send(const void* data, size_t size) const;

    // Sends one datagram to group:port; the result is the byte count or -1.
    long SendTo(const void* data, size_t size, const std::string& group, uint16_t port) const;

    // One datagram into `buffer`. Returns its true length (which may exceed
    // `capacity`: the rest was cut off), or -1 with errno set. `source`, when
    // given, gets the sender's address.
    long Receive(void* buffer, size_t capacity, SenderAddress* source = nullptr) const;

    // The address and port datagrams leave from; after Connect, the address
    // of the interface that reaches the destination. Empty when unknown.
    std::optional<SenderAddress> LocalAddress() const;

    // Closes the socket; true when one was open and closed cleanly.
    bool Close();

    bool is_open() const { return fd_ >= 0; }
    int fd() const { return fd_; }

private:
    bool SetBuffers(uint32_t block_size) const;
    int fd_ = -1;
};

}  // namespace kinoverd
