#include "playback/window_notify_target.h"

#include "playback/window_message.h"

namespace kinoverd {

void WindowNotifyTarget::Post(int message, uintptr_t wparam, intptr_t lparam)
{
    WindowMessage::Post(window_, message, wparam, lparam);
}

}  // namespace kinoverd
