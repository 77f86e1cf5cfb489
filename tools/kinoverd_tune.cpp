// SPDX-License-Identifier: GPL-3.0-or-later
// kinoverd-tune: tunes in to a channel of the local network as a station's
// player does and writes the received stream to a file or standard output,
// so that any other player can read the channel from a pipe.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "tools/channel_number.h"
#include "tools/channel_tuner.h"
#include "tools/stop_signals.h"

namespace {

using namespace kinoverd;

constexpr int kExitUsage = 2;

constexpr const char* kUsage =
    "Usage: kinoverd-tune --channel N [--output FILE|-]\n"
    "       kinoverd-tune --help | --version\n"
    "Tunes in to channel N (0 to 3) of the local network and writes the stream\n"
    "it receives to FILE, or to standard output (the default, or '-').\n"
    "\n"
    "Waits for the next stream-start packet, then writes what a player reads:\n"
    "the first 64 KiB of the stream, then the data from the position the\n"
    "broadcast had reached. Tuned in before a broadcast begins, that is the\n"
    "whole stream, byte for byte. Only the sender of that stream-start packet\n"
    "is listened to; datagrams from anyone else are counted and ignored.\n"
    "Blocks come out in stream order: duplicates and late blocks are dropped,\n"
    "a gap counts as lost blocks. Ends at the end of the stream (its last\n"
    "block or its end packet), when the broadcast is closed, after 5 seconds\n"
    "without a datagram from it, or on Ctrl-C / SIGTERM; a restarted broadcast\n"
    "continues in the same output. Waiting for a stream-start packet, it also\n"
    "ends when the broadcast it last heard closes or falls silent for 5\n"
    "seconds; nothing heard at all, it waits. Progress, lost, duplicate and\n"
    "foreign counts go to standard error.\n"
    "\n"
    "Exit status:\n"
    "  0  complete: the whole stream to its end, no block lost (a last part\n"
    "     shorter than 32 KiB that the sender left out is reported, no more)\n"
    "  1  cannot listen or cannot write\n"
    "  2  bad usage\n"
    "  3  damaged or incomplete: blocks were lost, or the broadcast was closed\n"
    "     or fell silent before its end (also before any stream began)\n"
    "  4  joined late: nothing lost from where the copy joined the stream to\n"
    "     its end, but it lacks what was sent before that point (tuned in\n"
    "     after the broadcast began, or the broadcast restarted elsewhere)\n"
    "  128 + signal number when stopped by a signal.\n";

struct Options {
    std::optional<int> channel;
    std::string output = "-";
    bool help = false;
    bool version = false;
};

bool ParseArguments(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        std::string_view argument = argv[i];
        std::optional<std::string_view> value;
        std::string_view name = argument;
        if (const auto equals = argument.find('='); argument.starts_with("--") && equals != argument.npos) {
            name = argument.substr(0, equals);
            value = argument.substr(equals + 1);
        }
        if (name == "--help" || name == "-h") {
            options.help = true;
            return true;
        }
        if (name == "--version") {
            options.version = true;
            return true;
        }
        if (name != "--channel" && name != "--output") {
            std::fprintf(stderr, "kinoverd-tune: unknown argument '%s'\n", argv[i]);
            return false;
        }
        if (!value) {
            if (i + 1 == argc) {
                std::fprintf(stderr, "kinoverd-tune: %s needs a value\n", argv[i]);
                return false;
            }
            value = argv[++i];
        }
        if (name == "--output") {
            options.output = std::string(*value);
        } else if (!(options.channel = ParseChannelNumber(*value))) {
            std::fprintf(stderr, "kinoverd-tune: channel must be a number from 0 to 3, not '%.*s'\n",
                         int(value->size()), value->data());
            return false;
        }
    }
    if (!options.channel) {
        std::fprintf(stderr, "kinoverd-tune: --channel is required\n");
        return false;
    }
    if (options.output.empty()) {
        std::fprintf(stderr, "kinoverd-tune: --output needs a file name or '-'\n");
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseArguments(argc, argv, options)) {
        std::fprintf(stderr, "Try 'kinoverd-tune --help'.\n");
        return kExitUsage;
    }
    if (options.help) {
        std::fputs(kUsage, stdout);
        return ChannelTuner::kExitDone;
    }
    if (options.version) {
        std::puts("kinoverd-tune " KINOVERD_VERSION);
        return ChannelTuner::kExitDone;
    }
    // A reader that closes the pipe ends the tuner through a write error.
    signal(SIGPIPE, SIG_IGN);
    // Opened while Ctrl-C still works: a named pipe waits here for its reader.
    int output_fd = STDOUT_FILENO;
    if (options.output != "-") {
        output_fd = open(options.output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (output_fd < 0) {
            std::fprintf(stderr, "kinoverd-tune: %s: %s\n", options.output.c_str(), std::strerror(errno));
            return ChannelTuner::kExitFailure;
        }
    }
    const StopSignals signals;
    if (!signals.is_open()) {
        std::fprintf(stderr, "kinoverd-tune: signalfd: %s\n", std::strerror(errno));
        return ChannelTuner::kExitFailure;
    }
    const int status = ChannelTuner(*options.channel, output_fd, signals).Tune();
    if (output_fd != STDOUT_FILENO && close(output_fd) != 0 && status == ChannelTuner::kExitDone) {
        std::fprintf(stderr, "kinoverd-tune: %s: %s\n", options.output.c_str(), std::strerror(errno));
        return ChannelTuner::kExitFailure;
    }
    return status;
}
