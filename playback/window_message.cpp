#include "playback/window_message.h"

#include <QCoreApplication>

namespace kinoverd {

WindowMessage::WindowMessage(int message, uintptr_t wparam, intptr_t lparam)
    : QEvent(EventType()), message_(message), wparam_(wparam), lparam_(lparam)
{
}

QEvent::Type WindowMessage::EventType()
{
    static const QEvent::Type type = QEvent::Type(QEvent::registerEventType());
    return type;
}

void WindowMessage::Post(QObject* window, int message, uintptr_t wparam, intptr_t lparam)
{
    QCoreApplication::postEvent(window, new WindowMessage(message, wparam, lparam));
}

bool WindowMessage::Send(QObject* window, int message, uintptr_t wparam, intptr_t lparam)
{
    WindowMessage event(message, wparam, lparam);
    return QCoreApplication::sendEvent(window, &event);
}

}  // namespace kinoverd
