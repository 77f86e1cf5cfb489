// SPDX-License-Identifier: GPL-3.0-or-later
// Listens on one port of a channel and hands every datagram to a handler on
// its own receive thread. A station runs two: one on the data port, one on
// the control port.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "broadcast/multicast_socket.h"

namespace kinoverd {

class MulticastReceiver {
public:
    static constexpr int kReceiveBufferBytes = 1024 * 1024;
    // Gets each datagram's bytes, its true length (longer than the buffer
    // when it was cut) and its sender; may change the bytes in place.
    using DatagramHandler =
        std::function<void(uint8_t* datagram, size_t length, const SenderAddress& source)>;

    MulticastReceiver() = default;
    // Stops a receiver still running.
    ~MulticastReceiver();
    MulticastReceiver(const MulticastReceiver&) = delete;
    MulticastReceiver& operator=(const MulticastReceiver&) = delete;

    // Joins `group` on `port` and starts the receive thread, which takes
    // packets of `block_size`: 1 when listening, 0 on failure (nothing left
    // open). A receiver still running is stopped first. Other receivers of
    // this host may listen on the same port and get every datagram too.
    int Start(const std::string& group, uint16_t port, uint32_t block_size,
              DatagramHandler handler);

    // Ends the receive thread, then closes the socket: 1 when an open socket
    // was closed, 0 when there was none or closing failed.
    int Stop();

    bool is_listening() const { return socket_.is_open(); }
    uint16_t port() const { return port_; }

private:
    void ReceiveThread();
    bool WaitForDatagram() const;

    // Owner's thread only, read by the receive thread while it runs (it is
    // started after these are set and joined before they change).
    DatagramHandler handler_;
    uint16_t port_ = 0;
    MulticastSocket socket_;  // closed by the owner after the join
    int wake_fd_ = -1;        // eventfd: written by Stop to end a wait
    std::thread thread_;

    std::atomic<bool> running_{false};  // cleared by Stop, re-checked after every wait
};

}  // namespace kinoverd
