// SPDX-License-Identifier: GPL-3.0-or-later
// kinoverd-cast: a headless LAN TV server. Broadcasts MPEG files and Video
// CD tracks one after another on one channel, exactly as the player does,
// for any station to tune in to.
//
// Every file and disc is checked up front for existence and readability, so
// that a typo does not surface after an hour of broadcasting; whether a file
// is a broadcastable MPEG stream is decided when its turn comes, because the
// broadcaster only knows once it scans and opens it.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "broadcast/broadcaster.h"
#include "broadcast/free_channel_probe.h"
#include "broadcast/media_stream_file.h"
#include "broadcast/wire_format.h"
#include "disc/disc_track.h"
#include "disc/track_name.h"
#include "tools/channel_number.h"
#include "tools/channel_watch.h"
#include "tools/playing_pace.h"
#include "tools/broadcast_end_flag.h"
#include "tools/stop_signals.h"

namespace {

using namespace kinoverd;
using Clock = std::chrono::steady_clock;

constexpr int kExitDone = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kExitSignalBase = 128;

// The rate at which the player converts a stream position into playing time.
constexpr uint32_t kPlayingBytesPerSecond = 153600;
constexpr auto kReportInterval = std::chrono::seconds(1);
constexpr auto kPaceInterval = std::chrono::milliseconds(50);

constexpr const char* kNoFreeChannelText = "没有空闲的频道.";

constexpr const char* kUsage =
    "Usage: kinoverd-cast [--channel N] [--track N] [--loop] [--] FILE...\n"
    "Broadcasts MPEG system streams or Video CD tracks one after another on one\n"
    "channel of the local network, for any station to tune in to.\n"
    "\n"
    "A FILE is an MPEG file, a Video CD track file (.DAT), or a Video CD: a disc\n"
    "image (.cue, .bin with its .cue beside it, .nrg, cdrdao .toc) or a drive\n"
    "(/dev/sr0), whose MPEG tracks are sent in order. DISC#N is track N of a\n"
    "disc, counted from 1 as its MPEGAV/AVSEQnn.DAT files count them.\n"
    "\n"
    "  --channel N  broadcast on channel N (0 to 3); without it, on the first\n"
    "               channel on which nothing is heard for about one second\n"
    "  --track N    of each disc, send only track N\n"
    "  --loop       after the last file start again from the first, until stopped\n"
    "  --help       show this text and exit\n"
    "  --version    show the version and exit\n"
    "  --           end of options: every later argument is a file\n"
    "\n"
    "Each file is sent at about the pace it plays (its mux rate), a little ahead,\n"
    "so that tuned stations neither starve nor overflow. The next file starts\n"
    "only once stations tuned in can have played out the last one.\n"
    "\n"
    "Every file and disc must exist and be readable before anything is sent.\n"
    "Ctrl-C or SIGTERM stops the broadcast with its close packets.\n"
    "\n"
    "When another sender broadcasts on the same channel, the broadcast says so\n"
    "and moves to a free channel, going on from where it was; it leaves the\n"
    "taken channel without a close packet, which would stop the other sender's\n"
    "listeners too.\n"
    "\n"
    "Exit status: 0 all files sent; 1 a file cannot be broadcast, could not be\n"
    "read to its end (a read error, a file that shrank) or no channel is free;\n"
    "2 bad usage; 128 + signal number when stopped by a signal.\n";

struct Options {
    int channel = -1;  // -1: ask the free-channel probe
    int track = 0;     // 0: every track of a disc
    bool loop = false;
    bool help = false;
    bool version = false;
    std::vector<std::string> files;
};

// False, with the reason on stderr, for bad usage.
bool ParseArguments(int argc, char** argv, Options& options)
{
    bool options_ended = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (options_ended || argument.size() < 2 || argument[0] != '-') {
            options.files.emplace_back(argument);
            continue;
        }
        std::optional<std::string_view> channel_text;
        std::optional<std::string_view> track_text;
        if (argument == "--") {
            options_ended = true;
        } else if (argument == "--help" || argument == "-h") {
            options.help = true;
            return true;
        } else if (argument == "--version") {
            options.version = true;
            return true;
        } else if (argument == "--loop") {
            options.loop = true;
        } else if (argument == "--channel") {
            if (i + 1 == argc) {
                std::fprintf(stderr, "kinoverd-cast: --channel needs a channel number\n");
                return false;
            }
            channel_text = argv[++i];
        } else if (argument.starts_with("--channel=")) {
            channel_text = argument.substr(std::strlen("--channel="));
        } else if (argument == "--track") {
            if (i + 1 == argc) {
                std::fprintf(stderr, "kinoverd-cast: --track needs a track number\n");
                return false;
            }
            track_text = argv[++i];
        } else if (argument.starts_with("--track=")) {
            track_text = argument.substr(std::strlen("--track="));
        } else {
            std::fprintf(stderr, "kinoverd-cast: unknown option '%s'\n", argv[i]);
            return false;
        }
        if (channel_text) {
            const auto channel = ParseChannelNumber(*channel_text);
            if (!channel) {
                std::fprintf(stderr, "kinoverd-cast: channel must be a number from %d to %d, not '%.*s'\n",
                             wire::kFirstChannel, wire::kLastChannel, int(channel_text->size()),
                             channel_text->data());
                return false;
            }
            options.channel = *channel;
        }
        if (track_text) {
            const std::optional<int> track = ParseTrackNumber(*track_text);
            if (!track) {
                std::fprintf(stderr, "kinoverd-cast: track must be a number from 1 to 99, not '%.*s'\n",
                             int(track_text->size()), track_text->data());
                return false;
            }
            options.track = *track;
        }
    }
    if (options.files.empty()) {
        std::fprintf(stderr, "kinoverd-cast: no files to broadcast\n");
        return false;
    }
    return true;
}

// False, with the reason on stderr, when `path` is not a readable regular file.
bool CheckReadable(const std::string& path)
{
    // Non-blocking: a named pipe without a writer would hold the open for
    // ever, and with the stopping signals blocked nothing could end it.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat status {};
    const bool opened = fd >= 0 && fstat(fd, &status) == 0;
    const int error = errno;
    if (fd >= 0) close(fd);
    if (!opened) {
        std::fprintf(stderr, "kinoverd-cast: %s: %s\n", path.c_str(), std::strerror(error));
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        std::fprintf(stderr, "kinoverd-cast: %s: not a regular file\n", path.c_str());
        return false;
    }
    return true;
}

// The names to broadcast for one FILE argument: a disc's tracks (all, or the
// one asked for), a file itself. Empty, with the reason on stderr, when it
// cannot be broadcast.
std::vector<std::string> ExpandArgument(const std::string& argument, int track)
{
    std::string error;
    if (IsDisc(argument)) {
        std::vector<std::string> names = VideoCdTrackNames(argument, error);
        if (names.empty()) {
            std::fprintf(stderr, "kinoverd-cast: %s: %s\n", argument.c_str(), error.c_str());
            return {};
        }
        if (track == 0) return names;
        if (size_t(track) > names.size()) {
            std::fprintf(stderr, "kinoverd-cast: %s: no track %d, only tracks 1 to %zu\n", argument.c_str(),
                         track, names.size());
            return {};
        }
        return {names[size_t(track - 1)]};
    }
    if (const auto name = ParseTrackName(argument)) {
        if (!DiscTrack::Open(name->disc, name->number, error)) {
            std::fprintf(stderr, "kinoverd-cast: %s: %s\n", argument.c_str(), error.c_str());
            return {};
        }
        return {argument};
    }
    if (!CheckReadable(argument)) return {};
    return {argument};
}

void ReportProgress(const Broadcaster& broadcaster)
{
    const uint32_t position = broadcaster.sent_position();
    const uint32_t seconds = position / kPlayingBytesPerSecond;
    std::printf("%s: %u / %u bytes, %02u:%02u\n", broadcaster.file_name().c_str(), position,
                broadcaster.stream_length(), seconds / 60, seconds % 60);
}

// A caster that found its channel taken waits a random pause of up to
// kRecheckDelayMilliseconds, then moves only if the other sender is still
// heard during kStillThereWindow: of two casters that collide, the first to
// move usually leaves the channel to the other.
constexpr int kRecheckDelayMilliseconds = 700;
constexpr auto kStillThereWindow = std::chrono::milliseconds(300);

// Stops the broadcast and starts it again where it was on a free channel
// other than `channel`, which it then names. Empty when it runs again;
// otherwise the exit status.
std::optional<int> MoveToFreeChannel(const std::string& path, int& channel, BroadcastEndFlag& ended,
                                     const TrackOpener& tracks,
                                     std::unique_ptr<Broadcaster>& broadcaster,
                                     std::unique_ptr<PlayingPace>& pace, ChannelWatch& watch)
{
    const uint32_t position = broadcaster->sent_position();
    const auto started = pace->start();
    pace.reset();
    watch.Stop();
    // Without a close packet: the channel is the other sender's now, and
    // other stations obey a close from anyone. Ours hear silence.
    broadcaster->StopQuietly();
    const int free_channel = FreeChannelProbe(wire::kBlockSize).FindFreeChannel(channel);
    if (free_channel < 0) {
        std::fprintf(stderr, "%s\n", kNoFreeChannelText);
        return kExitFailure;
    }
    channel = free_channel;
    ended.Take();
    broadcaster = std::make_unique<Broadcaster>(path, channel, wire::kBlockSize, &ended, &tracks);
    if (!broadcaster->Start(position)) {
        std::fprintf(stderr, "%s: %s: %s\n", Broadcaster::kFileErrorText, path.c_str(),
                     broadcaster->error().c_str());
        return kExitFailure;
    }
    std::printf("moved to channel %d (group %s, data port %u, control port %u) at byte %u\n", channel,
                wire::GroupAddress(channel).c_str(), unsigned(wire::DataPort(channel)),
                unsigned(wire::ControlPort(channel)), broadcaster->start_offset());
    if (!watch.Start(channel, *broadcaster))
        std::fprintf(stderr, "kinoverd-cast: cannot watch channel %d for other senders\n", channel);
    broadcaster->Run();
    pace = std::make_unique<PlayingPace>(*broadcaster, started);
    return std::nullopt;
}

// Broadcasts one file to its end on `channel`, moving it to a free channel
// when another sender takes it. Empty when the file ended, with `played_out`
// set to when tuned stations can have played it out; otherwise the exit
// status (a file that cannot be broadcast, no free channel, a stopping signal).
std::optional<int> BroadcastFile(const std::string& path, int& channel, BroadcastEndFlag& ended,
                                 const StopSignals& signals, const TrackOpener& tracks,
                                 Clock::time_point& played_out)
{
    // A signal that came while the previous file was being shut down: its end
    // packet has told the receivers that stream is over, nothing more to send.
    if (const auto signal = signals.Take()) return kExitSignalBase + *signal;

    ended.Take();
    auto broadcaster = std::make_unique<Broadcaster>(path, channel, wire::kBlockSize, &ended, &tracks);
    // The broadcaster would send such a file byte for byte or, with a RIFF
    // header, as Video CD sectors from a guessed offset: nobody could play
    // the result. Checked before start, whose complaint about such a file
    // would mislead.
    if (broadcaster->lacks_mpeg_pack()) {
        std::fprintf(stderr, "kinoverd-cast: %s: %s\n", path.c_str(), MediaStreamFile::kNoPackText);
        return kExitFailure;
    }
    if (!broadcaster->Start(0)) {
        std::fprintf(stderr, "%s: %s: %s\n", Broadcaster::kFileErrorText, path.c_str(),
                     broadcaster->error().c_str());
        return kExitFailure;
    }
    ChannelWatch watch;
    if (!watch.Start(channel, *broadcaster))
        std::fprintf(stderr, "kinoverd-cast: cannot watch channel %d for other senders\n", channel);
    broadcaster->Run();
    auto pace = std::make_unique<PlayingPace>(*broadcaster);

    std::minstd_rand random(std::random_device{}());
    // After a conflict: a random pause, then a look at who is still heard.
    enum class Recheck { kNone, kPausing, kListening } recheck = Recheck::kNone;
    Clock::time_point recheck_at{};
    uint64_t foreign_at_recheck = 0;
    auto next_report = Clock::now() + kReportInterval;
    for (;;) {
        pace->Update();
        const auto wait = std::min<Clock::duration>(
            std::chrono::ceil<std::chrono::milliseconds>(next_report - Clock::now()), kPaceInterval);
        pollfd fds[] = {{signals.fd(), POLLIN, 0}, {ended.fd(), POLLIN, 0}};
        const auto wait_ms = std::chrono::ceil<std::chrono::milliseconds>(wait).count();
        if (poll(fds, 2, int(std::max<int64_t>(wait_ms, 0))) < 0 && errno != EINTR) {
            std::fprintf(stderr, "kinoverd-cast: poll: %s\n", std::strerror(errno));
            broadcaster->StopAndClose();
            return kExitFailure;
        }
        if (fds[0].revents & POLLIN) {
            if (const auto signal = signals.Take()) {
                broadcaster->StopAndClose();
                return kExitSignalBase + *signal;
            }
        }
        if (ended.Take()) {
            ReportProgress(*broadcaster);
            played_out = pace->PlayedOutAt(Clock::now());
            broadcaster->StopQuietly();
            const std::string read_error = broadcaster->read_error();
            if (read_error.empty()) return std::nullopt;
            std::fprintf(stderr, "%s: %s: %s\n", Broadcaster::kFileErrorText, path.c_str(), read_error.c_str());
            return kExitFailure;
        }
        const auto now = Clock::now();
        if (const auto other = watch.TakeConflict(); other && recheck == Recheck::kNone) {
            std::fprintf(stderr, "kinoverd-cast: channel %d is taken by another sender (%s)\n",
                         channel, other->ToString().c_str());
            recheck = Recheck::kPausing;
            recheck_at = now + std::chrono::milliseconds(
                                   std::uniform_int_distribution<int>(0, kRecheckDelayMilliseconds)(random));
        }
        if (recheck == Recheck::kPausing && now >= recheck_at) {
            recheck = Recheck::kListening;
            foreign_at_recheck = watch.foreign();
        }
        if (recheck == Recheck::kListening && now >= recheck_at + kStillThereWindow) {
            recheck = Recheck::kNone;
            if (watch.foreign() > foreign_at_recheck) {
                if (const auto status = MoveToFreeChannel(path, channel, ended, tracks, broadcaster, pace, watch))
                    return status;
            }
        }
        if (Clock::now() >= next_report) {
            ReportProgress(*broadcaster);
            next_report += kReportInterval;
        }
    }
}

// Waits until `played_out`, so that no tuned station misses the beginning of
// the next file while it still plays the last one. Empty when the time has
// come; otherwise the exit status of a stopping signal.
std::optional<int> AwaitPlayOut(Clock::time_point played_out, const StopSignals& signals)
{
    for (;;) {
        if (const auto signal = signals.Take()) return kExitSignalBase + *signal;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(played_out - Clock::now()).count();
        if (left <= 0) return std::nullopt;
        pollfd fd{signals.fd(), POLLIN, 0};
        poll(&fd, 1, int(left));
    }
}

int Cast(const Options& options, const StopSignals& signals)
{
    std::vector<std::string> names;
    for (const auto& argument : options.files) {
        const std::vector<std::string> expanded = ExpandArgument(argument, options.track);
        if (expanded.empty()) return kExitFailure;
        names.insert(names.end(), expanded.begin(), expanded.end());
    }

    int channel = options.channel;
    if (channel < 0) {
        channel = FreeChannelProbe(wire::kBlockSize).FindFreeChannel();
        if (channel < 0) {
            std::fprintf(stderr, "%s\n", kNoFreeChannelText);
            return kExitFailure;
        }
    }
    std::printf("channel %d (group %s, data port %u, control port %u)\n", channel,
                wire::GroupAddress(channel).c_str(), unsigned(wire::DataPort(channel)),
                unsigned(wire::ControlPort(channel)));

    BroadcastEndFlag ended;
    if (!ended.is_open()) {
        std::fprintf(stderr, "kinoverd-cast: eventfd: %s\n", std::strerror(errno));
        return kExitFailure;
    }
    const DiscTrackOpener tracks;
    std::optional<Clock::time_point> played_out;  // of the file sent last
    do {
        for (const auto& name : names) {
            if (played_out) {
                if (const auto status = AwaitPlayOut(*played_out, signals)) return *status;
            }
            played_out.emplace();
            if (const auto status = BroadcastFile(name, channel, ended, signals, tracks, *played_out))
                return *status;
        }
    } while (options.loop);
    return kExitDone;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseArguments(argc, argv, options)) {
        std::fprintf(stderr, "Try 'kinoverd-cast --help'.\n");
        return kExitUsage;
    }
    if (options.help) {
        std::fputs(kUsage, stdout);
        return kExitDone;
    }
    if (options.version) {
        std::puts("kinoverd-cast " KINOVERD_VERSION);
        return kExitDone;
    }

    // Progress lines must reach a pipe as they happen.
    setvbuf(stdout, nullptr, _IOLBF, 0);
    // A closed output pipe must not kill the process before its close packets.
    signal(SIGPIPE, SIG_IGN);
    const StopSignals signals;
    if (!signals.is_open()) {
        std::fprintf(stderr, "kinoverd-cast: signalfd: %s\n", std::strerror(errno));
        return kExitFailure;
    }
    const int status = Cast(options, signals);
    return status;
}
