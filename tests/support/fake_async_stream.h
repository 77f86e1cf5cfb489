// A stream for the pull-source tests. It serves a byte pattern that depends
// on the position, and can hold reads at a gate, cut reads short at a data
// end, report the start of a run at one position, or fail one position.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "broadcast/async_stream.h"

namespace kinoverd::testing {

inline uint8_t PatternByte(int64_t position) { return uint8_t(position % 251 + position / 251 * 17); }

inline bool HoldsPattern(const uint8_t* data, int64_t position, int32_t length)
{
    for (int32_t i = 0; i < length; ++i) {
        if (data[i] != PatternByte(position + i)) return false;
    }
    return true;
}

class FakeAsyncStream : public AsyncStream {
public:
    struct ReadCall {
        int64_t position;
        uint32_t count;
        bool aligned;
    };

    explicit FakeAsyncStream(int64_t total, uint32_t alignment = 1)
        : total_(total), alignment_(alignment), data_end_(total)
    {
    }

    // Refuses positions outside 0..total, as the network stream does.
    Result SetPointer(int64_t position) override
    {
        NoteAccess();
        if (position < 0 || position > total_) return kFalse;
        position_ = position;  // guarded by the stream lock
        return kOk;
    }

    Result Read(uint8_t* buffer, uint32_t count, bool aligned, uint32_t* bytes_read) override
    {
        NoteAccess();
        const int64_t position = position_;
        std::unique_lock lock(mutex_);
        ++reads_started_;
        changed_.notify_all();
        changed_.wait(lock, [this] { return !held_; });
        reads_.push_back({position, count, aligned});
        if (fail_at_ == position) return kFail;
        const int64_t end = std::min(position + int64_t(count), data_end_);
        const uint32_t n = end > position ? uint32_t(end - position) : 0;
        const bool run_start = run_start_ == position;
        lock.unlock();
        for (uint32_t i = 0; i < n; ++i) buffer[i] = PatternByte(position + i);
        position_ = position + n;
        *bytes_read = n;
        return run_start ? kFirstOfRun : kOk;
    }

    int64_t Size(int64_t* available) override
    {
        if (available) *available = available_;
        return total_;
    }

    uint32_t Alignment() override { return alignment_; }

    void Lock() override
    {
        stream_lock_.lock();
        std::lock_guard lock(mutex_);
        locked_ = true;
    }

    void Unlock() override
    {
        {
            std::lock_guard lock(mutex_);
            locked_ = false;
        }
        stream_lock_.unlock();
    }

    // Reads entering the stream wait until ReleaseReads.
    void HoldReads()
    {
        std::lock_guard lock(mutex_);
        held_ = true;
    }

    void ReleaseReads()
    {
        {
            std::lock_guard lock(mutex_);
            held_ = false;
        }
        changed_.notify_all();
    }

    void WaitForReadsStarted(int count)
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return reads_started_ >= count; });
    }

    // Data ends here although the reported total may be larger: reads come back short.
    void SetDataEnd(int64_t end)
    {
        std::lock_guard lock(mutex_);
        data_end_ = end;
    }

    void SetRunStart(int64_t position)
    {
        std::lock_guard lock(mutex_);
        run_start_ = position;
    }

    void FailReadAt(int64_t position)
    {
        std::lock_guard lock(mutex_);
        fail_at_ = position;
    }

    std::vector<ReadCall> reads() const
    {
        std::lock_guard lock(mutex_);
        return reads_;
    }

    // Positioning or reading without the stream lock held.
    int unlocked_accesses() const
    {
        std::lock_guard lock(mutex_);
        return unlocked_accesses_;
    }

    static constexpr int64_t kAvailable = 12345;

private:
    void NoteAccess()
    {
        std::lock_guard lock(mutex_);
        if (!locked_) ++unlocked_accesses_;
    }

    const int64_t total_;
    const uint32_t alignment_;
    const int64_t available_ = kAvailable;

    std::mutex stream_lock_;
    int64_t position_ = 0;  // guarded by stream_lock_

    mutable std::mutex mutex_;  // guards everything below
    std::condition_variable changed_;
    bool locked_ = false;
    bool held_ = false;
    int reads_started_ = 0;
    int64_t data_end_;
    std::optional<int64_t> run_start_;
    std::optional<int64_t> fail_at_;
    std::vector<ReadCall> reads_;
    int unlocked_accesses_ = 0;
};

}  // namespace kinoverd::testing
