// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/media_graph_controller.h"

namespace kinoverd {

MediaGraphController::MediaGraphController(uint32_t block_size, MediaGraphFactory* graphs,
                                           int ring_kib)
    : reception_(block_size, ring_kib), graphs_(graphs)
{
}

MediaGraphController::~MediaGraphController()
{
    // The receive threads call back into this object: end them while it is whole.
    reception_.Stop();
    Stop();
}

bool MediaGraphController::StartReception(int channel, PlaybackEvents* events)
{
    events_ = events;
    return reception_.Start(channel, events);
}

bool MediaGraphController::BuildAndRun(const VideoPlacement& placement, bool run_now)
{
    full_screen_ = false;
    if (!graphs_) return false;
    owner_ = placement.owner;
    // Rendering reads the head of the stream; the graph is not installed
    // yet, so the receive threads' Run calls pass it by.
    std::unique_ptr<MediaGraph> graph =
        graphs_->Render(reception_, placement, events_.load());
    uint32_t position = 0;
    if (!graph || !reception_.FindStartPosition(&position) || !graph->SeekTo(position)) {
        graph.reset();
        Stop();
        return false;
    }
    {
        std::lock_guard lock(graph_mutex_);
        graph_ = std::move(graph);
    }
    if (run_now) Run();
    return true;
}

void MediaGraphController::Stop()
{
    reception_.Reset();
    std::unique_ptr<MediaGraph> graph;
    {
        std::lock_guard lock(graph_mutex_);
        graph = std::move(graph_);
    }
    // Torn down outside the lock: its streaming threads may be waiting on
    // the ring, and the receive threads must not wait for them.
    graph.reset();
    full_screen_ = false;
}

void MediaGraphController::Pause()
{
    std::lock_guard lock(graph_mutex_);
    if (graph_) graph_->Pause();
}

void MediaGraphController::Run()
{
    std::lock_guard lock(graph_mutex_);
    if (graph_) graph_->Run();
}

void MediaGraphController::SeekTo(uint32_t position)
{
    std::lock_guard lock(graph_mutex_);
    if (graph_) graph_->SeekTo(position);
}

std::optional<double> MediaGraphController::ShownSeconds()
{
    std::lock_guard lock(graph_mutex_);
    return graph_ ? graph_->ShownSeconds() : std::nullopt;
}

bool MediaGraphController::HasDecoded()
{
    std::lock_guard lock(graph_mutex_);
    return graph_ && graph_->HasDecoded();
}

void MediaGraphController::SetFullScreen(bool on)
{
    std::lock_guard lock(graph_mutex_);
    if (!graph_) return;
    full_screen_ = on;
    graph_->SetFullScreen(on);
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

}  // namespace kinoverd
