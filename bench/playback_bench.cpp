// The whole receive-and-play path of a station, measured on a real broadcast
// in the private namespace, with gst-play-1.0 playing the same file from disk
// at the same time for comparison. Both play into a private PulseAudio null
// sink; video goes to our renderer and to a fakesink after the same
// conversion to 32-bit BGRx.
//
//   tools/private-lan build/bench/playback_bench [FILE]
//
// Reports: time from the first datagram to 8107 (the protocol's floor is
// 375 packets at 6 ms, about 2.26 s), from 8107 to the first frame shown,
// CPU seconds of the receive-and-play path (every thread of this process but
// the broadcaster's two) against gst-play-1.0's, and peak resident memory.
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>

#include "broadcast/broadcaster.h"
#include "playback/video_renderer.h"
#include "tests/support/child_process.h"
#include "tests/support/playback_host.h"
#include "tests/support/recorded_notify.h"
#include "tests/support/private_lan_check.h"
#include "tests/support/pulse_null_output.h"

namespace {

using namespace kinoverd;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration duration) { return std::chrono::duration<double>(duration).count(); }

double RusageSeconds(const rusage& usage)
{
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// CPU time of this process's threads, by thread, sampled while they live.
class ThreadCpu {
public:
    void Sample()
    {
        const long ticks = sysconf(_SC_CLK_TCK);
        for (const QString& tid : QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            std::ifstream file("/proc/self/task/" + tid.toStdString() + "/stat");
            std::string line;
            if (!std::getline(file, line)) continue;
            const size_t open = line.find('('), close = line.rfind(')');
            if (open == std::string::npos || close == std::string::npos) continue;
            std::istringstream rest(line.substr(close + 2));
            std::string field;
            // Fields after the name: state is field 3; utime and stime are 14 and 15.
            unsigned long long utime = 0, stime = 0;
            for (int index = 3; index <= 15 && rest >> field; ++index) {
                if (index == 14) utime = std::stoull(field);
                if (index == 15) stime = std::stoull(field);
            }
            Thread& thread = threads_[tid.toInt()];
            thread.name = line.substr(open + 1, close - open - 1);
            thread.seconds = double(utime + stime) / double(ticks);
        }
    }
    // Every thread whose name does not start with `prefix`.
    double SecondsExcept(const std::string& prefix) const
    {
        double total = 0;
        for (const auto& [tid, thread] : threads_)
            if (thread.name.rfind(prefix, 0) != 0) total += thread.seconds;
        return total;
    }

private:
    struct Thread {
        std::string name;
        double seconds = 0;
    };
    std::map<int, Thread> threads_;
};

}  // namespace

int main(int argc, char** argv)
{
    if (!test::InsidePrivateLan()) {
        std::fprintf(stderr, "playback_bench broadcasts: run it through tools/private-lan.\n");
        return 1;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const std::string file = argc > 1 ? argv[1] : std::string(KINOVERD_TEST_MEDIA_DIR) + "/long.mpg";

    test::PulseNullOutput& audio = test::PulseNullOutput::Shared();
    if (!audio.running()) {
        std::fprintf(stderr, "no audio output: %s\n", audio.error().c_str());
        return 1;
    }

    rusage children_before{};
    getrusage(RUSAGE_CHILDREN, &children_before);
    test::ChildProcess reference(
        "/usr/bin/gst-play-1.0",
        {"--no-interactive", "-q", "--videosink=videoconvert ! video/x-raw,format=BGRx ! fakesink sync=true",
         file});

    test::PlaybackHost host;
    test::RecordedNotify sender_notify;
    Broadcaster sender(file, 0, 2048, &sender_notify);
    host.on_ring_nearly_full = [&] { sender.HoldSendFor500ms(); };
    std::optional<Clock::time_point> first_frame;
    host.on_build = [&](int built) {
        if (!built || !host.renderer()) return;
        QObject::connect(host.renderer(), &VideoRenderer::framePresented, [&] {
            if (!first_frame) first_frame = Clock::now();
        });
    };
    if (!host.Tune(0) || !sender.Start(0)) {
        std::fprintf(stderr, "cannot start the broadcast of %s\n", file.c_str());
        return 1;
    }
    const Clock::time_point started = Clock::now();
    sender.Run();

    ThreadCpu threads;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] { threads.Sample(); });
    sampler.start(100);
    const bool ended = host.RunUntil([&] { return host.Count(kMsgEndOfStream) > 0; },
                                     std::chrono::minutes(30));
    threads.Sample();
    const Clock::time_point finished = Clock::now();
    sender.StopQuietly();

    const auto reference_status = reference.WaitForExit(std::chrono::minutes(5));
    rusage children_after{};
    getrusage(RUSAGE_CHILDREN, &children_after);
    rusage self{};
    getrusage(RUSAGE_SELF, &self);

    std::optional<Clock::time_point> half_full;
    for (const auto& received : host.received())
        if (received.message == kMsgRingHalfFull && !half_full) half_full = received.when;

    std::printf("file: %s\n", file.c_str());
    std::printf("played to the end: %s, frames shown: %d, underruns: %d, builds: %d\n",
                ended ? "yes" : "NO", host.frames(), host.Count(kMsgRingEmpty), host.builds());
    if (half_full) std::printf("first datagram -> 8107: %.3f s\n", Seconds(*half_full - started));
    if (half_full && first_frame)
        std::printf("8107 -> first frame:    %.0f ms\n", Seconds(*first_frame - *half_full) * 1000);
    const double ours = threads.SecondsExcept("kv-cast-");
    const double theirs = RusageSeconds(children_after) - RusageSeconds(children_before);
    std::printf("playing time:           %.1f s\n", Seconds(finished - started));
    std::printf("CPU, receive and play:  %.2f s\n", ours);
    std::printf("CPU, gst-play-1.0:      %.2f s (exit %d)\n", theirs,
                reference_status ? *reference_status : -1);
    if (theirs > 0) std::printf("ratio:                  %.2f\n", ours / theirs);
    std::printf("peak resident memory:   %ld MiB (this process, broadcaster included); "
                "gst-play-1.0 %ld MiB\n",
                self.ru_maxrss / 1024, children_after.ru_maxrss / 1024);
    return ended ? 0 : 1;
}
