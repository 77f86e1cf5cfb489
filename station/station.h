// SPDX-License-Identifier: GPL-3.0-or-later
// What a Kinoverd station does, without a window: it runs a programme (a list
// of files) as a sequence of broadcasts on one free channel of the network,
// tunes in to its own broadcast and plays what it receives back, and tells
// the windows what happens through signals. The windows only show that and
// pass on the user's commands.
//
// Threads: the station lives on the user-interface thread, which alone
// changes its state. The receive threads, the broadcaster's send thread and
// the graph's streaming threads only queue their events to it, each tagged
// with the tuning or broadcast it belongs to, so that a late event of a
// replaced stream never acts on the new one. Pausing at an empty ring and
// resuming once it is refilled are both done here, in the order asked: a
// receive thread that resumed the graph itself could be overtaken by the
// pause it answers, and leave the graph paused before its end for ever.
#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <QRect>
#include <QTimer>
#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "broadcast/broadcaster_events.h"
#include "disc/disc_track.h"
#include "playback/gst_media_graph_factory.h"
#include "playback/media_graph.h"
#include "station/media_path.h"
#include "station/play_list.h"

class QWidget;

namespace kinoverd {

class Broadcaster;
class MediaGraphController;

class Station : public QObject, private PlaybackEvents, private BroadcasterEvents {
    Q_OBJECT

public:
    // A stream's pace when its first pack does not say (a Video CD's).
    static constexpr uint32_t kBytesPerSecond = 176400;
    // The position as the slider shows it: 0 to this.
    static constexpr int kPositionMaximum = 99;

    static const QString kReadyText;
    static const QString kOpenText;
    static const QString kConnectText;
    static const QString kTheEndText;
    static const QString kNoMediaText;
    static const QString kNoFreeChannelText;
    static const QString kStartFailedText;
    // The media pane while watching: the channel's number goes in.
    static const QString kChannelText;
    // Shown while nothing arrives from the sender.
    static const QString kSignalLostText;
    // Shown when another station broadcasts on this one's channel.
    static const QString kChannelTakenText;
    // Why a programme whose stream cannot be played ends ("File Error").
    static constexpr const char* kUnplayableReason = "文件的内容无法播放";
    // How long a playing graph may decode nothing from the data it gets.
    static constexpr std::chrono::seconds kNothingDecodedLimit{5};

    // What the receive side and the graph report, by name.
    enum StreamEvent : int {
        kPlaybackReady,
        kRingNearlyFull,
        kRestartReceived,
        kCloseReceived,
        kRingEmpty,
        kEndOfStream,
        kPlaybackFailed,
        kSenderConflict,
        kResumeWanted,
    };

    // The free channel to broadcast on, or -1 when all are busy. Runs on a
    // worker of Qt's pool, as listening to the channels takes seconds; a
    // replaced programme's search may still run beside the new one's.
    using ChannelFinder = std::function<int()>;

    explicit Station(QObject* parent = nullptr);
    // Stops the programme: its close packets go out.
    ~Station() override;
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    // Where the graphs show the picture: `area` of `owner`, which must
    // outlive every graph (the station stops before the window goes).
    void SetPicturePlace(QWidget* owner, const QRect& area);
    void set_channel_finder(ChannelFinder finder) { channel_finder_ = std::move(finder); }

    // Commands of the user.
    // A new programme of `files`, replacing the one running.
    void Play(const MediaPaths& files);
    // The same, with paths held as text.
    void Play(const QStringList& files) { Play(EncodeNames(files)); }
    // Tunes in to what another station broadcasts on `channel`, sending
    // nothing, until that programme ends or Stop.
    void Watch(int channel);
    // Ends the programme: the broadcast is closed and the picture stops.
    void Stop();
    // Restarts the broadcast at `percent` of its stream (0 to kPositionMaximum).
    void SeekToPercent(int percent);
    // While the user works the position slider, positions are not shown
    // (but for a watched programme, which the slider cannot move).
    void HoldPositionDisplay() { user_holds_position_ = !watching_; }
    // The user has stopped working the slider; a seek keeps its own hold.
    void ReleasePositionDisplay() { user_holds_position_ = false; }
    void SetLoop(bool on) { loop_ = on; }
    void SetFullScreen(bool on);
    bool IsFullScreen() const;
    // The audio channel dialog ("Filter"), modal; nothing without a picture.
    void ShowAudioChannelDialog();

    bool programme_running() const { return programme_running_; }
    bool watching() const { return watching_; }
    // Times the ring ran empty while a picture played.
    int underruns() const { return underruns_; }
    const PlayList& play_list() const { return play_list_; }
    const MediaPath& current_file() const { return current_file_; }
    int channel() const { return channel_; }
    Broadcaster* broadcaster() const { return broadcaster_.get(); }
    MediaGraphController& controller() { return *controller_; }
    GstMediaGraphFactory& graphs() { return graphs_; }

signals:
    // What the status pane and the media pane show.
    void statusChanged(const QString& text);
    void mediaChanged(const QString& text);
    // Where the position slider stands, 0 to kPositionMaximum.
    void positionChanged(int percent);
    // True from the start of a programme to its end: File and Disc wait.
    void programmeRunningChanged(bool running);
    // A picture started or stopped playing (the audio channel can be chosen
    // while one plays).
    void pictureChanged(bool playing);
    // Something the user must be told, modally.
    void errorOccurred(const QString& text);

    // The worker threads' events (StreamEvent), queued to the
    // user-interface thread with the tuning they belong to.
    void streamEventQueued(int event, quint64 tuning);
    void broadcastEndQueued(quint64 broadcast);
    void broadcastRestartQueued(quint64 broadcast, bool started);

private:
    enum class BroadcastStop { kClose, kRestart, kQuiet };

    // Worker threads: queue the event with the tuning it belongs to.
    void PlaybackReady() override { Queue(kPlaybackReady); }
    void ResumePlayback() override;
    void RingNearlyFull() override { Queue(kRingNearlyFull); }
    void RestartReceived() override { Queue(kRestartReceived); }
    void CloseReceived() override { Queue(kCloseReceived); }
    void RingEmpty(uint32_t) override { Queue(kRingEmpty); }
    void EndOfStream() override { Queue(kEndOfStream); }
    void PlaybackFailed() override { Queue(kPlaybackFailed); }
    void SenderConflict(SenderAddress) override { Queue(kSenderConflict); }
    void BroadcastEnded() override;
    void BroadcastRestarted(bool started) override;
    void Queue(StreamEvent event);

    // User-interface thread.
    void HandleStreamEvent(int event, quint64 tuning);
    void HandleBroadcastEnd(quint64 broadcast);
    void HandleBroadcastRestart(quint64 broadcast, bool started);
    void HandleChannelFound(int channel, quint64 programme);
    bool Tune();
    void StopPicture();
    void ForgetStream();
    void StartPicture();
    void RetuneAfterFailure(bool stream_was_whole);
    void RestartBroadcastAt(uint32_t offset);
    void ShowShownPicture();
    std::optional<double> ShownPictureSeconds();
    uint32_t StreamRate() const;
    void ResetPosition();
    void OnEndOfProgramme();
    void MoveToAnotherChannel();
    QString WatchedText() const;
    bool SignalLost();
    void EndProgramme();
    void ReportRingLosses();
    void TakeNextFile();
    void BroadcastCurrentFile();
    bool CreateBroadcaster(int channel);
    void StopBroadcaster(BroadcastStop how);
    void EndFailedProgramme();
    void FailProgramme(const std::string& reason);
    void ShowFileError(const std::string& reason);
    void SetPicturePlaying(bool playing);
    void SetProgrammeRunning(bool running);
    void SetStatus(const QString& text);
    void SetMedia(const QString& text);

    // The worker threads read these; the user-interface thread changes them.
    std::atomic<uint64_t> tuning_{0};     // a new one with every tuning and every stream forgotten
    std::atomic<uint64_t> broadcast_{0};  // a new one with every broadcaster and every restart
    std::atomic<bool> resume_queued_{false};  // a kResumeWanted is on its way

    // Everything else belongs to the user-interface thread. The graph
    // factory outlives the controller, which renders with it.
    GstMediaGraphFactory graphs_;
    const DiscTrackOpener disc_tracks_;  // Video CD tracks named in the play list
    std::unique_ptr<MediaGraphController> controller_;
    std::unique_ptr<Broadcaster> broadcaster_;
    ChannelFinder channel_finder_;
    // Searches still running, a replaced programme's among them: a new
    // programme does not wait for them, the station only when it goes.
    std::vector<QFutureWatcher<int>*> channel_searches_;
    uint64_t programme_ = 0;      // a new one with every Play, Watch and Stop
    PlayList play_list_;
    MediaPath current_file_;
    QWidget* picture_owner_ = nullptr;
    QRect picture_area_;
    QTimer position_timer_;  // while a picture plays: its time and position are shown
    int channel_ = 0;
    bool loop_ = false;
    bool programme_running_ = false;
    bool watching_ = false;
    bool picture_playing_ = false;
    bool position_held_ = true;  // no position of the playing stream to show yet
    bool user_holds_position_ = false;  // the user works the position slider
    int underruns_ = 0;
    uint64_t dropped_reported_ = 0;  // ring drops already told to the user
    uint32_t resume_at_ = 0;         // where the next broadcaster starts: 0, or where a moved one was
    bool restarted_after_failure_ = false;  // the broadcast's picture failed, and it started over
    uint32_t stream_length_ = 0;  // the broadcast's, known from its first start
    uint32_t stream_start_ = 0;   // where the broadcast's stream starts, as asked
    bool restarting_ = false;     // the broadcaster is restarting on its thread
    std::optional<uint32_t> queued_restart_;  // where to restart next, asked meanwhile
    uint64_t admitted_seen_ = 0;     // blocks admitted when last looked, for telling an outage
    std::chrono::steady_clock::time_point admitted_changed_;
    std::chrono::steady_clock::time_point picture_started_;  // the playing graph's start
};

}  // namespace kinoverd
