// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the Qt event loop of a test or bench until a condition holds.
#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <chrono>

namespace kinoverd::test {

// A real event loop, checked every 10 ms: it sleeps between events, so the
// caller costs no CPU time of its own while the station plays. True as soon
// as `done()` holds; false once `timeout` has passed.
template <typename Done>
bool RunEventsUntil(Done done, std::chrono::milliseconds timeout)
{
    QElapsedTimer timer;
    timer.start();
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (done() || timer.elapsed() > timeout.count()) loop.quit();
    });
    check.start(10);
    if (!done()) loop.exec();
    return done();
}

inline void RunEventsFor(std::chrono::milliseconds time)
{
    RunEventsUntil([] { return false; }, time);
}

}  // namespace kinoverd::test
