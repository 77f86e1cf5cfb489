#include "broadcast/network_stream.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "broadcast/notify_target.h"
#include "broadcast/reception_host.h"

namespace kinoverd {

namespace {

// A wrapping 32-bit millisecond clock; differences of it stay right across the wrap.
uint32_t MillisecondClock()
{
    using namespace std::chrono;
    return uint32_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace

NetworkStream::NetworkStream(ReceptionHost& host, int64_t length, uint32_t rate)
    : host_(host), length_(length), rate_(rate), start_time_(MillisecondClock())
{
}

uint32_t NetworkStream::ElapsedMilliseconds() const { return MillisecondClock() - start_time_; }

Result NetworkStream::SetPointer(int64_t position)
{
    std::lock_guard lock(mutex_);
    if (position < 0 || position > length_) return kFalse;
    position_ = position;
    return kOk;
}

Result NetworkStream::Read(uint8_t* buffer, uint32_t count, bool, uint32_t* bytes_read)
{
    if (!buffer && count > 0) return kPointer;
    std::lock_guard lock(mutex_);
    const uint32_t elapsed = ElapsedMilliseconds();
    if (position_ + count > length_) count = uint32_t(length_ - position_);

    const uint32_t low_position = uint32_t(position_);
    // Rate 0 would mean waiting forever; it paces nothing instead.
    if (rate_ != 0) {
        const uint32_t wait = (low_position + count) / rate_;
        if (elapsed < wait) std::this_thread::sleep_for(std::chrono::milliseconds(wait - elapsed));
    }

    if (host_.Deliver(buffer, count, low_position) == 0) {
        if (NotifyTarget* notify = host_.notify_target())
            notify->Post(kMsgRingEmpty, low_position, 0);
    }
    position_ += count;
    if (bytes_read) *bytes_read = count;
    return kOk;
}

int64_t NetworkStream::Size(int64_t* available)
{
    if (available) {
        const int64_t product = int64_t(int32_t(ElapsedMilliseconds())) * int32_t(rate_);
        *available = std::min(length_, product);
    }
    return length_;
}

}  // namespace kinoverd
