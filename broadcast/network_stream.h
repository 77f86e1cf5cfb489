// The stream the pull source reads: every read is answered at once from the
// host's packet ring, whatever position it asks for, with zeros when the
// ring is empty. The position only counts what was asked for; it is what the
// station shows as playback progress.
#pragma once

#include <cstdint>
#include <mutex>

#include "broadcast/async_stream.h"

namespace kinoverd {

class ReceptionHost;

class NetworkStream : public AsyncStream {
public:
    // `rate` paces reads to that many bytes per millisecond since
    // construction; 0xFFFFFFFF makes every wait zero in practice, 0 paces nothing.
    NetworkStream(ReceptionHost& host, int64_t length, uint32_t rate);

    // kFalse, position unchanged, when the position is negative or beyond the length.
    Result SetPointer(int64_t position) override;
    // Always `count` bytes (cut at the length), ring data or zeros; kOk.
    // An empty ring is reported (8110 with the low 32 bits of the position).
    Result Read(uint8_t* buffer, uint32_t count, bool aligned, uint32_t* bytes_read) override;
    // `available` is min(length, elapsed ms * rate) with both factors taken
    // as signed 32-bit values, as the readers of it expect.
    int64_t Size(int64_t* available = nullptr) override;
    uint32_t Alignment() override { return 1; }
    void Lock() override { mutex_.lock(); }
    void Unlock() override { mutex_.unlock(); }

private:
    uint32_t ElapsedMilliseconds() const;

    ReceptionHost& host_;
    const int64_t length_;
    const uint32_t rate_;
    const uint32_t start_time_;  // millisecond clock at construction

    // Recursive: the reader holds Lock around SetPointer and Read, which lock too.
    std::recursive_mutex mutex_;
    int64_t position_ = 0;  // guarded by mutex_
};

}  // namespace kinoverd
