// SPDX-License-Identifier: GPL-3.0-or-later
// The whole broadcast-and-play path of a station, measured as the user runs
// it: a Station plays a file (broadcasting it in the private namespace and
// playing its own broadcast back), with gst-play-1.0 playing the same file
// from disk at the same time for comparison. Both play into a private
// PulseAudio null sink; video goes to our renderer and to a fakesink after
// the same conversion to 32-bit BGRx.
//
//   tools/private-lan build/bench/playback_bench [FILE]
//
// Reports: time from the first datagram to the ring half full (the
// protocol's floor is 375 packets at 6 ms, about 2.26 s), on to the picture
// built and its first frame shown; the frames shown against those ffprobe
// counts in the file; CPU seconds of the receive-and-play path (every thread
// of this process but the broadcaster's two) against gst-play-1.0's; the
// threads one playing graph adds; and peak resident memory.
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "playback/media_graph_controller.h"
#include "playback/video_renderer.h"
#include "station/station.h"
#include "tests/support/child_process.h"
#include "tests/support/frame_count.h"
#include "bench/ready_to_play.h"

namespace {

using namespace kinoverd;
using Clock = std::chrono::steady_clock;

// The broadcaster's threads and this bench's own clock are no part of
// receiving and playing.
const std::vector<std::string> kNotReceiveAndPlay = {"kv-cast-", "bench-"};

double Seconds(Clock::duration duration) { return std::chrono::duration<double>(duration).count(); }

double Milliseconds(Clock::duration duration) { return Seconds(duration) * 1000; }

double RusageSeconds(const rusage& usage)
{
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

bool StartsWithAny(const std::string& name, const std::vector<std::string>& prefixes)
{
    for (const std::string& prefix : prefixes)
        if (name.rfind(prefix, 0) == 0) return true;
    return false;
}

// A process's threads, sampled while they live: CPU time by thread, and
// the most threads that were added for the programme (not there before it)
// at once while a picture played. One thread at a time.
class ThreadSampler {
public:
    explicit ThreadSampler(const std::string& process = "self") : tasks_("/proc/" + process + "/task/") {}

    void MarkBaseline()
    {
        Sample(false);
        for (const auto& [tid, thread] : threads_) baseline_.insert(tid);
    }

    void Sample(bool picture_playing)
    {
        const long ticks = sysconf(_SC_CLK_TCK);
        std::vector<std::string> added_now;
        for (const QString& tid : QDir(QString::fromStdString(tasks_)).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            std::ifstream file(tasks_ + tid.toStdString() + "/stat");
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
            if (picture_playing && !baseline_.count(tid.toInt()) && !StartsWithAny(thread.name, {"bench-"}))
                added_now.push_back(thread.name);
        }
        if (added_now.size() > added_while_playing_.size()) added_while_playing_ = added_now;
    }

    double SecondsExcept(const std::vector<std::string>& prefixes) const
    {
        double total = 0;
        for (const auto& [tid, thread] : threads_)
            if (!StartsWithAny(thread.name, prefixes)) total += thread.seconds;
        return total;
    }
    // "name 1.23 s" for each thread name outside `prefixes`, the busiest first.
    std::string Busiest(const std::vector<std::string>& prefixes) const
    {
        std::map<std::string, double> by_name;
        for (const auto& [tid, thread] : threads_)
            if (!StartsWithAny(thread.name, prefixes)) by_name[thread.name] += thread.seconds;
        std::vector<std::pair<double, std::string>> sorted;
        for (const auto& [name, seconds] : by_name) sorted.emplace_back(seconds, name);
        std::sort(sorted.rbegin(), sorted.rend());
        std::string text;
        for (const auto& [seconds, name] : sorted) {
            if (seconds < 0.01) break;
            char item[64];
            std::snprintf(item, sizeof item, "%s%s %.2f s", text.empty() ? "" : ", ", name.c_str(), seconds);
            text += item;
        }
        return text;
    }
    // Names of the most threads added for the programme at once while a picture played.
    const std::vector<std::string>& added_while_playing() const { return added_while_playing_; }

private:
    struct Thread {
        std::string name;
        double seconds = 0;
    };
    std::string tasks_;
    std::map<int, Thread> threads_;
    std::set<int> baseline_;
    std::vector<std::string> added_while_playing_;
};

// When the station's reception accepted the stream's first datagram and
// when it found its ring half full, watched from a thread of its own: right
// after, the user-interface thread is busy building the graph.
class ReceptionClock {
public:
    explicit ReceptionClock(const DatagramAdmission& admission)
        : thread_([this, &admission] { Watch(admission); })
    {
    }
    ~ReceptionClock() { Stop(); }

    // Read them only after Stop.
    void Stop()
    {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    std::optional<Clock::time_point> first_datagram;  // written by the clock's thread
    std::optional<Clock::time_point> half_full;       // written by the clock's thread

private:
    void Watch(const DatagramAdmission& admission)
    {
        pthread_setname_np(pthread_self(), "bench-clock");
        while (!stop_ && !half_full) {
            const Clock::time_point now = Clock::now();
            if (!first_datagram && admission.stream_accepted()) first_datagram = now;
            if (admission.start_requested()) half_full = now;
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
    }

    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// "name x2, other" for a list of thread names.
std::string Tally(const std::vector<std::string>& names)
{
    std::map<std::string, int> counts;
    for (const std::string& name : names) ++counts[name];
    std::string text;
    for (const auto& [name, count] : counts) {
        if (!text.empty()) text += ", ";
        text += name + (count > 1 ? " x" + std::to_string(count) : "");
    }
    return text;
}

}  // namespace

int main(int argc, char** argv)
{
    if (!bench::ReadyToPlay("playback_bench")) return 1;
    QApplication application(argc, argv);
    const std::string file = argc > 1 ? argv[1] : std::string(KINOVERD_TEST_MEDIA_DIR) + "/long.mpg";

    QWidget place;
    place.resize(485, 360);
    Station station;
    station.SetPicturePlace(&place, QRect(54, 29, 378, 303));
    station.set_channel_finder([] { return 0; });

    std::atomic<bool> picture_playing{false};
    int pictures = 0;
    int frames = 0;
    bool ended = false;
    QString error;
    std::optional<Clock::time_point> picture_built, first_frame;
    QObject::connect(&station, &Station::pictureChanged, [&](bool playing) {
        picture_playing = playing;
        if (!playing) return;
        ++pictures;
        if (!picture_built) picture_built = Clock::now();
        QObject::connect(place.findChild<VideoRenderer*>(), &VideoRenderer::framePresented, [&] {
            ++frames;
            if (!first_frame) first_frame = Clock::now();
        });
    });
    // Woken only by the station: a polling wait would wake the
    // user-interface thread more often than the frames do, and be counted.
    QEventLoop playing;
    QObject::connect(&station, &Station::statusChanged, [&](const QString& text) {
        ended = ended || text == Station::kTheEndText;
        if (ended) playing.quit();
    });
    QObject::connect(&station, &Station::errorOccurred, [&](const QString& text) {
        error = text;
        playing.quit();
    });
    QTimer::singleShot(std::chrono::minutes(30), &playing, &QEventLoop::quit);

    ThreadSampler threads;
    threads.MarkBaseline();
    rusage children_before{};
    getrusage(RUSAGE_CHILDREN, &children_before);
    test::ChildProcess reference(
        "/usr/bin/gst-play-1.0",
        {"--no-interactive", "-q", "--videosink=videoconvert ! video/x-raw,format=BGRx ! fakesink sync=true",
         file});

    ThreadSampler reference_threads(std::to_string(reference.pid()));

    ReceptionClock reception_clock(station.controller().reception().admission());
    const Clock::time_point started = Clock::now();
    station.Play({QString::fromStdString(file)});

    // Sampled on a thread of its own, so that reading /proc is not counted
    // as the user-interface thread's work.
    std::atomic<bool> sampling{true};
    std::thread sampler([&] {
        pthread_setname_np(pthread_self(), "bench-sampler");
        while (sampling) {
            threads.Sample(picture_playing);
            reference_threads.Sample(false);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    // An error told while starting has quit the loop before it ran.
    if (error.isEmpty()) playing.exec();
    sampling = false;
    sampler.join();
    threads.Sample(false);
    const Clock::time_point finished = Clock::now();
    reception_clock.Stop();
    if (!error.isEmpty()) std::fprintf(stderr, "%s\n", error.toUtf8().constData());

    const auto reference_status = reference.WaitForExit(std::chrono::minutes(5));
    rusage children_after{};
    getrusage(RUSAGE_CHILDREN, &children_after);
    rusage self{};
    getrusage(RUSAGE_SELF, &self);

    const auto& first_datagram = reception_clock.first_datagram;
    const auto& half_full = reception_clock.half_full;
    std::printf("file: %s\n", file.c_str());
    std::printf("played to the end: %s, underruns: %d, pictures built: %d\n", ended ? "yes" : "NO",
                station.underruns(), pictures);
    std::printf("frames shown:                     %d of %d in the file (ffprobe)\n", frames,
                test::FramesInFile(file));
    if (first_datagram)
        std::printf("Play -> first datagram:           %.0f ms\n", Milliseconds(*first_datagram - started));
    if (first_datagram && half_full)
        std::printf("first datagram -> ring half full: %.3f s\n", Seconds(*half_full - *first_datagram));
    if (half_full && picture_built)
        std::printf("ring half full -> picture built:  %.0f ms\n", Milliseconds(*picture_built - *half_full));
    if (picture_built && first_frame)
        std::printf("picture built -> first frame:     %.0f ms\n", Milliseconds(*first_frame - *picture_built));
    const double ours = threads.SecondsExcept(kNotReceiveAndPlay);
    const double theirs = RusageSeconds(children_after) - RusageSeconds(children_before);
    std::printf("playing time:                     %.1f s\n", Seconds(finished - started));
    std::printf("CPU, receive and play:            %.2f s\n", ours);
    std::printf("  by thread:                      %s\n", threads.Busiest(kNotReceiveAndPlay).c_str());
    std::printf("CPU, gst-play-1.0:                %.2f s (exit %d)\n", theirs,
                reference_status ? *reference_status : -1);
    std::printf("  by thread:                      %s\n", reference_threads.Busiest({}).c_str());
    if (theirs > 0) std::printf("ratio:                            %.2f\n", ours / theirs);
    // The station's own threads are named kv-; the rest belong to the graph.
    std::vector<std::string> graph_threads, station_threads;
    for (const std::string& name : threads.added_while_playing())
        (name.rfind("kv-", 0) == 0 ? station_threads : graph_threads).push_back(name);
    std::printf("threads of the playing graph:     %zu (%s)\n", graph_threads.size(),
                Tally(graph_threads).c_str());
    std::printf("threads of the station besides:   %zu (%s)\n", station_threads.size(),
                Tally(station_threads).c_str());
    std::printf("peak resident memory:             %ld MiB (this process, broadcaster included); "
                "gst-play-1.0 %ld MiB\n",
                self.ru_maxrss / 1024, children_after.ru_maxrss / 1024);
    return ended ? 0 : 1;
}
