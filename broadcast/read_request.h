// One byte range to be read from the stream into a caller's buffer. Built by
// the I/O queue (or on the spot for a synchronous read) and completed by
// whichever thread reads it: the queue's worker or the synchronous caller.
//
// Not synchronised: a request belongs to one thread at a time. The queue's
// lists hold it under the queue's list lock; the worker owns it while it is
// being completed (the queue counts it among the items out).
#pragma once

#include <cstdint>

#include "broadcast/result_codes.h"

namespace kinoverd {

class AsyncStream;
class MediaSample;

class ReadRequest {
public:
    // `context` is the sample to return to the caller, or null; it is marked
    // as a discontinuity when the stream says its data begins a new run.
    ReadRequest(AsyncStream* stream, int64_t position, int32_t length, bool aligned,
                uint8_t* buffer, MediaSample* context, uintptr_t user_value);
    ReadRequest(const ReadRequest&) = delete;
    ReadRequest& operator=(const ReadRequest&) = delete;

    // Positions the stream and reads, holding the stream's lock throughout.
    // kOk with the full length, kFalse with length() cut to the bytes read,
    // or the stream's failure with length() 0. A position the stream refuses
    // is its kFalse with nothing read.
    Result Complete();

    int64_t position() const { return position_; }
    // Bytes wanted; after completion, the bytes actually read.
    int32_t length() const { return length_; }
    MediaSample* context() const { return context_; }
    uintptr_t user_value() const { return user_value_; }
    // kTimeout until the request has been completed.
    Result result() const { return result_; }

private:
    AsyncStream* const stream_;
    const int64_t position_;
    const bool aligned_;
    int32_t length_;
    uint8_t* const buffer_;
    MediaSample* const context_;
    const uintptr_t user_value_;
    Result result_ = kTimeout;
};

}  // namespace kinoverd
