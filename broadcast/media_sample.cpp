#include "broadcast/media_sample.h"

namespace kinoverd {

MediaSample::MediaSample(uint8_t* buffer, int32_t capacity) : buffer_(buffer), capacity_(capacity) {}

void MediaSample::SetTime(int64_t start, int64_t stop)
{
    start_time_ = start;
    stop_time_ = stop;
}

void MediaSample::SetByteRange(int64_t position, int32_t length)
{
    SetTime(position * kTimeUnitsPerByte, (position + length) * kTimeUnitsPerByte);
}

}  // namespace kinoverd
