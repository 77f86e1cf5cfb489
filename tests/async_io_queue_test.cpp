#include "broadcast/async_io_queue.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <latch>
#include <thread>
#include <vector>

#include "broadcast/media_sample.h"
#include "broadcast/read_request.h"
#include "tests/support/fake_async_stream.h"

namespace kinoverd {
namespace {

using testing::FakeAsyncStream;
using testing::HoldsPattern;

constexpr int64_t kTotal = 1 << 20;
constexpr uint32_t kNoWait = 0;
constexpr uint32_t kGenerousMs = 5000;

struct Finished {
    Result result = kOk;
    MediaSample* context = nullptr;
    uintptr_t user_value = 0;
    int32_t actual = 0;
};

Finished Next(AsyncIoQueue& queue, uint32_t timeout_ms = kGenerousMs)
{
    Finished f;
    f.result = queue.WaitForNext(timeout_ms, &f.context, &f.user_value, &f.actual);
    return f;
}

// ---- completing one request ----

TEST(ReadRequest, CompletesTheFullLengthUnderTheStreamLock)
{
    FakeAsyncStream stream(kTotal);
    std::vector<uint8_t> buffer(50);
    ReadRequest request(&stream, 100, 50, true, buffer.data(), nullptr, 7);
    EXPECT_EQ(request.result(), kTimeout);
    EXPECT_EQ(request.Complete(), kOk);
    EXPECT_EQ(request.result(), kOk);
    EXPECT_EQ(request.length(), 50);
    EXPECT_TRUE(HoldsPattern(buffer.data(), 100, 50));
    ASSERT_EQ(stream.reads().size(), 1u);
    EXPECT_TRUE(stream.reads()[0].aligned);
    EXPECT_EQ(stream.unlocked_accesses(), 0);
}

TEST(ReadRequest, ShortReadReportsTheBytesRead)
{
    FakeAsyncStream stream(kTotal);
    stream.SetDataEnd(120);
    std::vector<uint8_t> buffer(50);
    ReadRequest request(&stream, 100, 50, false, buffer.data(), nullptr, 0);
    EXPECT_EQ(request.Complete(), kFalse);
    EXPECT_EQ(request.length(), 20);
    EXPECT_TRUE(HoldsPattern(buffer.data(), 100, 20));
}

TEST(ReadRequest, RefusedPositionReadsNothing)
{
    FakeAsyncStream stream(1000);
    std::vector<uint8_t> buffer(10, 0xEE);
    ReadRequest request(&stream, 1001, 10, false, buffer.data(), nullptr, 0);
    EXPECT_EQ(request.Complete(), kFalse);
    EXPECT_EQ(request.length(), 0);
    EXPECT_TRUE(stream.reads().empty());
    EXPECT_EQ(buffer, std::vector<uint8_t>(10, 0xEE));
}

TEST(ReadRequest, FailedReadReportsNoBytes)
{
    FakeAsyncStream stream(kTotal);
    stream.FailReadAt(64);
    std::vector<uint8_t> buffer(10);
    ReadRequest request(&stream, 64, 10, false, buffer.data(), nullptr, 0);
    EXPECT_EQ(request.Complete(), kFail);
    EXPECT_EQ(request.length(), 0);
}

TEST(ReadRequest, StartOfRunMarksTheSampleAndCountsAsSuccess)
{
    FakeAsyncStream stream(kTotal);
    stream.SetRunStart(200);
    std::vector<uint8_t> buffer(16);
    MediaSample sample(buffer.data(), 16);
    ReadRequest with_sample(&stream, 200, 16, false, buffer.data(), &sample, 0);
    EXPECT_EQ(with_sample.Complete(), kOk);
    EXPECT_TRUE(sample.discontinuity());

    ReadRequest without_sample(&stream, 200, 16, false, buffer.data(), nullptr, 0);
    EXPECT_EQ(without_sample.Complete(), kOk);
    EXPECT_EQ(without_sample.length(), 16);
}

// ---- queued reads ----

TEST(AsyncIoQueue, CompletesQueuedRequestsInOrder)
{
    FakeAsyncStream stream(kTotal);
    AsyncIoQueue queue(&stream);
    std::vector<uint8_t> first(4096), second(2048);
    ASSERT_EQ(queue.Request(8192, 4096, true, first.data(), nullptr, 1), kOk);
    ASSERT_EQ(queue.Request(512, 2048, true, second.data(), nullptr, 2), kOk);

    Finished a = Next(queue);
    EXPECT_EQ(a.result, kOk);
    EXPECT_EQ(a.user_value, 1u);
    EXPECT_EQ(a.actual, 4096);
    Finished b = Next(queue);
    EXPECT_EQ(b.result, kOk);
    EXPECT_EQ(b.user_value, 2u);
    EXPECT_EQ(b.actual, 2048);
    EXPECT_TRUE(HoldsPattern(first.data(), 8192, 4096));
    EXPECT_TRUE(HoldsPattern(second.data(), 512, 2048));

    const auto reads = stream.reads();
    ASSERT_EQ(reads.size(), 2u);
    EXPECT_EQ(reads[0].position, 8192);
    EXPECT_EQ(reads[1].position, 512);
}

TEST(AsyncIoQueue, ManyRequestsComeBackInRequestOrder)
{
    FakeAsyncStream stream(kTotal);
    AsyncIoQueue queue(&stream);
    constexpr int kCount = 200;
    std::vector<std::vector<uint8_t>> buffers(kCount, std::vector<uint8_t>(32));
    for (int i = 0; i < kCount; ++i) {
        ASSERT_EQ(queue.Request((kCount - i) * 100, 32, false, buffers[i].data(), nullptr, i), kOk);
    }
    for (int i = 0; i < kCount; ++i) {
        Finished f = Next(queue);
        ASSERT_EQ(f.result, kOk);
        EXPECT_EQ(f.user_value, uintptr_t(i));
        EXPECT_TRUE(HoldsPattern(buffers[i].data(), (kCount - i) * 100, 32));
    }
}

TEST(AsyncIoQueue, WaitForNextTimesOutWithNothingQueued)
{
    FakeAsyncStream stream(kTotal);
    AsyncIoQueue queue(&stream);
    Finished f = Next(queue, 20);
    EXPECT_EQ(f.result, kTimeout);
    EXPECT_EQ(f.context, nullptr);
    EXPECT_EQ(Next(queue, kNoWait).result, kTimeout);
}

TEST(AsyncIoQueue, ReturnsTheContextOfEachRequest)
{
    FakeAsyncStream stream(kTotal);
    AsyncIoQueue queue(&stream);
    std::vector<uint8_t> buffer(8);
    MediaSample sample(buffer.data(), 8);
    ASSERT_EQ(queue.Request(0, 8, false, buffer.data(), &sample, 3), kOk);
    Finished f = Next(queue);
    EXPECT_EQ(f.result, kOk);
    EXPECT_EQ(f.context, &sample);
    EXPECT_EQ(f.user_value, 3u);
}

TEST(AsyncIoQueue, ShortReadFailsUnlessItEndsAtTheTotal)
{
    FakeAsyncStream stream(2000);
    stream.SetDataEnd(1000);
    AsyncIoQueue queue(&stream);
    std::vector<uint8_t> buffer(200);
    ASSERT_EQ(queue.Request(900, 200, false, buffer.data(), nullptr, 0), kOk);
    Finished short_of_total = Next(queue);
    EXPECT_EQ(short_of_total.result, kFail);
    EXPECT_EQ(short_of_total.actual, 100);

    FakeAsyncStream ending(1000);
    AsyncIoQueue at_end(&ending);
    ASSERT_EQ(at_end.Request(900, 200, false, buffer.data(), nullptr, 0), kOk);
    Finished last = Next(at_end);
    EXPECT_EQ(last.result, kOk);
    EXPECT_EQ(last.actual, 100);
    EXPECT_TRUE(HoldsPattern(buffer.data(), 900, 100));
}

TEST(AsyncIoQueue, RefusedPositionFailsWithNothingRead)
{
    FakeAsyncStream stream(1000);
    AsyncIoQueue queue(&stream);
    std::vector<uint8_t> buffer(10);
    ASSERT_EQ(queue.Request(1001, 10, false, buffer.data(), nullptr, 0), kOk);
    Finished f = Next(queue);
    EXPECT_EQ(f.result, kFail);
    EXPECT_EQ(f.actual, 0);
    EXPECT_TRUE(stream.reads().empty());
}

TEST(AsyncIoQueue, RefusesNegativeLengthsAndMissingBuffers)
{
    FakeAsyncStream stream(kTotal);
    AsyncIoQueue queue(&stream);
    uint8_t byte = 0;
    EXPECT_EQ(queue.Request(0, -1, false, &byte, nullptr, 0), kInvalidArgument);
    EXPECT_EQ(queue.Request(0, 16, false, nullptr, nullptr, 0), kPointer);
    EXPECT_EQ(queue.SyncRead(0, -5, &byte), kInvalidArgument);
    int32_t actual = 0;
    EXPECT_EQ(queue.SyncReadAligned(0, -4, &byte, &actual, nullptr), kInvalidArgument);
}

TEST(AsyncIoQueue, ReportsTotalAndAvailable)
{
    FakeAsyncStream stream(4294967295);
    AsyncIoQueue queue(&stream);
    int64_t total = 0;
    int64_t available = 0;
    EXPECT_EQ(queue.Length(&total, &available), kOk);
    EXPECT_EQ(total, 4294967295);
    EXPECT_EQ(available, FakeAsyncStream::kAvailable);
    EXPECT_EQ(queue.Length(&total, nullptr), kOk);
    EXPECT_EQ(queue.Alignment(), 1u);
}

// ---- alignment and synchronous reads ----

TEST(AsyncIoQueueAlignment, AlignedRequestsMustBeAligned)
{
    FakeAsyncStream stream(kTotal, 4);
    AsyncIoQueue queue(&stream);
    alignas(16) uint8_t buffer[64];
    EXPECT_EQ(queue.Request(2, 16, true, buffer, nullptr, 0), kBadAlignment);
    EXPECT_EQ(queue.Request(4, 18, true, buffer, nullptr, 0), kBadAlignment);
    EXPECT_EQ(queue.Request(4, 16, true, buffer + 1, nullptr, 0), kBadAlignment);
    int32_t actual = 0;
    EXPECT_EQ(queue.SyncReadAligned(6, 16, buffer, &actual, nullptr), kBadAlignment);
    EXPECT_TRUE(stream.reads().empty());

    // Without the promise the same values are read.
    ASSERT_EQ(queue.Request(2, 18, false, buffer + 1, nullptr, 9), kOk);
    Finished f = Next(queue);
    EXPECT_EQ(f.result, kOk);
    EXPECT_EQ(f.actual, 18);
    EXPECT_TRUE(HoldsPattern(buffer + 1, 2, 18));
}

TEST(AsyncIoQueueAlignment, SyncReadTakesTheAlignedPathWhenItCan)
{
    FakeAsyncStream stream(kTotal, 4);
    AsyncIoQueue queue(&stream);
    alignas(16) uint8_t buffer[64];
    EXPECT_EQ(queue.SyncRead(8, 32, buffer), kOk);
    EXPECT_TRUE(HoldsPattern(buffer, 8, 32));
    EXPECT_EQ(queue.SyncRead(9, 30, buffer + 3), kOk);
    EXPECT_TRUE(HoldsPattern(buffer + 3, 9, 30));

    const auto reads = stream.reads();
    ASSERT_EQ(reads.size(), 2u);
    EXPECT_TRUE(reads[0].aligned);
    EXPECT_FALSE(reads[1].aligned);
}

TEST(AsyncIoQueueSync, ReadsInTheCallingThread)
{
    FakeAsyncStream stream(1000);
    stream.SetRunStart(100);
    AsyncIoQueue queue(&stream);
    std::vector<uint8_t> buffer(64);
    MediaSample sample(buffer.data(), 64);
    int32_t actual = 0;
    EXPECT_EQ(queue.SyncReadAligned(100, 64, buffer.data(), &actual, &sample), kOk);
    EXPECT_EQ(actual, 64);
    EXPECT_TRUE(sample.discontinuity());
    EXPECT_TRUE(HoldsPattern(buffer.data(), 100, 64));

    EXPECT_EQ(queue.SyncReadAligned(960, 64, buffer.data(), &actual, nullptr), kFalse);
    EXPECT_EQ(actual, 40);
    EXPECT_EQ(queue.SyncRead(980, 64, buffer.data()), kFalse);
    EXPECT_EQ(queue.SyncRead(1001, 8, buffer.data()), kFalse);
    // Nothing was queued: no worker, nothing to wait for.
    EXPECT_EQ(Next(queue, kNoWait).result, kTimeout);
}

// ---- flushing ----

// Holds the worker inside the read of request 0, with requests 1 and 2 queued behind it.
class AsyncIoQueueFlush : public ::testing::Test {
protected:
    void QueueThreeWithTheFirstInFlight()
    {
        stream_.HoldReads();
        for (int i = 0; i < 3; ++i) {
            ASSERT_EQ(queue_.Request(i * 1024, 1024, true, buffers_[i].data(), nullptr, i), kOk);
        }
        stream_.WaitForReadsStarted(1);
    }

    FakeAsyncStream stream_{kTotal};
    std::vector<std::vector<uint8_t>> buffers_{3, std::vector<uint8_t>(1024)};
    AsyncIoQueue queue_{&stream_};
};

TEST_F(AsyncIoQueueFlush, QueuedRequestsComeBackUnreadThenWrongState)
{
    QueueThreeWithTheFirstInFlight();
    std::thread flusher([this] { queue_.BeginFlush(); });

    Finished first = Next(queue_);
    EXPECT_EQ(first.result, kTimeout);
    EXPECT_EQ(first.user_value, 1u);
    Finished second = Next(queue_);
    EXPECT_EQ(second.result, kTimeout);
    EXPECT_EQ(second.user_value, 2u);

    stream_.ReleaseReads();
    flusher.join();
    Finished in_flight = Next(queue_);
    EXPECT_EQ(in_flight.result, kOk);
    EXPECT_EQ(in_flight.user_value, 0u);
    EXPECT_EQ(in_flight.actual, 1024);
    EXPECT_TRUE(HoldsPattern(buffers_[0].data(), 0, 1024));

    EXPECT_EQ(Next(queue_, AsyncIoQueue::kInfinite).result, kWrongState);
    EXPECT_EQ(Next(queue_, AsyncIoQueue::kInfinite).result, kWrongState);
    EXPECT_EQ(stream_.reads().size(), 1u);
}

TEST_F(AsyncIoQueueFlush, RequestsAreRefusedUntilEndFlush)
{
    QueueThreeWithTheFirstInFlight();
    stream_.ReleaseReads();
    ASSERT_EQ(queue_.BeginFlush(), kOk);
    EXPECT_EQ(queue_.Request(0, 1024, true, buffers_[0].data(), nullptr, 5), kWrongState);
    for (int i = 0; i < 3; ++i) Next(queue_);
    EXPECT_EQ(Next(queue_).result, kWrongState);

    ASSERT_EQ(queue_.EndFlush(), kOk);
    EXPECT_EQ(Next(queue_, 20).result, kTimeout);
    ASSERT_EQ(queue_.Request(4096, 1024, true, buffers_[0].data(), nullptr, 6), kOk);
    Finished f = Next(queue_);
    EXPECT_EQ(f.result, kOk);
    EXPECT_EQ(f.user_value, 6u);
    EXPECT_TRUE(HoldsPattern(buffers_[0].data(), 4096, 1024));
}

TEST_F(AsyncIoQueueFlush, BeginFlushWaitsForTheRequestBeingRead)
{
    QueueThreeWithTheFirstInFlight();
    std::atomic<bool> flushed{false};
    std::thread flusher([&] {
        queue_.BeginFlush();
        flushed = true;
    });
    // Plenty of time for a flush that did not wait to be seen returning.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(flushed);
    stream_.ReleaseReads();
    flusher.join();
    EXPECT_TRUE(flushed);
    EXPECT_EQ(stream_.reads().size(), 1u);
}

TEST_F(AsyncIoQueueFlush, ReleasesAWaiterWithNothingPending)
{
    std::atomic<Result> waited{kOk};
    std::thread waiter([&] { waited = Next(queue_, AsyncIoQueue::kInfinite).result; });
    queue_.BeginFlush();
    waiter.join();
    EXPECT_EQ(waited, kWrongState);
    queue_.EndFlush();
    EXPECT_EQ(Next(queue_, 20).result, kTimeout);
}

TEST_F(AsyncIoQueueFlush, CompletedButUncollectedRequestsStayCollectable)
{
    std::vector<uint8_t> buffer(64);
    ASSERT_EQ(queue_.Request(64, 64, false, buffer.data(), nullptr, 1), kOk);
    stream_.WaitForReadsStarted(1);
    queue_.BeginFlush();
    Finished f = Next(queue_);
    EXPECT_EQ(f.result, kOk);
    EXPECT_EQ(f.actual, 64);
    EXPECT_EQ(Next(queue_).result, kWrongState);
}

// ---- destruction ----

TEST(AsyncIoQueueLifetime, DestroyingWithPendingRequestsFreesThem)
{
    FakeAsyncStream stream(kTotal);
    std::vector<std::vector<uint8_t>> buffers(8, std::vector<uint8_t>(256));
    std::thread releaser;
    {
        AsyncIoQueue queue(&stream);
        stream.HoldReads();
        for (int i = 0; i < 8; ++i) {
            ASSERT_EQ(queue.Request(i * 256, 256, false, buffers[i].data(), nullptr, i), kOk);
        }
        stream.WaitForReadsStarted(1);
        // Lets the destructor start its flush before the read may finish.
        releaser = std::thread([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            stream.ReleaseReads();
        });
    }
    releaser.join();
    EXPECT_EQ(stream.reads().size(), 1u);
}

TEST(AsyncIoQueueLifetime, DestroyingWithUncollectedResultsFreesThem)
{
    FakeAsyncStream stream(kTotal);
    std::vector<uint8_t> buffer(128);
    {
        AsyncIoQueue queue(&stream);
        for (int i = 0; i < 4; ++i) {
            ASSERT_EQ(queue.Request(i * 32, 32, false, buffer.data() + i * 32, nullptr, i), kOk);
        }
        stream.WaitForReadsStarted(4);
    }
    EXPECT_TRUE(HoldsPattern(buffer.data(), 0, 128));
}

TEST(AsyncIoQueueLifetime, DestroyingAnIdleQueueIsQuiet)
{
    FakeAsyncStream stream(kTotal);
    AsyncIoQueue queue(&stream);
}

// ---- concurrency ----

// Several requesting threads, one waiter and a flusher at once: every
// accepted request comes back exactly once, completed ones with the right
// bytes and, per requester, in request order. Each requester keeps a few
// requests outstanding, like a reader with a small pool of samples, so
// requests, completions and flushes keep overlapping until the end.
TEST(AsyncIoQueueStress, RequestersWaiterAndFlushesAgree)
{
    constexpr int kRequesters = 3;
    constexpr int kRequestsEach = 1500;
    constexpr int kMaxOutstanding = 8;
    constexpr int32_t kLength = 64;
    constexpr auto kBetweenFlushes = std::chrono::microseconds(200);

    struct PendingRead {
        int requester;
        int index;
        int64_t position;
        std::vector<uint8_t> buffer = std::vector<uint8_t>(kLength);
    };

    FakeAsyncStream stream(kTotal);
    AsyncIoQueue queue(&stream);
    std::latch start(kRequesters + 2);
    std::array<std::atomic<int>, kRequesters> outstanding{};
    std::atomic<int> accepted{0};
    std::atomic<int> returned{0};
    std::atomic<bool> requesters_finished{false};
    std::atomic<int> bad_results{0};
    std::atomic<int> bad_data{0};
    std::atomic<int> out_of_order{0};

    std::thread waiter([&] {
        std::vector<int> last_completed(kRequesters, -1);
        start.arrive_and_wait();
        while (!(requesters_finished && returned == accepted)) {
            Finished f = Next(queue, 10);
            if (f.user_value == 0) {
                if (f.result != kTimeout && f.result != kWrongState) ++bad_results;
                if (f.result == kWrongState) std::this_thread::yield();
                continue;
            }
            auto* read = reinterpret_cast<PendingRead*>(f.user_value);
            if (f.result == kOk) {
                if (f.actual != kLength || !HoldsPattern(read->buffer.data(), read->position, kLength))
                    ++bad_data;
                if (read->index <= last_completed[read->requester]) ++out_of_order;
                last_completed[read->requester] = read->index;
            } else if (f.result != kTimeout) {
                ++bad_results;
            }
            --outstanding[read->requester];
            delete read;
            ++returned;
        }
    });

    std::vector<std::thread> requesters;
    for (int r = 0; r < kRequesters; ++r) {
        requesters.emplace_back([&, r] {
            start.arrive_and_wait();
            for (int i = 0; i < kRequestsEach; ++i) {
                while (outstanding[r] >= kMaxOutstanding) std::this_thread::yield();
                const int64_t position = (int64_t(r) * kRequestsEach + i) * kLength % kTotal;
                auto* read = new PendingRead{r, i, position};
                ++outstanding[r];
                // Refused while a flush is on: ask again once it may be over.
                Result result;
                while ((result = queue.Request(position, kLength, false, read->buffer.data(), nullptr,
                                               reinterpret_cast<uintptr_t>(read))) == kWrongState) {
                    std::this_thread::yield();
                }
                if (result == kOk) {
                    ++accepted;
                } else {
                    ++bad_results;
                    --outstanding[r];
                    delete read;
                }
            }
        });
    }
    std::thread flusher([&] {
        start.arrive_and_wait();
        while (!requesters_finished) {
            queue.BeginFlush();
            std::this_thread::yield();
            queue.EndFlush();
            std::this_thread::sleep_for(kBetweenFlushes);
        }
    });

    for (auto& t : requesters) t.join();
    requesters_finished = true;
    flusher.join();
    waiter.join();

    EXPECT_EQ(returned, accepted);
    EXPECT_EQ(bad_results, 0);
    EXPECT_EQ(bad_data, 0);
    EXPECT_EQ(out_of_order, 0);
    EXPECT_EQ(stream.unlocked_accesses(), 0);
}

}  // namespace
}  // namespace kinoverd
