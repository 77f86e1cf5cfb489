#include "broadcast/async_output_pin.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "broadcast/media_sample.h"
#include "broadcast/network_source_filter.h"
#include "tests/support/fake_async_stream.h"

namespace kinoverd {
namespace {

using testing::FakeAsyncStream;
using testing::HoldsPattern;

constexpr int64_t kUnits = MediaSample::kTimeUnitsPerByte;
constexpr int64_t kNetworkTotal = 4294967295;
constexpr uint32_t kGenerousMs = 5000;

// A sample with its own buffer.
struct OwnedSample {
    explicit OwnedSample(int32_t capacity) : bytes(capacity), sample(bytes.data(), capacity) {}
    std::vector<uint8_t> bytes;
    MediaSample sample;
};

class AsyncOutputPinTest : public ::testing::Test {
protected:
    explicit AsyncOutputPinTest(int64_t total = kNetworkTotal, uint32_t alignment = 1)
        : stream_(total, alignment), filter_(&stream_, kMpeg1SystemStreamType), pin_(*filter_.GetPin(0))
    {
    }

    Result WaitForSample(MediaSample** sample, uintptr_t* user_value = nullptr)
    {
        uintptr_t unused = 0;
        return pin_.WaitForNext(kGenerousMs, sample, user_value ? user_value : &unused);
    }

    FakeAsyncStream stream_;
    NetworkSourceFilter filter_;
    AsyncOutputPin& pin_;
};

// ---- reads through samples ----

TEST_F(AsyncOutputPinTest, RequestPastTheEndIsCutAtTheTotal)
{
    OwnedSample owned(1000);
    MediaSample& sample = owned.sample;
    sample.SetByteRange(4294967000, 1000);
    ASSERT_EQ(pin_.Request(&sample, 42), kOk);
    EXPECT_EQ(sample.start_time(), 4294967000 * kUnits);
    EXPECT_EQ(sample.stop_time(), 4294967295 * kUnits);

    MediaSample* done = nullptr;
    uintptr_t user_value = 0;
    EXPECT_EQ(WaitForSample(&done, &user_value), kOk);
    EXPECT_EQ(done, &sample);
    EXPECT_EQ(user_value, 42u);
    EXPECT_EQ(sample.actual_data_length(), 295);
    EXPECT_TRUE(HoldsPattern(owned.bytes.data(), 4294967000, 295));
    ASSERT_EQ(stream_.reads().size(), 1u);
    EXPECT_EQ(stream_.reads()[0].count, 295u);
    EXPECT_TRUE(stream_.reads()[0].aligned);
}

TEST_F(AsyncOutputPinTest, RequestsWithinTheStreamKeepTheirRange)
{
    OwnedSample a(4096), b(4096);
    a.sample.SetByteRange(65536, 4096);
    b.sample.SetByteRange(69632, 2048);
    ASSERT_EQ(pin_.Request(&a.sample, 1), kOk);
    ASSERT_EQ(pin_.Request(&b.sample, 2), kOk);
    EXPECT_EQ(a.sample.stop_time(), (65536 + 4096) * kUnits);

    MediaSample* first = nullptr;
    MediaSample* second = nullptr;
    EXPECT_EQ(WaitForSample(&first), kOk);
    EXPECT_EQ(WaitForSample(&second), kOk);
    EXPECT_EQ(first, &a.sample);
    EXPECT_EQ(second, &b.sample);
    EXPECT_EQ(a.sample.actual_data_length(), 4096);
    EXPECT_EQ(b.sample.actual_data_length(), 2048);
    EXPECT_TRUE(HoldsPattern(a.bytes.data(), 65536, 4096));
    EXPECT_TRUE(HoldsPattern(b.bytes.data(), 69632, 2048));
}

TEST_F(AsyncOutputPinTest, RefusesRangesThatDoNotFitTheBuffer)
{
    OwnedSample owned(100);
    MediaSample& sample = owned.sample;
    sample.SetByteRange(0, 101);
    EXPECT_EQ(pin_.Request(&sample, 0), kInvalidArgument);
    sample.SetTime(50 * kUnits, 10 * kUnits);
    EXPECT_EQ(pin_.Request(&sample, 0), kInvalidArgument);
    sample.SetTime(-kUnits, 10 * kUnits);
    EXPECT_EQ(pin_.Request(&sample, 0), kInvalidArgument);
    // Starting past the end: refused, and the sample is left as it was.
    sample.SetByteRange(kNetworkTotal + 10, 50);
    EXPECT_EQ(pin_.Request(&sample, 0), kInvalidArgument);
    EXPECT_EQ(sample.stop_time(), (kNetworkTotal + 60) * kUnits);
    EXPECT_EQ(pin_.SyncReadAligned(&sample), kInvalidArgument);
    EXPECT_EQ(pin_.Request(nullptr, 0), kPointer);
    EXPECT_TRUE(stream_.reads().empty());
}

TEST_F(AsyncOutputPinTest, StartOfRunMarksTheSampleDiscontinuous)
{
    stream_.SetRunStart(8192);
    OwnedSample owned(512);
    owned.sample.SetByteRange(8192, 512);
    ASSERT_EQ(pin_.Request(&owned.sample, 0), kOk);
    MediaSample* done = nullptr;
    EXPECT_EQ(WaitForSample(&done), kOk);
    EXPECT_TRUE(owned.sample.discontinuity());
    EXPECT_EQ(owned.sample.actual_data_length(), 512);
}

TEST_F(AsyncOutputPinTest, WaitForNextTimesOutWithoutASample)
{
    MediaSample* done = reinterpret_cast<MediaSample*>(1);
    uintptr_t user_value = 1;
    EXPECT_EQ(pin_.WaitForNext(10, &done, &user_value), kTimeout);
    EXPECT_EQ(done, nullptr);
}

TEST_F(AsyncOutputPinTest, FlushHandsSamplesBackUnread)
{
    stream_.HoldReads();
    OwnedSample in_flight(256), queued(256);
    in_flight.sample.SetByteRange(0, 256);
    queued.sample.SetByteRange(256, 256);
    queued.sample.SetActualDataLength(-7);
    ASSERT_EQ(pin_.Request(&in_flight.sample, 1), kOk);
    ASSERT_EQ(pin_.Request(&queued.sample, 2), kOk);
    stream_.WaitForReadsStarted(1);

    std::thread flusher([this] { pin_.BeginFlush(); });
    MediaSample* done = nullptr;
    uintptr_t user_value = 0;
    EXPECT_EQ(WaitForSample(&done, &user_value), kTimeout);
    EXPECT_EQ(done, &queued.sample);
    EXPECT_EQ(user_value, 2u);
    EXPECT_EQ(queued.sample.actual_data_length(), -7);  // untouched on failure
    stream_.ReleaseReads();
    flusher.join();

    EXPECT_EQ(WaitForSample(&done, &user_value), kOk);
    EXPECT_EQ(done, &in_flight.sample);
    EXPECT_EQ(WaitForSample(&done), kWrongState);
    EXPECT_EQ(done, nullptr);
    EXPECT_EQ(pin_.Request(&queued.sample, 3), kWrongState);

    pin_.EndFlush();
    ASSERT_EQ(pin_.Request(&queued.sample, 4), kOk);
    EXPECT_EQ(WaitForSample(&done, &user_value), kOk);
    EXPECT_EQ(user_value, 4u);
    EXPECT_EQ(queued.sample.actual_data_length(), 256);
    EXPECT_TRUE(HoldsPattern(queued.bytes.data(), 256, 256));
}

TEST_F(AsyncOutputPinTest, SyncReadAlignedFillsTheSample)
{
    OwnedSample owned(2048);
    owned.sample.SetByteRange(4294966295, 2048);
    EXPECT_EQ(pin_.SyncReadAligned(&owned.sample), kOk);
    EXPECT_EQ(owned.sample.stop_time(), kNetworkTotal * kUnits);
    EXPECT_EQ(owned.sample.actual_data_length(), 1000);
    EXPECT_TRUE(HoldsPattern(owned.bytes.data(), 4294966295, 1000));
}

TEST_F(AsyncOutputPinTest, SyncReadReadsTheRange)
{
    std::vector<uint8_t> buffer(300);
    EXPECT_EQ(pin_.SyncRead(123457, 300, buffer.data()), kOk);
    EXPECT_TRUE(HoldsPattern(buffer.data(), 123457, 300));
    EXPECT_EQ(pin_.SyncRead(kNetworkTotal + 1, 300, buffer.data()), kFalse);
}

TEST_F(AsyncOutputPinTest, LengthReportsTotalAndAvailable)
{
    int64_t total = 0;
    int64_t available = 0;
    EXPECT_EQ(pin_.Length(&total, &available), kOk);
    EXPECT_EQ(total, kNetworkTotal);
    EXPECT_EQ(available, FakeAsyncStream::kAvailable);
}

class AlignedPinTest : public AsyncOutputPinTest {
protected:
    // Total 1001 rounds up to 1004 with alignment 4.
    AlignedPinTest() : AsyncOutputPinTest(1001, 4) {}
};

TEST_F(AlignedPinTest, TheEndIsCutAtTheAlignedTotal)
{
    OwnedSample within(8), beyond(8);
    within.sample.SetByteRange(1000, 4);
    beyond.sample.SetByteRange(1000, 8);
    ASSERT_EQ(pin_.Request(&within.sample, 0), kOk);
    ASSERT_EQ(pin_.Request(&beyond.sample, 0), kOk);
    EXPECT_EQ(within.sample.stop_time(), 1004 * kUnits);
    EXPECT_EQ(beyond.sample.stop_time(), 1004 * kUnits);

    // Both read 1 byte, which ends the stream: a whole read.
    MediaSample* done = nullptr;
    EXPECT_EQ(WaitForSample(&done), kOk);
    EXPECT_EQ(within.sample.actual_data_length(), 1);
    EXPECT_EQ(WaitForSample(&done), kOk);
    EXPECT_EQ(beyond.sample.actual_data_length(), 1);
    EXPECT_TRUE(HoldsPattern(beyond.bytes.data(), 1000, 1));
}

TEST_F(AlignedPinTest, UnalignedSamplesAreRefused)
{
    alignas(16) uint8_t bytes[32];
    MediaSample sample(bytes, 32);
    sample.SetByteRange(2, 8);
    EXPECT_EQ(pin_.Request(&sample, 0), kBadAlignment);
    EXPECT_EQ(pin_.SyncReadAligned(&sample), kBadAlignment);
    MediaSample offset_buffer(bytes + 2, 16);
    offset_buffer.SetByteRange(4, 8);
    EXPECT_EQ(pin_.Request(&offset_buffer, 0), kBadAlignment);

    // SyncRead copes with any values.
    EXPECT_EQ(pin_.SyncRead(3, 9, bytes + 1), kOk);
    EXPECT_TRUE(HoldsPattern(bytes + 1, 3, 9));
}

// ---- media type and connection ----

TEST_F(AsyncOutputPinTest, OffersExactlyTheFiltersType)
{
    MediaType type{};
    EXPECT_EQ(pin_.GetMediaType(-1, &type), kInvalidArgument);
    EXPECT_EQ(pin_.GetMediaType(1, &type), kNoMoreItems);
    EXPECT_EQ(pin_.GetMediaType(0, &type), kOk);
    EXPECT_EQ(type, kMpeg1SystemStreamType);
    EXPECT_EQ(type.major, kMediaTypeStream);
    EXPECT_EQ(type.subtype, kMediaSubtypeMpeg1System);
    EXPECT_STREQ(pin_.name(), "Output");
}

TEST_F(AsyncOutputPinTest, AcceptsOnlyTheOfferedType)
{
    EXPECT_EQ(pin_.CheckMediaType(kMpeg1SystemStreamType), kOk);
    EXPECT_EQ(pin_.CheckMediaType({kMediaTypeStream, kGuidNull}), kFalse);
    EXPECT_EQ(pin_.CheckMediaType({kMediaSubtypeMpeg1System, kMediaSubtypeMpeg1System}), kFalse);
}

TEST(NetworkSourceFilter, NullSubtypeAcceptsAnySubtypeOfTheMajorType)
{
    FakeAsyncStream stream(1000);
    NetworkSourceFilter filter(&stream, {kMediaTypeStream, kGuidNull});
    AsyncOutputPin& pin = *filter.GetPin(0);
    EXPECT_EQ(pin.CheckMediaType(kMpeg1SystemStreamType), kOk);
    EXPECT_EQ(pin.CheckMediaType({kMediaTypeStream, kGuidNull}), kOk);
    EXPECT_EQ(pin.CheckMediaType({kGuidNull, kMediaSubtypeMpeg1System}), kFalse);
}

TEST_F(AsyncOutputPinTest, PeerMustAskForTheReaderToConnect)
{
    EXPECT_EQ(pin_.CheckConnect(), kOk);
    EXPECT_EQ(pin_.CompleteConnect(), kNoTransport);
    EXPECT_FALSE(pin_.connected());

    // A query from an earlier attempt does not count.
    pin_.QueryReader();
    EXPECT_EQ(pin_.CheckConnect(), kOk);
    EXPECT_EQ(pin_.CompleteConnect(), kNoTransport);

    EXPECT_EQ(pin_.CheckConnect(), kOk);
    pin_.QueryReader();
    EXPECT_EQ(pin_.CompleteConnect(), kOk);
    EXPECT_TRUE(pin_.connected());

    pin_.BreakConnect();
    EXPECT_FALSE(pin_.connected());
    EXPECT_EQ(pin_.CompleteConnect(), kNoTransport);
}

TEST(NetworkSourceFilter, HasExactlyOnePin)
{
    FakeAsyncStream stream(1000);
    NetworkSourceFilter filter(&stream, kMpeg1SystemStreamType);
    EXPECT_EQ(filter.PinCount(), 1);
    EXPECT_NE(filter.GetPin(0), nullptr);
    EXPECT_EQ(filter.GetPin(0), filter.GetPin(0));
    EXPECT_EQ(filter.GetPin(1), nullptr);
    EXPECT_EQ(filter.GetPin(-1), nullptr);
    EXPECT_EQ(filter.media_type(), kMpeg1SystemStreamType);
}

TEST(NetworkSourceFilter, DestroyingWithQueuedSamplesIsClean)
{
    FakeAsyncStream stream(kNetworkTotal);
    std::vector<OwnedSample> samples;
    samples.reserve(16);
    for (int i = 0; i < 16; ++i) samples.emplace_back(2048);
    {
        NetworkSourceFilter filter(&stream, kMpeg1SystemStreamType);
        AsyncOutputPin& pin = *filter.GetPin(0);
        for (int i = 0; i < 16; ++i) {
            samples[i].sample.SetByteRange(int64_t(i) * 2048, 2048);
            ASSERT_EQ(pin.Request(&samples[i].sample, i), kOk);
        }
    }
    EXPECT_LE(stream.reads().size(), 16u);
}

}  // namespace
}  // namespace kinoverd
