// SPDX-License-Identifier: GPL-3.0-or-later
// Long use in a few minutes: a station plays a short clip with Loop on, as
// a user who leaves the player running would, and this process's resident
// memory, descriptors, threads and GStreamer objects gained since are
// printed after the first play, every tenth, and as growth per 100 plays.
//
//   tools/private-lan build/bench/soak_bench [PLAYS [FILE]]    (default 100, short.mpg)
#include <QApplication>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "station/station.h"
#include "tests/support/process_footprint.h"
#include "bench/ready_to_play.h"
#include "tests/support/run_events_until.h"

namespace {

using namespace kinoverd;

void Print(int plays, const test::ProcessFootprint& footprint, int gst_objects_gained)
{
    std::printf("%5d plays: %7.1f MiB resident, %4d descriptors, %3d threads, %+6d GStreamer objects\n",
                plays, footprint.resident_kib / 1024.0, footprint.descriptors, footprint.threads,
                gst_objects_gained);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv)
{
    // Before GStreamer starts: the leaks tracer counts its objects (not mini
    // objects: buffers in flight would blur the count while a graph plays).
    setenv("GST_TRACERS", "leaks(filters=\"GstObject\")", 0);
    if (!bench::ReadyToPlay("soak_bench")) return 1;
    QApplication application(argc, argv);
    const int plays = argc > 1 ? std::atoi(argv[1]) : 100;
    const QString file = QString::fromLocal8Bit(argc > 2 ? argv[2] : KINOVERD_TEST_MEDIA_DIR "/short.mpg");
    if (plays < 1) {
        std::fprintf(stderr, "usage: soak_bench [PLAYS [FILE]]\n");
        return 2;
    }

    QWidget place;
    place.resize(485, 360);
    Station station;
    station.SetPicturePlace(&place, QRect(54, 29, 377, 302));
    int opened = 0;
    QString error;
    QObject::connect(&station, &Station::statusChanged, [&](const QString& text) {
        opened += text == Station::kOpenText;
    });
    QObject::connect(&station, &Station::errorOccurred, [&](const QString& text) { error = text; });
    station.SetLoop(true);
    station.Play({file});

    // Measured as the next play opens: the graph before it is torn down,
    // the next one not yet built.
    test::ProcessFootprint first;
    int gained = 0;
    for (int play = 1; play <= plays && error.isEmpty(); ++play) {
        if (!test::RunEventsUntil([&] { return opened > play || !error.isEmpty(); }, std::chrono::minutes(2))) {
            std::fprintf(stderr, "play %d did not start\n", play + 1);
            return 1;
        }
        const test::ProcessFootprint now = test::ReadProcessFootprint();
        if (play == 1) {
            first = now;
            if (!test::StartCountingGstObjects()) std::fprintf(stderr, "GStreamer objects are not counted\n");
        } else {
            gained += test::GstObjectsGained().value_or(0);
        }
        if (play == 1 || play % 10 == 0 || play == plays) Print(play, now, gained);
        if (play == plays && plays > 1) {
            const double per_100 = 100.0 / (plays - 1);
            std::printf("growth per 100 plays: %+.2f MiB, %+.0f descriptors, %+.0f threads, %+.0f GStreamer objects\n",
                        (double(now.resident_kib) - double(first.resident_kib)) / 1024.0 * per_100,
                        (now.descriptors - first.descriptors) * per_100, (now.threads - first.threads) * per_100,
                        gained * per_100);
        }
    }
    station.Stop();
    if (!error.isEmpty()) {
        std::fprintf(stderr, "the station reported: %s\n", qPrintable(error));
        return 1;
    }
    return 0;
}
