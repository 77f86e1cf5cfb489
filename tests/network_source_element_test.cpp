// The network source element in a real pipeline: push scheduling only, the
// head read before the gate and nothing after it until it opens, reads of
// nothing but zeros held back, and a prompt stop while it waits.
#include "playback/network_source_element.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>

#include "broadcast/media_type.h"
#include "broadcast/network_source_filter.h"
#include "tests/support/fake_async_stream.h"

namespace kinoverd {
namespace {

constexpr uint32_t kBlock = 2048;
constexpr uint64_t kHead = 8 * kBlock;

// The fake stream's pattern, with the first `zero_reads` reads all zeros.
class ZerosFirstStream : public testing::FakeAsyncStream {
public:
    explicit ZerosFirstStream(int zero_reads) : FakeAsyncStream(0xFFFFFFFF), zero_reads_(zero_reads) {}
    Result Read(uint8_t* buffer, uint32_t count, bool aligned, uint32_t* bytes_read) override
    {
        const Result result = FakeAsyncStream::Read(buffer, count, aligned, bytes_read);
        if (reads_done_++ < zero_reads_) std::fill_n(buffer, *bytes_read, 0);
        return result;
    }
    int reads_done() const { return reads_done_; }

private:
    const int zero_reads_;
    std::atomic<int> reads_done_{0};
};

class NetworkSourceElementTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { gst_init(nullptr, nullptr); }

    void Build(int zero_reads = 0)
    {
        stream_ = std::make_unique<ZerosFirstStream>(zero_reads);
        filter_ = std::make_unique<NetworkSourceFilter>(stream_.get(), kMpeg1SystemStreamType);
        pipeline_ = gst_pipeline_new(nullptr);
        source_ = CreateNetworkSourceElement(filter_.get(), kBlock, kHead);
        sink_ = gst_element_factory_make("appsink", nullptr);
        g_object_set(sink_, "sync", FALSE, nullptr);
        gst_bin_add_many(GST_BIN(pipeline_), source_, sink_, nullptr);
        ASSERT_TRUE(gst_element_link(source_, sink_));
    }
    void TearDown() override
    {
        if (pipeline_) {
            gst_element_set_state(pipeline_, GST_STATE_NULL);
            gst_object_unref(pipeline_);
        }
    }

    // The next buffer's offset and size, or empty after `timeout_ms`.
    std::optional<std::pair<uint64_t, size_t>> Pull(int timeout_ms = 2000)
    {
        GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink_), timeout_ms * GST_MSECOND);
        if (!sample) return std::nullopt;
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        GstMapInfo map;
        gst_buffer_map(buffer, &map, GST_MAP_READ);
        EXPECT_TRUE(testing::HoldsPattern(map.data, int64_t(GST_BUFFER_OFFSET(buffer)), int32_t(map.size)));
        const auto result = std::make_pair(uint64_t(GST_BUFFER_OFFSET(buffer)), map.size);
        gst_buffer_unmap(buffer, &map);
        gst_sample_unref(sample);
        return result;
    }

    std::unique_ptr<ZerosFirstStream> stream_;
    std::unique_ptr<NetworkSourceFilter> filter_;
    GstElement* pipeline_ = nullptr;
    GstElement* source_ = nullptr;
    GstElement* sink_ = nullptr;
};

TEST_F(NetworkSourceElementTest, OffersPushSchedulingOnly)
{
    Build();
    ASSERT_EQ(gst_element_set_state(pipeline_, GST_STATE_READY), GST_STATE_CHANGE_SUCCESS);
    GstPad* pad = gst_element_get_static_pad(source_, "src");
    GstQuery* query = gst_query_new_scheduling();
    ASSERT_TRUE(gst_pad_query(pad, query));
    EXPECT_TRUE(gst_query_has_scheduling_mode(query, GST_PAD_MODE_PUSH));
    EXPECT_FALSE(gst_query_has_scheduling_mode(query, GST_PAD_MODE_PULL));
    gst_query_unref(query);
    GstCaps* caps = gst_pad_query_caps(pad, nullptr);
    EXPECT_TRUE(gst_caps_is_subset(caps, gst_caps_from_string("video/mpeg, systemstream=(boolean)true")));
    gst_caps_unref(caps);
    gst_object_unref(pad);
}

TEST_F(NetworkSourceElementTest, ReadsTheHeadThenWaitsAtTheGateUntilItOpens)
{
    Build();
    gst_element_set_state(pipeline_, GST_STATE_PLAYING);
    for (uint64_t offset = 0; offset < kHead; offset += kBlock) {
        const auto buffer = Pull();
        ASSERT_TRUE(buffer);
        EXPECT_EQ(buffer->first, offset);
        EXPECT_EQ(buffer->second, kBlock);
    }
    EXPECT_FALSE(Pull(300));
    EXPECT_TRUE(NetworkSourceReachedGate(source_));

    OpenNetworkSourceGate(source_);
    const auto next = Pull();
    ASSERT_TRUE(next);
    EXPECT_EQ(next->first, kHead);
    EXPECT_FALSE(NetworkSourceReachedGate(source_));
}

TEST_F(NetworkSourceElementTest, ReadsOfOnlyZerosAreNotPushed)
{
    Build(5);
    OpenNetworkSourceGate(source_);
    gst_element_set_state(pipeline_, GST_STATE_PLAYING);
    // The five zero reads were tried at position 0 and held back.
    const auto first = Pull();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->first, 0u);
    EXPECT_GE(stream_->reads_done(), 6);
}

TEST_F(NetworkSourceElementTest, StopsPromptlyWhileWaitingAtTheGate)
{
    Build();
    gst_element_set_state(pipeline_, GST_STATE_PLAYING);
    for (uint64_t offset = 0; offset < kHead; offset += kBlock) ASSERT_TRUE(Pull());
    ASSERT_FALSE(Pull(200));
    const auto before = std::chrono::steady_clock::now();
    EXPECT_NE(gst_element_set_state(pipeline_, GST_STATE_NULL), GST_STATE_CHANGE_FAILURE);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(1));
}

TEST_F(NetworkSourceElementTest, AByteSeekMovesTheReadPosition)
{
    Build();
    OpenNetworkSourceGate(source_);
    gst_element_set_state(pipeline_, GST_STATE_PLAYING);
    ASSERT_TRUE(Pull());
    ASSERT_TRUE(gst_element_seek_simple(source_, GST_FORMAT_BYTES, GST_SEEK_FLAG_FLUSH, 1'000'000));
    // Buffers already on their way may come first.
    for (int i = 0; i < 10; ++i) {
        const auto buffer = Pull();
        ASSERT_TRUE(buffer);
        if (buffer->first == 1'000'000) return;
    }
    ADD_FAILURE() << "no read from the seek position";
}

}  // namespace
}  // namespace kinoverd
