#include "broadcast/async_io_queue.h"

#include <chrono>
#include <system_error>

#include "broadcast/async_stream.h"

namespace kinoverd {

namespace {

// An operating-system error as the framework's callers expect it.
Result ResultFromSystemError(int code) { return Result(0x80070000u | (uint32_t(code) & 0xFFFFu)); }

Result CheckBuffer(int32_t length, const uint8_t* buffer)
{
    if (length < 0) return kInvalidArgument;
    if (!buffer && length > 0) return kPointer;
    return kOk;
}

}  // namespace

AsyncIoQueue::AsyncIoQueue(AsyncStream* stream) : stream_(stream) {}

AsyncIoQueue::~AsyncIoQueue()
{
    BeginFlush();
    {
        std::lock_guard lock(list_mutex_);
        stopping_ = true;
    }
    work_changed_.notify_all();
    if (worker_.joinable()) worker_.join();
    // Requests nobody collected are freed with done_.
}

uint32_t AsyncIoQueue::Alignment() const { return stream_->Alignment(); }

bool AsyncIoQueue::IsAligned(int64_t value) const
{
    return (uint64_t(value) & (uint64_t(Alignment()) - 1)) == 0;
}

Result AsyncIoQueue::Request(int64_t position, int32_t length, bool aligned, uint8_t* buffer,
                             MediaSample* context, uintptr_t user_value)
{
    const Result valid = CheckBuffer(length, buffer);
    if (!Succeeded(valid)) return valid;
    if (aligned && !(IsAligned(position) && IsAligned(length) && IsAligned(intptr_t(buffer)))) {
        return kBadAlignment;
    }
    auto request = std::make_unique<ReadRequest>(stream_, position, length, aligned, buffer,
                                                 context, user_value);
    std::lock_guard lock(list_mutex_);
    if (flushing_) return kWrongState;
    // Started before the request is listed, so a refused request never
    // comes back later from WaitForNext.
    const Result started = StartWorkerLocked();
    if (!Succeeded(started)) return started;
    work_.push_back(std::move(request));
    work_changed_.notify_one();
    return kOk;
}

Result AsyncIoQueue::StartWorkerLocked()
{
    if (worker_.joinable()) return kOk;
    try {
        worker_ = std::thread(&AsyncIoQueue::WorkerThread, this);
    } catch (const std::system_error& error) {
        return ResultFromSystemError(error.code().value());
    }
    return kOk;
}

void AsyncIoQueue::WorkerThread()
{
    std::unique_lock lock(list_mutex_);
    for (;;) {
        work_changed_.wait(lock, [this] { return stopping_ || !work_.empty(); });
        if (stopping_) return;
        std::unique_ptr<ReadRequest> request = std::move(work_.front());
        work_.pop_front();
        ++items_out_;
        lock.unlock();
        request->Complete();
        lock.lock();
        done_.push_back(std::move(request));
        SignalDoneLocked();
        if (--items_out_ == 0 && waiting_flushes_ > 0) all_done_.notify_all();
    }
}

void AsyncIoQueue::SignalDoneLocked()
{
    done_signalled_ = true;
    done_changed_.notify_all();
}

std::unique_ptr<ReadRequest> AsyncIoQueue::TakeDoneItemLocked()
{
    std::unique_ptr<ReadRequest> request;
    if (!done_.empty()) {
        request = std::move(done_.front());
        done_.pop_front();
    }
    // A flush that is no longer waiting keeps the event set: waiters must
    // come back with kWrongState instead of blocking.
    if (done_.empty() && (!flushing_ || waiting_flushes_ > 0)) done_signalled_ = false;
    return request;
}

Result AsyncIoQueue::WaitForNext(uint32_t timeout_ms, MediaSample** context,
                                 uintptr_t* user_value, int32_t* actual_length)
{
    if (!context || !user_value || !actual_length) return kPointer;
    *context = nullptr;
    *user_value = 0;
    *actual_length = 0;

    std::unique_ptr<ReadRequest> request;
    {
        std::unique_lock lock(list_mutex_);
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        const auto signalled = [this] { return done_signalled_; };
        for (;;) {
            if (timeout_ms == kInfinite) {
                done_changed_.wait(lock, signalled);
            } else if (!done_changed_.wait_until(lock, deadline, signalled)) {
                return kTimeout;
            }
            request = TakeDoneItemLocked();
            if (request) break;
            if (flushing_ && waiting_flushes_ == 0) return kWrongState;
        }
    }

    Result result = request->result();
    if (result == kFalse) {
        // Short only because the stream ended there: that is a whole read.
        result = request->position() + request->length() == stream_->Size() ? kOk : kFail;
    }
    *actual_length = request->length();
    *context = request->context();
    *user_value = request->user_value();
    return result;
}

Result AsyncIoQueue::SyncReadAligned(int64_t position, int32_t length, uint8_t* buffer,
                                     int32_t* actual_length, MediaSample* sample)
{
    if (!actual_length) return kPointer;
    *actual_length = 0;
    const Result valid = CheckBuffer(length, buffer);
    if (!Succeeded(valid)) return valid;
    if (!(IsAligned(position) && IsAligned(length) && IsAligned(intptr_t(buffer)))) {
        return kBadAlignment;
    }
    ReadRequest request(stream_, position, length, true, buffer, sample, 0);
    const Result result = request.Complete();
    *actual_length = request.length();
    return result;
}

Result AsyncIoQueue::SyncRead(int64_t position, int32_t length, uint8_t* buffer)
{
    if (IsAligned(position) && IsAligned(length) && IsAligned(intptr_t(buffer))) {
        int32_t unused = 0;
        return SyncReadAligned(position, length, buffer, &unused, nullptr);
    }
    const Result valid = CheckBuffer(length, buffer);
    if (!Succeeded(valid)) return valid;
    ReadRequest request(stream_, position, length, false, buffer, nullptr, 0);
    return request.Complete();
}

Result AsyncIoQueue::Length(int64_t* total, int64_t* available)
{
    if (!total) return kPointer;
    *total = stream_->Size(available);
    return kOk;
}

Result AsyncIoQueue::BeginFlush()
{
    std::unique_lock lock(list_mutex_);
    flushing_ = true;
    // Queued requests go back unread, keeping their result kTimeout.
    if (!work_.empty()) {
        while (!work_.empty()) {
            done_.push_back(std::move(work_.front()));
            work_.pop_front();
        }
        SignalDoneLocked();
    }
    if (items_out_ > 0) {
        ++waiting_flushes_;
        all_done_.wait(lock, [this] { return items_out_ == 0; });
        --waiting_flushes_;
    }
    SignalDoneLocked();
    return kOk;
}

Result AsyncIoQueue::EndFlush()
{
    std::lock_guard lock(list_mutex_);
    flushing_ = false;
    if (!done_.empty()) {
        SignalDoneLocked();
    } else {
        done_signalled_ = false;
    }
    return kOk;
}

}  // namespace kinoverd
