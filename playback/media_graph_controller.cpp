#include "playback/media_graph_controller.h"

#include <algorithm>
#include <cstring>
#include <thread>

#include "broadcast/notify_target.h"
#include "broadcast/wire_format.h"

namespace kinoverd {

namespace {

size_t RingBytes(int buffer_kib, uint32_t block_size)
{
    if (buffer_kib <= 0 || block_size == 0) return 0;
    return size_t(int64_t(buffer_kib) * 1024 / block_size) * wire::PacketSize(block_size);
}

}  // namespace

MediaGraphController::MediaGraphController(int buffer_kib, uint32_t block_size,
                                           MediaGraphFactory* graphs)
    : block_size_(block_size),
      ring_(RingBytes(buffer_kib, block_size), wire::PacketSize(block_size)),
      stream_(*this, kStreamLength, kStreamRate),
      filter_(&stream_, kMpeg1SystemStreamType),
      graphs_(graphs)
{
}

MediaGraphController::~MediaGraphController()
{
    // The receive threads call back into this object: end them while it is whole.
    StopReception();
    Stop();
}

int MediaGraphController::StartReception(const std::string& group, uint16_t port,
                                         NotifyTarget* notify)
{
    StopReception();
    ClearFlagsAndEmptyRing();
    // A ring that could not be allocated holds nothing: nothing to start.
    if (ring_.SlotCount() < 2) return 0;
    notify_ = notify;
    const int control = receiver_b_.Start(this, group, uint16_t(port + 1));
    const int data = receiver_a_.Start(this, group, port);
    return control && data ? 1 : 0;
}

int MediaGraphController::StopReception()
{
    const int data = receiver_a_.Stop();
    const int control = receiver_b_.Stop();
    return data && control ? 1 : 0;
}

int MediaGraphController::BuildAndRun(QWidget* owner, int left, int top, int right, int bottom,
                                      int run_now)
{
    full_screen_ = 0;
    if (!graphs_) return 0;
    owner_ = owner;
    // Rendering reads the head of the stream through Deliver; the graph is
    // not installed yet, so the receive threads' Run calls pass it by.
    std::unique_ptr<MediaGraph> graph =
        graphs_->Render(filter_, VideoPlacement{owner, left, top, right, bottom}, notify_.load());
    uint32_t position = 0;
    if (!graph || !FindStartPosition(&position) || !graph->SeekTo(position)) {
        graph.reset();
        Stop();
        return 0;
    }
    {
        std::lock_guard lock(graph_mutex_);
        graph_ = std::move(graph);
    }
    if (run_now == 1) Run();
    return 1;
}

void MediaGraphController::Stop()
{
    ClearFlagsAndEmptyRing();
    std::unique_ptr<MediaGraph> graph;
    {
        std::lock_guard lock(graph_mutex_);
        graph = std::move(graph_);
    }
    // Torn down outside the lock: its streaming threads may be waiting on
    // the ring, and the receive threads must not wait for them.
    graph.reset();
    full_screen_ = 0;
}

void MediaGraphController::Pause()
{
    std::lock_guard lock(graph_mutex_);
    if (graph_) graph_->Pause();
}

void MediaGraphController::Run()
{
    std::unique_lock lock(graph_mutex_, std::try_to_lock);
    if (lock && graph_) graph_->Run();
}

void MediaGraphController::SeekTo(uint32_t position)
{
    std::lock_guard lock(graph_mutex_);
    if (graph_) graph_->SeekTo(position);
}

void MediaGraphController::SetFullScreen(int on)
{
    std::lock_guard lock(graph_mutex_);
    if (!graph_) return;
    full_screen_ = on ? 1 : 0;
    graph_->SetFullScreen(on != 0);
}

void MediaGraphController::ShowAudioDecoderPages()
{
    {
        std::lock_guard lock(graph_mutex_);
        if (!graph_ || !graph_->HasAudioDecoder()) return;
    }
    // Modal: the graph may be torn down while the dialog is open, so the
    // dialog is the factory's, not the graph's, and no lock is held.
    graphs_->ShowAudioDecoderPages(owner_);
}

void MediaGraphController::ClearFlagsAndEmptyRing()
{
    std::lock_guard lock(admission_mutex_);
    start_requested_ = 0;
    stream_accepted_ = 0;
    ring_.Reset();
}

void MediaGraphController::Post(int message, uintptr_t wparam)
{
    if (NotifyTarget* notify = notify_.load()) notify->Post(message, wparam, 0);
}

int MediaGraphController::Deliver(uint8_t* buffer, uint32_t length, uint32_t position)
{
    enum class Taken { kData, kEnd, kSkipped };
    const uint32_t blocks = length / block_size_;
    for (uint32_t i = 0; i < blocks; ++i) {
        uint8_t* destination = buffer + size_t(i) * block_size_;
        Taken taken = Taken::kSkipped;
        do {
            const bool popped = ring_.PopWith([&](const uint8_t* packet) {
                if (!wire::HasKvMagic(packet)) {
                    taken = Taken::kSkipped;
                } else if (wire::KindByte(packet) == char(wire::Kind::kData)) {
                    std::memcpy(destination, packet + wire::kHeadBytes, block_size_);
                    total_size_ = wire::StreamLength(packet);
                    taken = Taken::kData;
                } else if (wire::KindByte(packet) == char(wire::Kind::kEnd)) {
                    taken = Taken::kEnd;
                } else {
                    taken = Taken::kSkipped;
                }
            });
            if (!popped) {
                std::fill_n(buffer, length, 0);
                Post(kMsgRingEmpty, 0);
                return 0;
            }
        } while (taken == Taken::kSkipped);
        if (taken == Taken::kEnd) {
            Post(kMsgEndOfStream, 0);
            std::fill_n(buffer, length, 0);
            break;
        }
    }
    // A read that does not end on a block boundary gets zeros, not stale bytes.
    std::fill(buffer + size_t(blocks) * block_size_, buffer + length, 0);
    Post(kMsgPosition, position);
    return 1;
}

bool MediaGraphController::FindStartPosition(uint32_t* position)
{
    using Clock = std::chrono::steady_clock;
    auto give_up = Clock::now() + kStartSearchWait;
    for (int taken = 0; taken < kStartSearchPackets;) {
        bool found = false;
        const bool popped = ring_.PopWith([&](const uint8_t* packet) {
            // Unsigned 32-bit product, as the byte positions of the stream are.
            const uint32_t offset = wire::BlockIndex(packet) * block_size_;
            found = wire::HasHead(packet, wire::Kind::kData) && offset > wire::kHeaderBytes;
            if (found) *position = offset;
        });
        if (popped) {
            if (found) return true;
            ++taken;
            give_up = Clock::now() + kStartSearchWait;
        } else if (Clock::now() >= give_up) {
            return false;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    return false;
}

}  // namespace kinoverd
