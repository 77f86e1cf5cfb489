// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/recorded_events.h"

#include <algorithm>

namespace kinoverd::test {

void RecordedEvents::Record(Event event, uint32_t position)
{
    {
        std::lock_guard lock(mutex_);
        events_.push_back({event, position});
    }
    recorded_.notify_all();
}

bool RecordedEvents::WaitFor(Event event, std::chrono::milliseconds timeout, size_t count) const
{
    std::unique_lock lock(mutex_);
    return recorded_.wait_for(lock, timeout, [&] { return CountLocked(event) >= count; });
}

size_t RecordedEvents::Count(Event event) const
{
    std::lock_guard lock(mutex_);
    return CountLocked(event);
}

size_t RecordedEvents::CountLocked(Event event) const
{
    return size_t(std::count_if(events_.begin(), events_.end(),
                                [event](const RecordedEvent& e) { return e.event == event; }));
}

std::vector<RecordedEvent> RecordedEvents::events() const
{
    std::lock_guard lock(mutex_);
    return events_;
}

std::vector<Event> RecordedEvents::Notices() const
{
    std::vector<Event> notices;
    for (const RecordedEvent& e : events())
        if (e.event != Event::kResumePlayback)
            notices.push_back(e.event);
    return notices;
}

}  // namespace kinoverd::test
