// SPDX-License-Identifier: GPL-3.0-or-later
// The network source element in a real pipeline over a channel's
// reception: push scheduling only, the head read before the gate and nothing
// after it until it opens, every byte of a real clip (zero padding blocks
// included) passed on exactly, an underrun reported once and waited out
// without polling, and prompt stops.
#include "playback/network_source_element.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

#include "broadcast/channel_reception.h"
#include "tests/support/recorded_events.h"
#include "tests/support/test_packets.h"

namespace kinoverd {
namespace {

using test::Event;
using test::MakePacket;
using wire::Kind;
using Bytes = std::vector<uint8_t>;
constexpr uint32_t kBlock = wire::kBlockSize;
constexpr uint64_t kHead = 8 * kBlock;
constexpr int kChannel = 3;

Bytes ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// The data packet of block `index` of `stream`, zero-padded as a sender pads the last.
Bytes PacketOf(const Bytes& stream, uint32_t index)
{
    Bytes packet = MakePacket(Kind::kData, index, uint32_t(stream.size()));
    const size_t begin = size_t(index) * kBlock;
    const size_t end = std::min(stream.size(), begin + kBlock);
    std::fill(packet.begin() + wire::kHeadBytes, packet.end(), 0);
    std::copy(stream.begin() + long(begin), stream.begin() + long(end), packet.begin() + wire::kHeadBytes);
    return packet;
}

class NetworkSourceElementTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { gst_init(nullptr, nullptr); }

    void Build(uint64_t head = kHead)
    {
        ASSERT_TRUE(reception_.Start(kChannel, &events_));
        pipeline_ = gst_pipeline_new(nullptr);
        source_ = CreateNetworkSourceElement(&reception_, head);
        sink_ = gst_element_factory_make("appsink", nullptr);
        // Not async: a flushing seek would otherwise take the sink back to
        // preroll and leave its return to playing to the pipeline.
        g_object_set(sink_, "sync", FALSE, "async", FALSE, nullptr);
        gst_bin_add_many(GST_BIN(pipeline_), source_, sink_, nullptr);
        ASSERT_TRUE(gst_element_link(source_, sink_));
    }
    void TearDown() override
    {
        stopping_ = true;
        if (pipeline_) {
            gst_element_set_state(pipeline_, GST_STATE_NULL);
            gst_object_unref(pipeline_);
        }
        if (pusher_.joinable()) pusher_.join();
    }

    void Push(const Bytes& packet)
    {
        while (!reception_.ring().Push(packet.data()) && !stopping_)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    void Push(uint32_t index) { Push(MakePacket(Kind::kData, index, 100000000)); }
    // Pushes blocks `from` to the end of `stream`, then the end packet, on a
    // thread of its own, as fast as the ring takes them. The thread keeps a
    // copy: it may outlive the test's own, when the test fails early.
    void PushInBackground(const Bytes& stream, uint32_t from)
    {
        pusher_ = std::thread([this, stream, from] {
            for (uint32_t index = from; size_t(index) * kBlock < stream.size(); ++index)
                Push(PacketOf(stream, index));
            Push(MakePacket(Kind::kEnd));
        });
    }

    struct Pulled {
        uint64_t offset;
        Bytes bytes;
    };
    // The next buffer, or empty after `timeout_ms` or at the end of the stream.
    std::optional<Pulled> Pull(int timeout_ms = 2000)
    {
        GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink_), timeout_ms * GST_MSECOND);
        if (!sample) return std::nullopt;
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        GstMapInfo map;
        gst_buffer_map(buffer, &map, GST_MAP_READ);
        Pulled pulled{GST_BUFFER_OFFSET(buffer), Bytes(map.data, map.data + map.size)};
        gst_buffer_unmap(buffer, &map);
        gst_sample_unref(sample);
        return pulled;
    }
    // Every byte pushed until the end of the stream.
    Bytes PullToTheEnd()
    {
        Bytes all;
        while (const auto pulled = Pull(5000)) all.insert(all.end(), pulled->bytes.begin(), pulled->bytes.end());
        EXPECT_TRUE(gst_app_sink_is_eos(GST_APP_SINK(sink_)));
        return all;
    }

    test::RecordedEvents events_;
    ChannelReception reception_{kBlock};
    GstElement* pipeline_ = nullptr;
    GstElement* source_ = nullptr;
    GstElement* sink_ = nullptr;
    std::thread pusher_;
    std::atomic<bool> stopping_{false};
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
    GstCaps* system_stream = gst_caps_from_string("video/mpeg, systemstream=(boolean)true");
    EXPECT_TRUE(gst_caps_is_subset(caps, system_stream));
    gst_caps_unref(system_stream);
    gst_caps_unref(caps);
    gst_object_unref(pad);
}

TEST_F(NetworkSourceElementTest, ReadsTheHeadThenWaitsAtTheGateUntilItOpens)
{
    Build();
    for (uint32_t i = 0; i < 10; ++i) Push(i);
    gst_element_set_state(pipeline_, GST_STATE_PLAYING);
    for (uint64_t offset = 0; offset < kHead; offset += kBlock) {
        const auto buffer = Pull();
        ASSERT_TRUE(buffer);
        EXPECT_EQ(buffer->offset, offset);
        EXPECT_EQ(buffer->bytes.size(), kBlock);
    }
    EXPECT_FALSE(Pull(300));
    EXPECT_TRUE(NetworkSourceReachedGate(source_));
    EXPECT_EQ(reception_.ring().Count(), 2u);  // nothing past the head was taken

    OpenNetworkSourceGate(source_);
    const auto next = Pull();
    ASSERT_TRUE(next);
    EXPECT_EQ(next->offset, kHead);
    EXPECT_FALSE(NetworkSourceReachedGate(source_));
}

// A real clip whose muxer wrote whole blocks of zero padding: every byte
// reaches the pipeline, from the start and after a late join.
TEST_F(NetworkSourceElementTest, EveryByteOfAClipWithZeroBlocksIsPassedOnExactly)
{
    const Bytes clip = ReadFile(KINOVERD_TEST_MEDIA_DIR "/demo.mpg");
    const Bytes zero_block(kBlock, 0);
    int zero_blocks = 0;
    for (size_t at = 0; at + kBlock <= clip.size(); at += kBlock)
        zero_blocks += std::equal(zero_block.begin(), zero_block.end(), clip.begin() + long(at));
    ASSERT_GT(zero_blocks, 0) << "the clip should hold padding blocks";

    Build(wire::kHeaderBytes);
    OpenNetworkSourceGate(source_);
    PushInBackground(clip, 0);
    gst_element_set_state(pipeline_, GST_STATE_PLAYING);
    EXPECT_EQ(PullToTheEnd(), clip);
}

TEST_F(NetworkSourceElementTest, AJoinedBroadcastPassesOnTheHeadThenTheLiveDataExactly)
{
    const Bytes clip = ReadFile(KINOVERD_TEST_MEDIA_DIR "/demo.mpg");
    const uint32_t live = 300;
    Build(wire::kHeaderBytes);
    for (uint32_t i = 0; i < 32; ++i) Push(PacketOf(clip, i));
    gst_element_set_state(pipeline_, GST_STATE_PLAYING);
    Bytes received;
    while (received.size() < wire::kHeaderBytes) {
        const auto pulled = Pull();
        ASSERT_TRUE(pulled);
        received.insert(received.end(), pulled->bytes.begin(), pulled->bytes.end());
    }
    PushInBackground(clip, live);
    ASSERT_TRUE(gst_element_seek_simple(source_, GST_FORMAT_BYTES, GST_SEEK_FLAG_FLUSH, live * kBlock));
    OpenNetworkSourceGate(source_);
    const Bytes rest = PullToTheEnd();
    received.insert(received.end(), rest.begin(), rest.end());

    Bytes expected(clip.begin(), clip.begin() + wire::kHeaderBytes);
    expected.insert(expected.end(), clip.begin() + live * kBlock, clip.end());
    EXPECT_EQ(received, expected);
}

TEST_F(NetworkSourceElementTest, AnUnderrunIsReportedOnceAndWaitedOutUntilDataArrives)
{
    Build();
    OpenNetworkSourceGate(source_);
    gst_element_set_state(pipeline_, GST_STATE_PLAYING);
    EXPECT_FALSE(Pull(500));
    EXPECT_EQ(events_.Count(Event::kRingEmpty), 1u);
    Push(0);
    const auto first = Pull();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->offset, 0u);
    // The ring runs empty again after it, and that is reported once more.
    EXPECT_TRUE(events_.WaitFor(Event::kRingEmpty, std::chrono::seconds(1), 2));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(events_.Count(Event::kRingEmpty), 2u);
}

TEST_F(NetworkSourceElementTest, StopsPromptlyWhileWaitingAtTheGateOrForData)
{
    for (bool at_gate : {true, false}) {
        Build();
        if (at_gate) {
            for (uint32_t i = 0; i < 8; ++i) Push(i);
        } else {
            OpenNetworkSourceGate(source_);
        }
        gst_element_set_state(pipeline_, GST_STATE_PLAYING);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const auto before = std::chrono::steady_clock::now();
        EXPECT_GE(gst_element_set_state(pipeline_, GST_STATE_NULL), GST_STATE_CHANGE_SUCCESS);
        EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(500)) << at_gate;
        gst_object_unref(pipeline_);
        pipeline_ = nullptr;
    }
}

TEST_F(NetworkSourceElementTest, AByteSeekMovesTheReadPosition)
{
    Build();
    OpenNetworkSourceGate(source_);
    for (uint32_t i = 0; i < 20; ++i) Push(i);
    gst_element_set_state(pipeline_, GST_STATE_PLAYING);
    ASSERT_TRUE(Pull());
    ASSERT_TRUE(gst_element_seek_simple(source_, GST_FORMAT_BYTES, GST_SEEK_FLAG_FLUSH, 1'000'000));
    for (uint32_t i = 20; i < 40; ++i) Push(i);
    // Buffers already on their way may come first.
    for (int i = 0; i < 10; ++i) {
        const auto buffer = Pull();
        ASSERT_TRUE(buffer);
        if (buffer->offset == 1'000'000) return;
    }
    ADD_FAILURE() << "no block from the seek position";
}

}  // namespace
}  // namespace kinoverd
