#include "tests/support/recorded_notify.h"

#include <algorithm>

namespace kinoverd::test {

void RecordedNotify::Post(int message, uintptr_t wparam, intptr_t lparam)
{
    {
        std::lock_guard lock(mutex_);
        messages_.push_back({message, wparam, lparam, std::chrono::steady_clock::now()});
    }
    posted_.notify_all();
}

bool RecordedNotify::WaitFor(int message, std::chrono::milliseconds timeout, size_t count) const
{
    std::unique_lock lock(mutex_);
    return posted_.wait_for(lock, timeout, [&] { return CountLocked(message) >= count; });
}

size_t RecordedNotify::Count(int message) const
{
    std::lock_guard lock(mutex_);
    return CountLocked(message);
}

size_t RecordedNotify::CountLocked(int message) const
{
    return size_t(
        std::count_if(messages_.begin(), messages_.end(),
                      [message](const PostedMessage& m) { return m.message == message; }));
}

std::vector<PostedMessage> RecordedNotify::messages() const
{
    std::lock_guard lock(mutex_);
    return messages_;
}

}  // namespace kinoverd::test
