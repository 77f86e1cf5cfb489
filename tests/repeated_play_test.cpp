// SPDX-License-Identifier: GPL-3.0-or-later
// Hours of use in a minute: a station plays a clip again and again, and
// every play gives back what it took (descriptors, threads, GStreamer
// objects; GST_TRACERS=leaks is set for this test).
#include <QWidget>
#include <gtest/gtest.h>

#include "station/station.h"
#include "tests/support/player_checks.h"
#include "tests/support/process_footprint.h"
#include "tests/support/pulse_null_output.h"

namespace kinoverd::test {
namespace {

using namespace std::chrono_literals;

TEST(RepeatedPlay, TwentyPlaysGiveBackEveryDescriptorThreadAndGStreamerObject)
{
    // Sound too goes where a desktop's goes: a sound server.
    ASSERT_TRUE(PulseNullOutput::Shared().running()) << PulseNullOutput::Shared().error();
    QWidget picture;
    picture.resize(485, 360);
    picture.show();
    Station station;
    station.SetPicturePlace(&picture, QRect(54, 29, 377, 302));
    bool playing = false;
    QString status;
    QObject::connect(&station, &Station::pictureChanged, [&](bool on) { playing = on; });
    QObject::connect(&station, &Station::statusChanged, [&](const QString& text) { status = text; });

    // Each play is stopped once its picture and its time show, as a user
    // choosing another file would; the first one makes what GStreamer keeps
    // for the process (element classes, their templates).
    auto play_once = [&] {
        station.Play({Media("short.mpg")});
        const bool shown = RunUntil([&] { return playing && IsElapsedTime(status); }, 30s);
        station.Stop();
        return shown;
    };
    ASSERT_TRUE(play_once());
    const ProcessFootprint before = ReadProcessFootprint();
    ASSERT_TRUE(StartCountingGstObjects()) << "the leaks tracer is not on";
    for (int play = 1; play < 20; ++play) ASSERT_TRUE(play_once()) << "play " << play;
    // GLib's pools let an idle thread linger a moment before it ends, so
    // `before` may count a few that have ended since; a leak would add one
    // or more for each of the nineteen plays.
    ProcessFootprint after;
    RunUntil([&] {
        after = ReadProcessFootprint();
        return after.descriptors == before.descriptors && after.threads <= before.threads;
    }, 10s);

    EXPECT_EQ(after.descriptors, before.descriptors);
    EXPECT_LE(after.threads, before.threads);
    EXPECT_EQ(GstObjectsGained(), 0);
}

}  // namespace
}  // namespace kinoverd::test
