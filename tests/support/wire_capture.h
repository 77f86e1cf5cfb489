// SPDX-License-Identifier: GPL-3.0-or-later
// Records every datagram that arrives on one channel's data and control
// ports, as any station joined to the channel's group would see them.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "broadcast/sender_address.h"
#include "broadcast/wire_format.h"

namespace kinoverd::test {

struct CapturedDatagram {
    uint16_t port = 0;
    std::vector<uint8_t> bytes;                     // cut off at WireCapture::kMaxDatagramBytes
    size_t length = 0;                              // the datagram's true length
    std::chrono::steady_clock::time_point arrival;  // when the kernel queued it
    SenderAddress source;                           // who sent it
};

class WireCapture {
public:
    using Records = std::vector<CapturedDatagram>;
    using Predicate = std::function<bool(const Records&)>;
    static constexpr size_t kMaxDatagramBytes = 65536;

    explicit WireCapture(int channel);
    ~WireCapture();
    WireCapture(const WireCapture&) = delete;
    WireCapture& operator=(const WireCapture&) = delete;

    // Joins the group on both ports, shared with the stations here, and
    // starts recording. False when either port cannot be bound or joined.
    bool Start();
    // Ends recording; the records stay readable.
    void Stop();

    // True as soon as `predicate` holds for the records; false after `timeout`.
    bool WaitFor(const Predicate& predicate, std::chrono::milliseconds timeout) const;
    bool WaitForCount(size_t count, std::chrono::milliseconds timeout) const;

    Records records() const;
    size_t count() const;
    void Clear();

    uint16_t data_port() const { return wire::DataPort(channel_); }
    uint16_t control_port() const { return wire::ControlPort(channel_); }

private:
    void ReceiveThread();

    const int channel_;
    // Opened by Start before the thread runs; closed by Stop after it ends.
    int data_fd_ = -1;
    int control_fd_ = -1;
    int wake_fd_ = -1;  // eventfd that ends the receive thread's poll
    std::thread thread_;

    mutable std::mutex mutex_;
    mutable std::condition_variable arrived_;
    Records records_;  // guarded by mutex_
};

}  // namespace kinoverd::test
