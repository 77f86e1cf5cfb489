// Reports of worker threads, posted to a window as WindowMessage events.
#pragma once

#include <functional>

#include "broadcast/notify_target.h"
#include "playback/media_graph.h"

class QObject;

namespace kinoverd {

class WindowNotifyTarget : public NotifyTarget, public PlaybackEvents {
public:
    // `window` must outlive every thread that posts through this target.
    explicit WindowNotifyTarget(QObject* window) : window_(window) {}
    void Post(int message, uintptr_t wparam, intptr_t lparam) override;

    // Called on the receive threads for ResumePlayback.
    std::function<void()> resume;

    void PlaybackReady() override { Post(kMsgRingHalfFull, 0, 0); }
    void ResumePlayback() override { if (resume) resume(); }
    void RingNearlyFull() override { Post(kMsgRingNearlyFull, 0, 0); }
    void RestartReceived() override { Post(kMsgRestart, 0, 0); }
    void CloseReceived() override { Post(kMsgClose, 0, 0); }
    void SenderConflict(SenderAddress) override {}
    void BlockPlayed(uint32_t position) override { Post(kMsgPosition, position, 0); }
    void RingEmpty(uint32_t position) override { Post(kMsgRingEmpty, position, 0); }
    void EndOfStream() override { Post(kMsgEndOfStream, 0, 0); }
    void PlaybackFailed() override { Post(kMsgGraphFailed, 0, 0); }

private:
    QObject* const window_;
};

}  // namespace kinoverd
