// The pull source's one output: the media type it offers, the connection rule
// and the reader calls of a pull-mode peer. Reads are expressed in samples
// whose times carry the byte range; the I/O queue does the reading.
#pragma once

#include <cstdint>
#include <mutex>

#include "broadcast/media_type.h"
#include "broadcast/result_codes.h"

namespace kinoverd {

class AsyncIoQueue;
class MediaSample;

class AsyncOutputPin {
public:
    // All three belong to the filter and outlive the pin. `filter_lock` also
    // guards the pin's connection state.
    AsyncOutputPin(AsyncIoQueue& queue, const MediaType& filter_type, std::mutex& filter_lock);
    AsyncOutputPin(const AsyncOutputPin&) = delete;
    AsyncOutputPin& operator=(const AsyncOutputPin&) = delete;

    const char* name() const { return "Output"; }

    // index 0: the filter's type, kOk; below 0 kInvalidArgument; above 0 kNoMoreItems.
    Result GetMediaType(int index, MediaType* type) const;
    // kOk when the major types match and the filter's subtype is null or
    // matches; kFalse otherwise.
    Result CheckMediaType(const MediaType& type) const;

    // A peer may connect only if it asked for the reader between CheckConnect
    // and CompleteConnect; otherwise CompleteConnect says kNoTransport.
    void QueryReader();
    Result CheckConnect();
    Result CompleteConnect();
    void BreakConnect();
    bool connected() const;

    // Queues a read of the sample's byte range into its buffer. A range past
    // the stream's end is cut there and the sample's stop time moved with it.
    Result Request(MediaSample* sample, uintptr_t user_value);
    // The next finished sample, with its actual data length set on success.
    // The sample comes back on failure too (a flush's kTimeout).
    Result WaitForNext(uint32_t timeout_ms, MediaSample** sample, uintptr_t* user_value);
    // Request and wait in one, in the calling thread.
    Result SyncReadAligned(MediaSample* sample);
    Result SyncRead(int64_t position, int32_t length, uint8_t* buffer);
    Result Length(int64_t* total, int64_t* available);
    Result BeginFlush();
    Result EndFlush();

private:
    // The sample's byte range, cut at the stream's total (rounded up to the
    // alignment). kInvalidArgument for a range that does not fit the buffer
    // or starts past the end.
    Result ByteRangeOf(MediaSample& sample, int64_t* position, int32_t* length) const;

    AsyncIoQueue& queue_;
    const MediaType& filter_type_;
    std::mutex& filter_lock_;
    bool queried_for_reader_ = false;  // guarded by filter_lock_
    bool connected_ = false;           // guarded by filter_lock_
};

}  // namespace kinoverd
