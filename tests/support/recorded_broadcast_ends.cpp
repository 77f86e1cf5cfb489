// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/recorded_broadcast_ends.h"

namespace kinoverd::test {

void RecordedBroadcastEnds::BroadcastEnded()
{
    {
        std::lock_guard lock(mutex_);
        ++ends_;
    }
    reported_.notify_all();
}

bool RecordedBroadcastEnds::WaitFor(std::chrono::milliseconds timeout, size_t count) const
{
    std::unique_lock lock(mutex_);
    return reported_.wait_for(lock, timeout, [&] { return ends_ >= count; });
}

size_t RecordedBroadcastEnds::Count() const
{
    std::lock_guard lock(mutex_);
    return ends_;
}

}  // namespace kinoverd::test
