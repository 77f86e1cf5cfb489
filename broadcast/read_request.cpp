#include "broadcast/read_request.h"

#include "broadcast/async_stream.h"
#include "broadcast/media_sample.h"

namespace kinoverd {

ReadRequest::ReadRequest(AsyncStream* stream, int64_t position, int32_t length, bool aligned,
                         uint8_t* buffer, MediaSample* context, uintptr_t user_value)
    : stream_(stream),
      position_(position),
      aligned_(aligned),
      length_(length),
      buffer_(buffer),
      context_(context),
      user_value_(user_value)
{
}

Result ReadRequest::Complete()
{
    stream_->Lock();
    result_ = stream_->SetPointer(position_);
    if (result_ == kOk) {
        uint32_t actual = 0;
        result_ = stream_->Read(buffer_, uint32_t(length_), aligned_, &actual);
        if (result_ == kFirstOfRun && context_) {
            context_->SetDiscontinuity(true);
            result_ = kOk;
        }
        if (!Succeeded(result_)) {
            length_ = 0;
        } else if (actual != uint32_t(length_)) {
            length_ = int32_t(actual);
            result_ = kFalse;
        } else {
            result_ = kOk;
        }
    } else {
        // Nothing was read: the caller must not take the buffer for data.
        length_ = 0;
    }
    stream_->Unlock();
    return result_;
}

}  // namespace kinoverd
