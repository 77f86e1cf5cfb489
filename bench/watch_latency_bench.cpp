// SPDX-License-Identifier: GPL-3.0-or-later
// Time from choosing a channel to the first picture, when a station starts
// watching another's broadcast: right after the broadcast began, and 20 s
// into it. The broadcast is kinoverd-cast's, of the 60-second test clip.
// Run it through tools/private-lan.
#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QWidget>

#include <cstdio>

#include "playback/video_renderer.h"
#include "station/station.h"
#include "tests/support/private_lan_check.h"
#include "tests/support/run_events_until.h"

namespace {

using namespace std::chrono_literals;
using kinoverd::test::RunEventsFor;
using kinoverd::test::RunEventsUntil;

// Seconds from Watch to the first picture presented, after the broadcast
// has run for `into`; negative when none came.
double TimeToFirstPicture(std::chrono::milliseconds into)
{
    QProcess cast;
    cast.start(QStringLiteral(KINOVERD_CAST_PATH),
               {QStringLiteral("--channel"), QStringLiteral("0"),
                QStringLiteral(KINOVERD_TEST_MEDIA_DIR "/long.mpg")});
    if (!cast.waitForStarted()) return -1;
    RunEventsFor(into);

    QWidget place;
    place.resize(485, 360);
    kinoverd::Station station;
    station.SetPicturePlace(&place, QRect(54, 29, 377, 302));
    QElapsedTimer chosen;
    chosen.start();
    station.Watch(0);
    const bool shown = RunEventsUntil(
        [&] {
            const auto* renderer = place.findChild<kinoverd::VideoRenderer*>();
            return renderer && renderer->frames_presented() > 0;
        },
        20s);
    const double seconds = chosen.elapsed() / 1000.0;
    station.Stop();
    cast.terminate();
    cast.waitForFinished();
    return shown ? seconds : -1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (!kinoverd::test::InsidePrivateLan()) {
        std::fprintf(stderr, "watch_latency_bench listens to broadcasts: run it through tools/private-lan.\n");
        return 1;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    for (const auto into : {std::chrono::milliseconds(300), std::chrono::milliseconds(20s)}) {
        std::printf("joined %5.1f s in: first picture %.2f s after choosing the channel\n",
                    into.count() / 1000.0, TimeToFirstPicture(into));
    }
    return 0;
}
