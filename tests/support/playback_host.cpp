#include "tests/support/playback_host.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include "broadcast/wire_format.h"
#include "playback/video_renderer.h"
#include "playback/window_message.h"

namespace kinoverd::test {

PlaybackHost::PlaybackHost()
    : notify_(this), controller_(std::make_unique<MediaGraphController>(wire::kBlockSize, &graphs_))
{
    resize(485, 360);
    notify_.resume = [this] { controller_->Run(); };
}

PlaybackHost::~PlaybackHost()
{
    controller_->StopReception();
    controller_.reset();
    // Messages still queued for this window go with it.
    QCoreApplication::removePostedEvents(this);
}

bool PlaybackHost::Tune(int channel)
{
    channel_ = channel;
    controller_->Stop();
    controller_->StopReception();
    return controller_->StartReception(channel, &notify_);
}

void PlaybackHost::StopPlayback()
{
    TearDownGraph();
    controller_->StopReception();
}

void PlaybackHost::TearDownGraph()
{
    // A torn-down graph's frames still count.
    if (VideoRenderer* current = renderer()) frames_of_past_graphs_ += current->frames_presented();
    controller_->Stop();
}

VideoRenderer* PlaybackHost::renderer() const { return findChild<VideoRenderer*>(); }

int PlaybackHost::frames() const
{
    const VideoRenderer* current = renderer();
    return frames_of_past_graphs_ + (current ? current->frames_presented() : 0);
}

int PlaybackHost::Count(int message) const
{
    int count = 0;
    for (const Received& r : received_) count += r.message == message;
    return count;
}

bool PlaybackHost::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    // A real event loop, checked every 10 ms: it sleeps between events, so
    // the test costs no CPU time of its own while the station plays.
    QElapsedTimer timer;
    timer.start();
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (done() || timer.elapsed() > timeout.count()) loop.quit();
    });
    check.start(10);
    if (!done()) loop.exec();
    return done();
}

bool PlaybackHost::event(QEvent* event)
{
    if (event->type() != WindowMessage::EventType()) return QWidget::event(event);
    const auto* message = static_cast<WindowMessage*>(event);
    received_.push_back({message->message(), message->wparam(), std::chrono::steady_clock::now()});
    Handle(message->message(), message->wparam());
    return true;
}

void PlaybackHost::Handle(int message, uintptr_t)
{
    switch (message) {
    case kMsgRingHalfFull: {
        const int built = controller_->BuildAndRun({this, 54, 29, 431, 331}, true) ? 1 : 0;
        ++builds_;
        if (!built) {
            ++failed_builds_;
            Tune(channel_);
        }
        if (on_build) on_build(built);
        break;
    }
    case kMsgRingEmpty: controller_->Pause(); break;
    case kMsgRestart:
    case kMsgEndOfStream: TearDownGraph(); break;
    case kMsgClose:
        TearDownGraph();
        controller_->StopReception();
        break;
    case kMsgGraphFailed:
        TearDownGraph();
        Tune(channel_);
        break;
    case kMsgRingNearlyFull:
        if (on_ring_nearly_full) on_ring_nearly_full();
        break;
    default: break;
    }
}

}  // namespace kinoverd::test
