// A buffer handed to the pull source to be filled with one byte range. The
// range travels as sample times: byte positions in units of 100 ns, the way
// the media framework's pull-mode peers express it.
//
// Not synchronised: a sample belongs to one thread at a time. While it is
// queued for a read, only the queue's worker touches it; the requester gets
// it back from WaitForNext.
#pragma once

#include <cstdint>

namespace kinoverd {

class MediaSample {
public:
    // Sample-time units per byte position.
    static constexpr int64_t kTimeUnitsPerByte = 10'000'000;

    // `buffer` holds `capacity` bytes and is not owned.
    MediaSample(uint8_t* buffer, int32_t capacity);

    uint8_t* buffer() const { return buffer_; }
    int32_t capacity() const { return capacity_; }

    void SetTime(int64_t start, int64_t stop);
    int64_t start_time() const { return start_time_; }
    int64_t stop_time() const { return stop_time_; }
    // Asks for `length` bytes from `position`.
    void SetByteRange(int64_t position, int32_t length);

    void SetActualDataLength(int32_t length) { actual_data_length_ = length; }
    int32_t actual_data_length() const { return actual_data_length_; }

    void SetDiscontinuity(bool discontinuity) { discontinuity_ = discontinuity; }
    bool discontinuity() const { return discontinuity_; }

private:
    uint8_t* const buffer_;
    const int32_t capacity_;
    int64_t start_time_ = 0;
    int64_t stop_time_ = 0;
    int32_t actual_data_length_ = 0;
    bool discontinuity_ = false;
};

}  // namespace kinoverd
