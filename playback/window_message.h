// A private window message as a Qt event: the message number, wParam and
// lParam, posted to a window's queue (from any thread) or sent to it (same
// thread, handled before the call returns).
#pragma once

#include <QEvent>

#include <cstdint>

class QObject;

namespace kinoverd {

class WindowMessage : public QEvent {
public:
    WindowMessage(int message, uintptr_t wparam, intptr_t lparam);

    // The one event type that carries every private message.
    static QEvent::Type EventType();

    int message() const { return message_; }
    uintptr_t wparam() const { return wparam_; }
    intptr_t lparam() const { return lparam_; }

    // Queued to `window`; safe from any thread.
    static void Post(QObject* window, int message, uintptr_t wparam = 0, intptr_t lparam = 0);
    // Handled by `window` before this returns; user-interface thread only.
    static bool Send(QObject* window, int message, uintptr_t wparam = 0, intptr_t lparam = 0);

private:
    const int message_;
    const uintptr_t wparam_;
    const intptr_t lparam_;
};

}  // namespace kinoverd
