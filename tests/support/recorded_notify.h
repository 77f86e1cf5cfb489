// A notify target that keeps every posted message, for tests that check
// what worker threads report and when.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "broadcast/notify_target.h"

namespace kinoverd::test {

struct PostedMessage {
    int message = 0;
    uintptr_t wparam = 0;
    intptr_t lparam = 0;
    std::chrono::steady_clock::time_point when;
};

class RecordedNotify : public NotifyTarget {
public:
    void Post(int message, uintptr_t wparam, intptr_t lparam) override;

    // True as soon as `message` has been posted at least `count` times in
    // all; false after `timeout`.
    bool WaitFor(int message, std::chrono::milliseconds timeout, size_t count = 1) const;
    size_t Count(int message) const;
    std::vector<PostedMessage> messages() const;

private:
    size_t CountLocked(int message) const;

    mutable std::mutex mutex_;
    mutable std::condition_variable posted_;
    std::vector<PostedMessage> messages_;  // guarded by mutex_
};

}  // namespace kinoverd::test
