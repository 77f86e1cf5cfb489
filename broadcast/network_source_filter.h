// The playback pipeline's source: one output that serves position-addressed
// reads of the received broadcast through the stream interface, offering
// exactly one media type.
#pragma once

#include <mutex>

#include "broadcast/async_io_queue.h"
#include "broadcast/async_output_pin.h"
#include "broadcast/media_type.h"

namespace kinoverd {

class AsyncStream;

class NetworkSourceFilter {
public:
    // `stream` is not owned and must outlive the filter.
    NetworkSourceFilter(AsyncStream* stream, const MediaType& type);
    NetworkSourceFilter(const NetworkSourceFilter&) = delete;
    NetworkSourceFilter& operator=(const NetworkSourceFilter&) = delete;

    int PinCount() const { return 1; }
    // The output for 0, null otherwise.
    AsyncOutputPin* GetPin(int index);
    const MediaType& media_type() const { return media_type_; }

private:
    // Declared so that the pin goes first, then the queue (which flushes and
    // ends its worker), then the lock.
    std::mutex filter_lock_;
    const MediaType media_type_;
    AsyncIoQueue io_queue_;
    AsyncOutputPin output_pin_;
};

}  // namespace kinoverd
