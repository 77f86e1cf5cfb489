// A plain owner window for the playback engine, handling the controller's
// and the receive threads' messages the way the video window does: build and
// run on 8107 (tuning again when that fails), pause on 8110, tear down on
// 8115 and 8117, stop reception on 8116, tune again on 8119. Every message
// is recorded in arrival order.
#pragma once

#include <QWidget>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "playback/gst_media_graph_factory.h"
#include "playback/media_graph_controller.h"
#include "playback/window_notify_target.h"

namespace kinoverd {
class VideoRenderer;
}

namespace kinoverd::test {

class PlaybackHost : public QWidget {
public:
    struct Received {
        int message;
        uintptr_t wparam;
        std::chrono::steady_clock::time_point when;
    };

    PlaybackHost();
    ~PlaybackHost() override;

    // Tunes to `channel`: group 234.5.6.(channel + 7), port channel * 2 + 4000.
    bool Tune(int channel);
    void StopPlayback();

    MediaGraphController& controller() { return *controller_; }
    GstMediaGraphFactory& graphs() { return graphs_; }
    // The renderer of the graph playing now, if any.
    VideoRenderer* renderer() const;

    const std::vector<Received>& received() const { return received_; }
    int Count(int message) const;
    int builds() const { return builds_; }
    int failed_builds() const { return failed_builds_; }
    // Frames shown by every renderer so far, including torn-down ones.
    int frames() const;

    // Called on 8202 (the station's own sender is to be held).
    std::function<void()> on_ring_nearly_full;
    // Called after each 8107 with BuildAndRun's result.
    std::function<void(int)> on_build;

    // Runs the event loop until `done()` or `timeout`; false on timeout.
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

protected:
    bool event(QEvent* event) override;

private:
    void Handle(int message, uintptr_t wparam);
    void TearDownGraph();

    GstMediaGraphFactory graphs_;
    WindowNotifyTarget notify_;
    std::unique_ptr<MediaGraphController> controller_;
    int channel_ = 0;
    std::vector<Received> received_;
    int builds_ = 0;
    int failed_builds_ = 0;
    int frames_of_past_graphs_ = 0;
};

}  // namespace kinoverd::test
