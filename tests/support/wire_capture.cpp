// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/wire_capture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace kinoverd::test {

namespace {

// The peers' two-packet buffers lose datagrams whenever this thread is late;
// a capture must not, so it asks for far more (forced where permitted).
void EnlargeReceiveBuffer(int fd)
{
    const int bytes = 4 << 20;
    if (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) != 0)
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
}

// One datagram and when the kernel queued it. Arrival times come from the
// kernel's stamp, so a receive thread that wakes late on a busy machine
// still records when each datagram really came. The stamp is on the real-time
// clock; only its distance from now is used, turned onto the steady clock.
long ReceiveStamped(int fd, std::vector<uint8_t>& buffer,
                    std::chrono::steady_clock::time_point* arrival, SenderAddress* source)
{
    iovec io{buffer.data(), buffer.size()};
    alignas(cmsghdr) char control[128];
    sockaddr_in from{};
    msghdr message{};
    message.msg_name = &from;
    message.msg_namelen = sizeof from;
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const long length = recvmsg(fd, &message, MSG_TRUNC);
    *arrival = std::chrono::steady_clock::now();
    if (length < 0) return length;
    *source = SenderAddress{ntohl(from.sin_addr.s_addr), ntohs(from.sin_port)};
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_TIMESTAMPNS) continue;
        timespec stamp{}, now{};
        std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
        clock_gettime(CLOCK_REALTIME, &now);
        const auto ago = std::chrono::seconds(now.tv_sec - stamp.tv_sec) +
                         std::chrono::nanoseconds(now.tv_nsec - stamp.tv_nsec);
        if (ago > ago.zero())
            *arrival -= std::chrono::duration_cast<std::chrono::steady_clock::duration>(ago);
    }
    return length;
}

// A listener on the group's `port`, sharing it with the stations on this
// machine: address reuse before the bind, then group membership.
int OpenListener(const std::string& group, uint16_t port)
{
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(port);
    ip_mreq membership{};
    membership.imr_interface.s_addr = htonl(INADDR_ANY);
    const bool joined =
        bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        inet_pton(AF_INET, group.c_str(), &membership.imr_multiaddr) == 1 &&
        setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &membership, sizeof membership) == 0;
    if (joined) return fd;
    close(fd);
    return -1;
}

}  // namespace

WireCapture::WireCapture(int channel) : channel_(channel) {}

WireCapture::~WireCapture() { Stop(); }

bool WireCapture::Start()
{
    Stop();
    const auto group = wire::GroupAddress(channel_);
    data_fd_ = OpenListener(group, data_port());
    control_fd_ = OpenListener(group, control_port());
    wake_fd_ = eventfd(0, EFD_CLOEXEC);
    if (data_fd_ < 0 || control_fd_ < 0 || wake_fd_ < 0) {
        Stop();
        return false;
    }
    const int on = 1;
    for (const int fd : {data_fd_, control_fd_}) {
        EnlargeReceiveBuffer(fd);
        setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
    }
    thread_ = std::thread(&WireCapture::ReceiveThread, this);
    return true;
}

void WireCapture::Stop()
{
    if (thread_.joinable()) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = write(wake_fd_, &one, sizeof one);
        thread_.join();
    }
    for (int* fd : {&wake_fd_, &data_fd_, &control_fd_}) {
        if (*fd >= 0) close(*fd);
        *fd = -1;
    }
}

void WireCapture::ReceiveThread()
{
    std::vector<uint8_t> buffer(kMaxDatagramBytes);
    pollfd fds[3] = {
        {data_fd_, POLLIN, 0}, {control_fd_, POLLIN, 0}, {wake_fd_, POLLIN, 0}};
    const uint16_t ports[2] = {data_port(), control_port()};
    for (;;) {
        if (poll(fds, 3, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[2].revents) return;
        for (int i = 0; i < 2; ++i) {
            if (!(fds[i].revents & POLLIN)) continue;
            CapturedDatagram datagram;
            const long length = ReceiveStamped(fds[i].fd, buffer, &datagram.arrival, &datagram.source);
            if (length < 0) continue;
            datagram.port = ports[i];
            datagram.length = size_t(length);
            datagram.bytes.assign(buffer.begin(),
                                  buffer.begin() + std::min(size_t(length), buffer.size()));
            {
                std::lock_guard lock(mutex_);
                records_.push_back(std::move(datagram));
            }
            arrived_.notify_all();
        }
    }
}

bool WireCapture::WaitFor(const Predicate& predicate, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, timeout, [&] { return predicate(records_); });
}

bool WireCapture::WaitForCount(size_t count, std::chrono::milliseconds timeout) const
{
    return WaitFor([count](const Records& records) { return records.size() >= count; }, timeout);
}

WireCapture::Records WireCapture::records() const
{
    std::lock_guard lock(mutex_);
    return records_;
}

size_t WireCapture::count() const
{
    std::lock_guard lock(mutex_);
    return records_.size();
}

void WireCapture::Clear()
{
    std::lock_guard lock(mutex_);
    records_.clear();
}

}  // namespace kinoverd::test
