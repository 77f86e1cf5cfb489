// Reads of the pull source, addressed by position. Queued requests are
// completed in order by one worker thread (started by the first request, kept
// until the queue is destroyed); synchronous reads are completed in the
// caller's thread. Between BeginFlush and EndFlush new requests are refused
// and waiters return at once; requests still queued come back unread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "broadcast/read_request.h"
#include "broadcast/result_codes.h"

namespace kinoverd {

class AsyncStream;
class MediaSample;

class AsyncIoQueue {
public:
    // A WaitForNext timeout that never expires.
    static constexpr uint32_t kInfinite = 0xFFFFFFFF;

    // `stream` is not owned and must outlive the queue.
    explicit AsyncIoQueue(AsyncStream* stream);
    // Flushes, ends the worker and discards every request not collected.
    ~AsyncIoQueue();
    AsyncIoQueue(const AsyncIoQueue&) = delete;
    AsyncIoQueue& operator=(const AsyncIoQueue&) = delete;

    // Queues a read of `length` bytes at `position` into `buffer`; `context`
    // and `user_value` come back from WaitForNext. With `aligned`, position,
    // length and buffer address must be multiples of Alignment()
    // (kBadAlignment). kWrongState while flushing.
    Result Request(int64_t position, int32_t length, bool aligned, uint8_t* buffer,
                   MediaSample* context, uintptr_t user_value);

    // Hands back the next finished request, in the order requests reached the
    // done list. kTimeout when none arrives within `timeout_ms` (context
    // null), and for a request a flush sent back unread. While flushing with
    // nothing left to hand back: kWrongState at once. A short read is kOk when
    // it ends at the stream's total and kFail otherwise.
    Result WaitForNext(uint32_t timeout_ms, MediaSample** context, uintptr_t* user_value,
                       int32_t* actual_length);

    // Reads in the calling thread. All three values must be aligned
    // (kBadAlignment). `sample`, when given, is marked at the start of a run.
    Result SyncReadAligned(int64_t position, int32_t length, uint8_t* buffer,
                           int32_t* actual_length, MediaSample* sample);
    // Reads in the calling thread, aligned or not; kFalse for a short read.
    Result SyncRead(int64_t position, int32_t length, uint8_t* buffer);

    // The stream's total length and, when asked for, what is available now.
    Result Length(int64_t* total, int64_t* available);
    uint32_t Alignment() const;
    bool IsAligned(int64_t value) const;

    // Refuses new requests, sends queued ones back unread and waits for the
    // one being completed, if any.
    Result BeginFlush();
    Result EndFlush();

private:
    Result StartWorkerLocked();
    void WorkerThread();
    std::unique_ptr<ReadRequest> TakeDoneItemLocked();
    void SignalDoneLocked();

    AsyncStream* const stream_;

    // The list lock guards every field below. It is never held while a
    // request is completed, so readers and flushes never wait for the stream.
    std::mutex list_mutex_;
    bool flushing_ = false;
    std::deque<std::unique_ptr<ReadRequest>> work_;
    std::deque<std::unique_ptr<ReadRequest>> done_;
    // The work event: the worker waits here for work_ to fill or for stopping_.
    std::condition_variable work_changed_;
    // The done event, manual-reset: set whenever done_ gains a request and
    // for the duration of a flush that is not waiting, so that waiters return.
    bool done_signalled_ = false;
    std::condition_variable done_changed_;
    // Requests taken off work_ and not yet on done_ (0 or 1: one worker).
    int items_out_ = 0;
    // Flushes waiting for items_out_ to drop to 0, woken by all_done_.
    int waiting_flushes_ = 0;
    std::condition_variable all_done_;
    // The stop event, set once by the destructor.
    bool stopping_ = false;
    std::thread worker_;  // not joinable until the first request
};

}  // namespace kinoverd
