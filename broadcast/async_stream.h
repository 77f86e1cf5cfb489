// The stream behind the pull source: position-addressed reads of a byte
// stream. The source's request processing holds Lock around SetPointer and
// Read, so a position and the read that follows it belong together.
#pragma once

#include <cstdint>

#include "broadcast/result_codes.h"

namespace kinoverd {

class AsyncStream {
public:
    virtual ~AsyncStream() = default;
    // kOk when the position is accepted, kFalse otherwise.
    virtual Result SetPointer(int64_t position) = 0;
    // Reads at the current position; kFirstOfRun means the data begins a new run.
    virtual Result Read(uint8_t* buffer, uint32_t count, bool aligned, uint32_t* bytes_read) = 0;
    // The total length; `available`, when given, receives what can be read now.
    virtual int64_t Size(int64_t* available = nullptr) = 0;
    // Required alignment of positions, lengths and buffer addresses (a power of two).
    virtual uint32_t Alignment() = 0;
    virtual void Lock() = 0;
    virtual void Unlock() = 0;
};

}  // namespace kinoverd
