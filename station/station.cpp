// SPDX-License-Identifier: GPL-3.0-or-later
#include "station/station.h"

#include <QtConcurrent/QtConcurrentRun>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <chrono>
#include <utility>

#include "broadcast/broadcaster.h"
#include "broadcast/free_channel_probe.h"
#include "broadcast/media_stream_file.h"
#include "broadcast/wire_format.h"
#include "disc/disc_track.h"
#include "playback/media_graph_controller.h"
#include "station/file_error_text.h"

namespace kinoverd {

const QString Station::kReadyText = QStringLiteral("ready");
const QString Station::kOpenText = QStringLiteral("open ... ");
const QString Station::kConnectText = QStringLiteral("connect ...");
const QString Station::kTheEndText = QStringLiteral("the end");
const QString Station::kNoMediaText = QStringLiteral("no media");
const QString Station::kNoFreeChannelText = QStringLiteral("没有空闲的频道.");
const QString Station::kStartFailedText = QStringLiteral("Kinoverd 初始化失败!");
const QString Station::kChannelText = QStringLiteral("频道 %1");
const QString Station::kSignalLostText = QStringLiteral("信号中断");
const QString Station::kChannelTakenText = QStringLiteral("频道被占用");

namespace {

// How often the time and position of the picture on screen are shown.
constexpr std::chrono::milliseconds kPositionInterval{100};

// Lets the user-interface thread, which builds every graph, keep up with a
// busy machine once playback starts; where the user may not raise it, it
// stays as it is. Never lowered again.
void RaiseUserInterfaceThread()
{
    constexpr int kRaisedNice = -5;
    setpriority(PRIO_PROCESS, id_t(gettid()), kRaisedNice);
}

// Hours, minutes and seconds each take at least two digits.
QString TwoDigits(uint32_t value)
{
    return value < 10 ? QStringLiteral("0") + QString::number(value) : QString::number(value);
}

QString ElapsedTimeText(uint32_t seconds)
{
    return TwoDigits(seconds / 3600) + QLatin1Char(':') + TwoDigits(seconds % 3600 / 60) +
           QLatin1Char(':') + TwoDigits(seconds % 60);
}

}  // namespace

Station::Station(QObject* parent)
    : QObject(parent),
      controller_(std::make_unique<MediaGraphController>(wire::kBlockSize, &graphs_)),
      channel_finder_([] { return FreeChannelProbe(wire::kBlockSize).FindFreeChannel(); })
{
    connect(this, &Station::streamEventQueued, this, &Station::HandleStreamEvent, Qt::QueuedConnection);
    connect(this, &Station::broadcastEndQueued, this, &Station::HandleBroadcastEnd, Qt::QueuedConnection);
    connect(this, &Station::broadcastRestartQueued, this, &Station::HandleBroadcastRestart,
            Qt::QueuedConnection);
    position_timer_.setInterval(kPositionInterval);
    connect(&position_timer_, &QTimer::timeout, this, &Station::ShowShownPicture);
}

Station::~Station()
{
    // A finder may use what the station's owner gave it along with it.
    for (QFutureWatcher<int>* search : channel_searches_) search->waitForFinished();
    StopPicture();
    StopBroadcaster(BroadcastStop::kClose);
}

void Station::SetPicturePlace(QWidget* owner, const QRect& area)
{
    picture_owner_ = owner;
    picture_area_ = area;
}

// ---- Worker threads ----

void Station::Queue(StreamEvent event)
{
    emit streamEventQueued(event, tuning_.load());
}

// Asked on every packet once the ring is ready: one request at a time.
void Station::ResumePlayback()
{
    if (!resume_queued_.exchange(true)) Queue(kResumeWanted);
}

void Station::BroadcastEnded() { emit broadcastEndQueued(broadcast_.load()); }

void Station::BroadcastRestarted(bool started) { emit broadcastRestartQueued(broadcast_.load(), started); }

// ---- Events, on the user-interface thread ----

void Station::HandleStreamEvent(int event, quint64 tag)
{
    if (event == kResumeWanted) resume_queued_ = false;
    if (tag != tuning_) return;
    switch (StreamEvent(event)) {
    case kPlaybackReady: StartPicture(); break;
    case kRingEmpty:
        if (picture_playing_) ++underruns_;
        // Waits for half a ring, unless that or the end came meanwhile,
        // and the resume it brought may already be through.
        if (!controller_->reception().stream_ended() &&
            controller_->reception().ring().Count() < controller_->reception().ring().SlotCount() / 2)
            controller_->Pause();
        break;
    case kResumeWanted: controller_->Run(); break;
    case kRingNearlyFull:
        if (broadcaster_) broadcaster_->HoldSendFor500ms();
        break;
    case kRestartReceived:
        // A station keeps to its own sender, whose restarts it has acted on
        // when it made them: heard back, one would only cut off the new stream.
        if (!watching_) break;
        ForgetStream();
        ResetPosition();
        break;
    case kCloseReceived:
        // The programme's sender closed it for good.
        watching_ = false;
        StopPicture();
        StopBroadcaster(BroadcastStop::kQuiet);
        EndProgramme();
        break;
    case kEndOfStream:
        ForgetStream();
        OnEndOfProgramme();
        break;
    case kPlaybackFailed: RetuneAfterFailure(false); break;
    case kSenderConflict: MoveToAnotherChannel(); break;
    }
}

void Station::HandleBroadcastEnd(quint64 broadcast)
{
    // Only the broadcast that has sent its whole stream is done: a report
    // from one that a new file or a seek replaced ends nothing.
    if (broadcast != broadcast_ || !broadcaster_) return;
    // A file or disc that could not be read to its end ended the data early.
    const std::string read_error = broadcaster_->read_error();
    StopBroadcaster(BroadcastStop::kQuiet);
    if (!read_error.empty())
        ShowFileError(read_error);
    else if (!watching_ && !controller_->reception().stream_accepted())
        // Tuned in again after a failed picture, reception waits for a
        // stream start that this broadcast, all sent, will never send.
        FailProgramme(kUnplayableReason);
}

// ---- Reception and picture ----

// Tunes in to the channel, dropping any stream and graph. On failure the
// broadcast, which nobody here can play, restarts nowhere and the user is told.
bool Station::Tune()
{
    ++tuning_;
    SetPicturePlaying(false);
    controller_->Stop();
    controller_->StopReception();
    if (controller_->StartReception(channel_, this)) {
        RaiseUserInterfaceThread();
        return true;
    }
    StopPicture();
    StopBroadcaster(BroadcastStop::kRestart);
    emit errorOccurred(kStartFailedText);
    return false;
}

void Station::StopPicture()
{
    ++tuning_;
    controller_->Stop();
    controller_->StopReception();
    SetPicturePlaying(false);
}

// The stream is over or restarts: the graph goes, reception goes on.
void Station::ForgetStream()
{
    controller_->Stop();
    ++tuning_;
    SetPicturePlaying(false);
}

// The own sender holds while the graph is built, so that the ring does not
// overflow meanwhile, and goes on afterwards either way.
void Station::StartPicture()
{
    if (broadcaster_) broadcaster_->HoldSend();
    // Given the edges just past the area, the renderer covers it and one
    // more pixel on the right and at the bottom.
    const VideoPlacement placement{picture_owner_, picture_area_.left(), picture_area_.top(),
                                   picture_area_.left() + picture_area_.width(),
                                   picture_area_.top() + picture_area_.height()};
    // A failed build forgets the stream: whether it was whole is asked first.
    const bool whole_stream = controller_->reception().stream_ended();
    if (!controller_->BuildAndRun(placement, true)) {
        RetuneAfterFailure(whole_stream);
        return;
    }
    picture_started_ = std::chrono::steady_clock::now();
    position_held_ = false;
    if (watching_) SetMedia(WatchedText());
    SetPicturePlaying(true);
    if (broadcaster_) broadcaster_->ReleaseSend();
}

// Buffering starts over on the same channel. But a stream of this station's
// own that was already whole, or whose broadcast has ended, never comes
// again: waiting for it would leave the user at "open ..." for ever. One
// still on the air has long sent its stream start, which reception would
// wait for in vain: it starts over once where it began (a busy machine may
// have been too slow for its head); failing again, it is the file's fault,
// and the programme ends once the file is all sent.
void Station::RetuneAfterFailure(bool stream_was_whole)
{
    if (!watching_ && (stream_was_whole || !broadcaster_)) {
        FailProgramme(kUnplayableReason);
        return;
    }
    if (broadcaster_) broadcaster_->ReleaseSend();
    if (!watching_ && !restarted_after_failure_) {
        RestartBroadcastAt(stream_start_);
        restarted_after_failure_ = true;
        return;
    }
    Tune();
}

void Station::SetFullScreen(bool on) { controller_->SetFullScreen(on); }

bool Station::IsFullScreen() const { return controller_->IsFullScreen(); }

void Station::ShowAudioChannelDialog() { controller_->ShowAudioDecoderPages(); }

// True while nothing has been admitted for a second: the sender went quiet
// or the network lost it.
bool Station::SignalLost()
{
    constexpr auto kQuietLimit = std::chrono::seconds(1);
    const auto now = std::chrono::steady_clock::now();
    const uint64_t admitted = controller_->reception().counters().admitted;
    if (admitted != admitted_seen_) {
        admitted_seen_ = admitted;
        admitted_changed_ = now;
    }
    return now - admitted_changed_ > kQuietLimit && !controller_->reception().stream_ended();
}

// The time and position of the picture on screen, not of what was last
// received: the decoder and the sinks hold about two seconds in between.
void Station::ShowShownPicture()
{
    if (SignalLost()) {
        SetStatus(kSignalLostText);
        return;
    }
    // Data keeps coming and nothing of it decodes: garbage after a valid
    // start, or a file of zeros, would otherwise play black for hours.
    if (!watching_ && !controller_->HasDecoded() &&
        std::chrono::steady_clock::now() - picture_started_ > kNothingDecodedLimit) {
        FailProgramme(kUnplayableReason);
        return;
    }
    const std::optional<double> elapsed = ShownPictureSeconds();
    if (position_held_ || user_holds_position_ || !elapsed) return;
    SetStatus(ElapsedTimeText(uint32_t(*elapsed)));
    const double total_seconds = double(controller_->reception().stream_length()) / StreamRate();
    const double percent = total_seconds <= 0 ? 0.0 : *elapsed / total_seconds * 100.0;
    emit positionChanged(int(std::clamp(percent, 0.0, double(kPositionMaximum))));
}

// The stream's own clock: the first picture a decoder can show from the
// live data against the stream's first picture (or first stamp of any
// kind), then the time the graph played since it showed that picture,
// and the stream that outages took away meanwhile.
std::optional<double> Station::ShownPictureSeconds()
{
    const std::optional<double> shown = controller_->ShownSeconds();
    if (!shown) return std::nullopt;
    const ChannelReception& reception = controller_->reception();
    const StreamTiming timing = reception.timing();
    const double origin = timing.first_picture_s.value_or(timing.first_stamp_s.value_or(0.0));
    const double live_start = reception.live_keyframe_s().value_or(origin) - origin;
    // A gap counts once the picture has reached where it began: the reader
    // passes it seconds before the picture does.
    double elapsed = live_start + *shown;
    for (const ChannelReception::Gap& gap : reception.gaps())
        if (elapsed >= double(gap.from) / StreamRate()) elapsed += double(gap.bytes) / StreamRate();
    return std::max(0.0, elapsed);
}

// Bytes a second of the stream received: its mux rate, or a Video CD's.
uint32_t Station::StreamRate() const
{
    const uint32_t rate = controller_->reception().timing().mux_rate;
    return rate ? rate : kBytesPerSecond;
}

void Station::ResetPosition()
{
    position_held_ = true;
    emit positionChanged(0);
}

// ---- Programmes ----

void Station::Play(const MediaPaths& files)
{
    ++programme_;
    watching_ = false;
    SetProgrammeRunning(true);
    // This station stops listening before the old broadcast's close packets
    // go out: heard late, they would end the new programme.
    StopPicture();
    StopBroadcaster(BroadcastStop::kClose);
    play_list_.Set(files);
    TakeNextFile();
    BroadcastCurrentFile();
}

// File, Disc and drops stay open while watching: each ends it.
void Station::Watch(int channel)
{
    Stop();
    ++programme_;
    play_list_.Set({});
    current_file_.clear();
    channel_ = channel;
    watching_ = true;
    // Whoever's stream-start it synchronises on, until that stream is over.
    controller_->reception().KeepToSender(std::nullopt);
    SetStatus(kConnectText);
    SetMedia(WatchedText());
    if (!Tune()) watching_ = false;
}

void Station::Stop()
{
    ReportRingLosses();
    ++programme_;
    watching_ = false;
    StopPicture();
    StopBroadcaster(BroadcastStop::kClose);
    SetProgrammeRunning(false);
    ResetPosition();
    SetStatus(kReadyText);
}

void Station::SeekToPercent(int percent)
{
    // The user is done with the slider; the display waits for the new
    // stream to play, or with no broadcast left to move (its file all
    // sent), for the next file.
    user_holds_position_ = false;
    if (watching_) return;
    position_held_ = true;
    if (!broadcaster_) return;
    RestartBroadcastAt(uint32_t(double(stream_length_) * std::clamp(percent, 0, 100) * 0.01));
}

// The broadcast starts over as a new stream from `offset`. The old stream
// is forgotten here and now; the broadcaster pauses, sends its restart
// packet and opens the new stream on a thread of its own. Seeks made
// meanwhile are merged: the last one is where it goes next.
void Station::RestartBroadcastAt(uint32_t offset)
{
    restarted_after_failure_ = false;
    stream_start_ = offset;
    ForgetStream();
    SetStatus(kConnectText);
    if (restarting_) {
        queued_restart_ = offset;
        return;
    }
    restarting_ = true;
    ++broadcast_;
    broadcaster_->RestartAt(offset);
}

void Station::HandleBroadcastRestart(quint64 broadcast, bool started)
{
    if (broadcast != broadcast_ || !broadcaster_) return;
    restarting_ = false;
    if (const std::optional<uint32_t> next = std::exchange(queued_restart_, std::nullopt)) {
        // The user moved on meanwhile: this stream never ran, and goes.
        RestartBroadcastAt(*next);
        return;
    }
    if (!started) {
        // The broadcaster stays, sending nothing, until the user acts.
        ShowFileError(broadcaster_->error());
        return;
    }
    // Every start sends from a new port.
    controller_->reception().KeepToSender(broadcaster_->sender_address());
    broadcaster_->Run();
}

void Station::OnEndOfProgramme()
{
    ResetPosition();
    if (!play_list_.HasPending() && loop_) play_list_.Rewind();
    StopBroadcaster(BroadcastStop::kQuiet);
    if (play_list_.HasPending()) {
        // Same channel: reception is still tuned to it.
        TakeNextFile();
        if (CreateBroadcaster(channel_)) broadcaster_->Run();
        return;
    }
    EndProgramme();
}

// Packets the ring could not take are lost to the picture: the user hears
// of it once the programme is over.
void Station::ReportRingLosses()
{
    const uint64_t dropped = controller_->reception().ring().dropped();
    if (dropped > dropped_reported_)
        std::fprintf(stderr, "kinoverd: %llu packets did not fit the receive buffer and were lost\n",
                     static_cast<unsigned long long>(dropped - dropped_reported_));
    dropped_reported_ = dropped;
}

// A watched channel stays tuned: its next programme plays when it comes.
void Station::EndProgramme()
{
    ReportRingLosses();
    ResetPosition();
    SetStatus(kTheEndText);
    SetMedia(kNoMediaText);
    SetProgrammeRunning(false);
}

// Another station took this one's channel: the broadcast goes on from
// where it was on a free channel, and the user is told.
void Station::MoveToAnotherChannel()
{
    if (!broadcaster_) return;
    // From the picture on screen, not from what was sent: the ring and the
    // graph hold seconds of stream in between, which the move would skip.
    // A second earlier, so that the key frame it restarts at is no later.
    const uint32_t sent = broadcaster_->sent_position();
    const std::optional<double> shown = ShownPictureSeconds();
    resume_at_ = shown ? uint32_t(std::min(std::max(0.0, *shown - 1.0) * StreamRate(), double(sent))) : 0;
    ++programme_;
    StopPicture();
    // Without a close packet: the channel is the other sender's now, and
    // other stations obey a close from anyone.
    StopBroadcaster(BroadcastStop::kQuiet);
    SetStatus(kChannelTakenText);
    BroadcastCurrentFile();
}

// The media pane while watching: the channel, and its sender once known.
QString Station::WatchedText() const
{
    QString text = kChannelText.arg(channel_);
    if (const auto sender = controller_->reception().sender())
        text += QStringLiteral("  来自 ") + QString::fromStdString(sender->ToString());
    return text;
}

void Station::TakeNextFile()
{
    current_file_ = play_list_.TakeNext();
    SetStatus(kOpenText);
    SetMedia(DisplayName(current_file_));
}

// The window keeps painting while the channels are listened to. The search
// of a programme replaced meanwhile is left to finish on its own, and its
// answer finds nothing to act on.
void Station::BroadcastCurrentFile()
{
    StopBroadcaster(BroadcastStop::kClose);
    auto* search = new QFutureWatcher<int>(this);
    connect(search, &QFutureWatcherBase::finished, this, [this, search, programme = programme_] {
        std::erase(channel_searches_, search);
        search->deleteLater();
        HandleChannelFound(search->result(), programme);
    });
    channel_searches_.push_back(search);
    search->setFuture(QtConcurrent::run(channel_finder_));
}

void Station::HandleChannelFound(int channel, quint64 programme)
{
    if (programme != programme_) return;
    if (channel < 0) {
        EndFailedProgramme();
        emit errorOccurred(kNoFreeChannelText);
        return;
    }
    if (!CreateBroadcaster(channel)) return;
    // Tuned in before the first packet goes out.
    channel_ = channel;
    if (Tune())
        broadcaster_->Run();
    else
        EndFailedProgramme();
}

bool Station::CreateBroadcaster(int channel)
{
    ++broadcast_;
    restarted_after_failure_ = false;
    restarting_ = false;
    queued_restart_.reset();
    BroadcasterEvents* events = this;
    broadcaster_ = std::make_unique<Broadcaster>(current_file_.toStdString(), channel,
                                                 wire::kBlockSize, events, &disc_tracks_);
    const uint32_t start = std::exchange(resume_at_, 0);
    // Sent as it is, such a file would reach nobody as a picture.
    if (broadcaster_->lacks_mpeg_pack()) {
        broadcaster_.reset();
        FailProgramme(MediaStreamFile::kNoPackText);
        return false;
    }
    if (broadcaster_->Start(start)) {
        stream_length_ = broadcaster_->stream_length();
        stream_start_ = start;
        // This station plays its own broadcast and nobody else's.
        controller_->reception().KeepToSender(broadcaster_->sender_address());
        return true;
    }
    const std::string reason = broadcaster_->error();
    broadcaster_.reset();
    FailProgramme(reason);
    return false;
}

void Station::StopBroadcaster(BroadcastStop how)
{
    if (!broadcaster_) return;
    switch (how) {
    case BroadcastStop::kClose: broadcaster_->StopAndClose(); break;
    case BroadcastStop::kRestart: broadcaster_->StopAndRestart(); break;
    case BroadcastStop::kQuiet: broadcaster_->StopQuietly(); break;
    }
    broadcaster_.reset();
}

// A programme that cannot go on ends as if Stop had been pressed, and only
// then is the user told: File and Disc are usable behind the message.
void Station::EndFailedProgramme()
{
    ++programme_;
    StopPicture();
    StopBroadcaster(BroadcastStop::kClose);
    SetProgrammeRunning(false);
    ResetPosition();
    SetStatus(kReadyText);
    SetMedia(kNoMediaText);
}

void Station::FailProgramme(const std::string& reason)
{
    EndFailedProgramme();
    ShowFileError(reason);
}

void Station::ShowFileError(const std::string& reason)
{
    emit errorOccurred(FileErrorText(reason));
}

void Station::SetPicturePlaying(bool playing)
{
    if (playing == picture_playing_) return;
    picture_playing_ = playing;
    admitted_changed_ = std::chrono::steady_clock::now();
    if (playing)
        position_timer_.start();
    else
        position_timer_.stop();
    emit pictureChanged(playing);
}

void Station::SetProgrammeRunning(bool running)
{
    if (running == programme_running_) return;
    programme_running_ = running;
    emit programmeRunningChanged(running);
}

void Station::SetStatus(const QString& text) { emit statusChanged(text); }

void Station::SetMedia(const QString& text) { emit mediaChanged(text); }

}  // namespace kinoverd
