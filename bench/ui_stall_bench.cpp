// SPDX-License-Identifier: GPL-3.0-or-later
// How long the user-interface thread stops answering while a station works:
// a 1 ms timer on that thread notes the longest gap between its ticks, over
// a new file opened while the channel search for the previous one runs, a
// seek to the middle of a clip, and a clip played to its end. For each, the
// call itself is timed too (what the user's click waits for), and the time
// until the new picture plays (or the programme is over).
//
//   tools/private-lan build/bench/ui_stall_bench
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>

#include "station/station.h"
#include "bench/ready_to_play.h"
#include "tests/support/run_events_until.h"

namespace {

using namespace kinoverd;
using namespace std::chrono_literals;

// The longest gap between ticks of a 1 ms timer since Restart.
class StallMeter {
public:
    StallMeter()
    {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(1);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            longest_ms_ = std::max(longest_ms_, clock_.restart());
        });
        timer_.start();
        clock_.start();
    }
    void Restart()
    {
        clock_.restart();
        longest_ms_ = 0;
    }
    qint64 longest_ms() const { return std::max(longest_ms_, clock_.elapsed()); }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 longest_ms_ = 0;
};

struct Case {
    qint64 call_ms;
    qint64 longest_ms;
    qint64 done_ms;
    bool finished;
};

// Times `act`, then waits up to a minute for `done`.
Case Measure(StallMeter& meter, const std::function<void()>& act, const std::function<bool()>& done)
{
    meter.Restart();
    QElapsedTimer call;
    call.start();
    act();
    const qint64 call_ms = call.elapsed();
    const bool finished = test::RunEventsUntil(done, std::chrono::minutes(1));
    return {call_ms, meter.longest_ms(), call.elapsed(), finished};
}

void Print(const char* what, const Case& result)
{
    std::printf("%-44s call %5lld ms, longest stall %5lld ms, done after %5lld ms%s\n", what,
                static_cast<long long>(result.call_ms), static_cast<long long>(result.longest_ms),
                static_cast<long long>(result.done_ms), result.finished ? "" : "  (did not finish)");
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv)
{
    if (!bench::ReadyToPlay("ui_stall_bench")) return 1;
    QApplication application(argc, argv);
    const QString long_clip = QStringLiteral(KINOVERD_TEST_MEDIA_DIR "/long.mpg");
    const QString short_clip = QStringLiteral(KINOVERD_TEST_MEDIA_DIR "/short.mpg");

    QWidget place;
    place.resize(485, 360);
    Station station;
    station.SetPicturePlace(&place, QRect(54, 29, 377, 302));
    bool playing = false;
    int pictures = 0;  // started so far
    QObject::connect(&station, &Station::pictureChanged, [&](bool on) {
        playing = on;
        pictures += on;
    });
    StallMeter meter;

    station.Play({short_clip});
    Print("open a file while the last one's search runs",
          Measure(meter, [&] { station.Play({long_clip}); }, [&] { return playing; }));
    test::RunEventsFor(3s);
    const int before_seek = pictures;
    Print("seek to the middle, to its picture",
          Measure(meter, [&] { station.SeekToPercent(50); }, [&] { return pictures > before_seek; }));
    station.Stop();

    station.Play({short_clip});
    test::RunEventsUntil([&] { return playing; }, std::chrono::minutes(1));
    Print("play a clip to its end", Measure(meter, [] {}, [&] { return !station.programme_running(); }));
    return 0;
}
