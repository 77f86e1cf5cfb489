#include "broadcast/async_output_pin.h"

#include "broadcast/async_io_queue.h"
#include "broadcast/media_sample.h"

namespace kinoverd {

AsyncOutputPin::AsyncOutputPin(AsyncIoQueue& queue, const MediaType& filter_type,
                               std::mutex& filter_lock)
    : queue_(queue), filter_type_(filter_type), filter_lock_(filter_lock)
{
}

Result AsyncOutputPin::GetMediaType(int index, MediaType* type) const
{
    if (index < 0) return kInvalidArgument;
    if (index > 0) return kNoMoreItems;
    if (!type) return kPointer;
    *type = filter_type_;
    return kOk;
}

Result AsyncOutputPin::CheckMediaType(const MediaType& type) const
{
    std::lock_guard lock(filter_lock_);
    if (type.major == filter_type_.major &&
        (filter_type_.subtype.IsNull() || type.subtype == filter_type_.subtype)) {
        return kOk;
    }
    return kFalse;
}

void AsyncOutputPin::QueryReader()
{
    std::lock_guard lock(filter_lock_);
    queried_for_reader_ = true;
}

Result AsyncOutputPin::CheckConnect()
{
    std::lock_guard lock(filter_lock_);
    queried_for_reader_ = false;
    return kOk;
}

Result AsyncOutputPin::CompleteConnect()
{
    std::lock_guard lock(filter_lock_);
    // A peer that never asked for the reader would never pull any data.
    if (!queried_for_reader_) return kNoTransport;
    connected_ = true;
    return kOk;
}

void AsyncOutputPin::BreakConnect()
{
    std::lock_guard lock(filter_lock_);
    queried_for_reader_ = false;
    connected_ = false;
}

bool AsyncOutputPin::connected() const
{
    std::lock_guard lock(filter_lock_);
    return connected_;
}

Result AsyncOutputPin::ByteRangeOf(MediaSample& sample, int64_t* position, int32_t* length) const
{
    const int64_t start = sample.start_time();
    const int64_t stop = sample.stop_time();
    if (start < 0 || stop < start) return kInvalidArgument;
    const int64_t first = start / MediaSample::kTimeUnitsPerByte;
    int64_t wanted = (stop - start) / MediaSample::kTimeUnitsPerByte;

    int64_t total = 0;
    queue_.Length(&total, nullptr);
    bool cut = false;
    if (first + wanted > total) {
        // The end may have been aligned more coarsely than the total.
        const int64_t alignment = queue_.Alignment();
        total = (total + alignment - 1) & ~(alignment - 1);
        if (first + wanted > total) {
            wanted = total - first;
            cut = true;
        }
    }
    if (wanted < 0 || wanted > sample.capacity()) return kInvalidArgument;
    if (cut) sample.SetTime(start, total * MediaSample::kTimeUnitsPerByte);
    *position = first;
    *length = int32_t(wanted);
    return kOk;
}

Result AsyncOutputPin::Request(MediaSample* sample, uintptr_t user_value)
{
    if (!sample) return kPointer;
    int64_t position = 0;
    int32_t length = 0;
    const Result range = ByteRangeOf(*sample, &position, &length);
    if (!Succeeded(range)) return range;
    return queue_.Request(position, length, true, sample->buffer(), sample, user_value);
}

Result AsyncOutputPin::WaitForNext(uint32_t timeout_ms, MediaSample** sample,
                                   uintptr_t* user_value)
{
    if (!sample || !user_value) return kPointer;
    int32_t actual = 0;
    const Result result = queue_.WaitForNext(timeout_ms, sample, user_value, &actual);
    if (Succeeded(result) && *sample) (*sample)->SetActualDataLength(actual);
    return result;
}

Result AsyncOutputPin::SyncReadAligned(MediaSample* sample)
{
    if (!sample) return kPointer;
    int64_t position = 0;
    int32_t length = 0;
    const Result range = ByteRangeOf(*sample, &position, &length);
    if (!Succeeded(range)) return range;
    int32_t actual = 0;
    const Result result = queue_.SyncReadAligned(position, length, sample->buffer(), &actual, sample);
    sample->SetActualDataLength(actual);
    return result;
}

Result AsyncOutputPin::SyncRead(int64_t position, int32_t length, uint8_t* buffer)
{
    return queue_.SyncRead(position, length, buffer);
}

Result AsyncOutputPin::Length(int64_t* total, int64_t* available)
{
    return queue_.Length(total, available);
}

Result AsyncOutputPin::BeginFlush() { return queue_.BeginFlush(); }

Result AsyncOutputPin::EndFlush() { return queue_.EndFlush(); }

}  // namespace kinoverd
