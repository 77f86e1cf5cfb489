// SPDX-License-Identifier: GPL-3.0-or-later
#include "broadcast/multicast_receiver.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <system_error>

#include "broadcast/wire_format.h"

namespace kinoverd {

MulticastReceiver::~MulticastReceiver() { Stop(); }

int MulticastReceiver::Start(const std::string& group, uint16_t port, uint32_t block_size,
                             DatagramHandler handler)
{
    Stop();
    handler_ = std::move(handler);
    port_ = port;
    // The receive buffer holds one packet of the largest block size; a
    // larger block could not be received whole.
    if (!handler_ || block_size > wire::kMaxBlockSize) return 0;
    // Non-blocking: the thread waits in poll, where Stop can wake it.
    if (!socket_.OpenListener(group, port, block_size, true, MulticastSocket::Port::kShared)) return 0;
    // A two-packet buffer holds a single datagram here (the kernel counts
    // its own overhead per datagram), so any delay of this thread longer
    // than one pacing interval lost data. Room for about a second of a
    // broadcast keeps every datagram for the ring, even while another
    // sender floods the channel and shares the buffer.
    socket_.SetReceiveBuffer(kReceiveBufferBytes);
    wake_fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake_fd_ < 0) {
        socket_.Close();
        return 0;
    }
    running_ = true;
    try {
        thread_ = std::thread(&MulticastReceiver::ReceiveThread, this);
    } catch (const std::system_error&) {
        running_ = false;
        Stop();
        return 0;
    }
    return 1;
}

int MulticastReceiver::Stop()
{
    if (thread_.joinable()) {
        running_ = false;
        const uint64_t wake = 1;
        [[maybe_unused]] const ssize_t written = write(wake_fd_, &wake, sizeof wake);
        thread_.join();
    }
    if (wake_fd_ >= 0) {
        close(wake_fd_);
        wake_fd_ = -1;
    }
    if (!socket_.is_open()) return 0;
    return socket_.Close() ? 1 : 0;
}

// Waits until the socket has a datagram or Stop wakes us. False when stopping.
bool MulticastReceiver::WaitForDatagram() const
{
    pollfd waits[2] = {{socket_.fd(), POLLIN, 0}, {wake_fd_, POLLIN, 0}};
    while (running_) {
        // A failed poll (interrupted, short of memory) is simply retried.
        const int ready = poll(waits, 2, -1);
        if (!running_) return false;
        if (ready > 0 && waits[0].revents != 0) return true;
    }
    return false;
}

void MulticastReceiver::ReceiveThread()
{
    pthread_setname_np(pthread_self(), "kv-receive");
    uint8_t datagram[wire::kMaxBlockSize + wire::kHeadBytes];
    while (WaitForDatagram()) {
        // A failed receive is never a datagram: retry while running. The
        // length is the datagram's true one, so a longer one is dropped.
        SenderAddress source;
        const long length = socket_.Receive(datagram, sizeof datagram, &source);
        if (length < 0) continue;
        handler_(datagram, size_t(length), source);
    }
}

}  // namespace kinoverd
