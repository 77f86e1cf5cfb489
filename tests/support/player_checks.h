// SPDX-License-Identifier: GPL-3.0-or-later
// What the player tests share: the test clips, counting packet kinds on the
// wire, reading the elapsed time a pane shows, and running the event loop.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QString>

#include <chrono>
#include <functional>
#include <ostream>

#include "broadcast/wire_format.h"
#include "tests/support/wire_capture.h"

// Failures show texts as text.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace kinoverd::test {

// A clip made by tools/make-test-media.sh; the test defines where they are.
inline QString Media(const char* name)
{
    return QStringLiteral(KINOVERD_TEST_MEDIA_DIR) + QLatin1Char('/') + QLatin1String(name);
}

inline int CountKind(const WireCapture::Records& records, wire::Kind kind)
{
    int count = 0;
    for (const CapturedDatagram& datagram : records)
        count += datagram.bytes.size() >= wire::kHeadBytes && wire::HasHead(datagram.bytes.data(), kind);
    return count;
}

// "hh:mm:ss", as the status pane shows the time.
inline bool IsElapsedTime(const QString& text)
{
    return text.size() == 8 && text[2] == QLatin1Char(':') && text[5] == QLatin1Char(':');
}

inline int ElapsedSeconds(const QString& text)
{
    return text.left(2).toInt() * 3600 + text.mid(3, 2).toInt() * 60 + text.mid(6, 2).toInt();
}

// Runs the event loop until `done()` holds; false on timeout.
inline bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeout.count()) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

inline void RunFor(std::chrono::milliseconds time) { RunUntil([] { return false; }, time); }

}  // namespace kinoverd::test
