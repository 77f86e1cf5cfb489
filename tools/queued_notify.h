// A NotifyTarget for command-line tools: posted messages wait in a queue
// that the main loop drains, and an eventfd wakes its poll. Post may be
// called from any thread.
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>

#include "broadcast/notify_target.h"

namespace kinoverd {

class QueuedNotify : public NotifyTarget {
public:
    struct Message {
        int number;
        uintptr_t wparam;
    };

    QueuedNotify();
    ~QueuedNotify() override;
    QueuedNotify(const QueuedNotify&) = delete;
    QueuedNotify& operator=(const QueuedNotify&) = delete;

    void Post(int message, uintptr_t wparam, intptr_t lparam) override;

    bool is_open() const { return fd_ >= 0; }
    // Readable (for poll) while messages wait.
    int fd() const { return fd_; }
    // The oldest waiting message, if any.
    std::optional<Message> Take();

private:
    const int fd_;
    std::mutex mutex_;
    std::deque<Message> messages_;  // guarded by mutex_
};

}  // namespace kinoverd
