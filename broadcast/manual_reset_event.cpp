// SPDX-License-Identifier: GPL-3.0-or-later
#include "broadcast/manual_reset_event.h"

namespace kinoverd {

void ManualResetEvent::Set()
{
    {
        std::lock_guard lock(mutex_);
        signalled_ = true;
    }
    changed_.notify_all();
}

void ManualResetEvent::Reset()
{
    std::lock_guard lock(mutex_);
    signalled_ = false;
}

void ManualResetEvent::Wait()
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return signalled_; });
}

}  // namespace kinoverd
