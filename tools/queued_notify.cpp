#include "tools/queued_notify.h"

#include <sys/eventfd.h>
#include <unistd.h>

namespace kinoverd {

QueuedNotify::QueuedNotify() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

QueuedNotify::~QueuedNotify()
{
    if (fd_ >= 0) close(fd_);
}

void QueuedNotify::Post(int message, uintptr_t wparam, intptr_t)
{
    {
        std::lock_guard lock(mutex_);
        messages_.push_back({message, wparam});
    }
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(fd_, &one, sizeof one);
}

std::optional<QueuedNotify::Message> QueuedNotify::Take()
{
    std::lock_guard lock(mutex_);
    if (messages_.empty()) {
        // Drained: clear the wakeup. A Post after this point sets it again.
        uint64_t count = 0;
        [[maybe_unused]] const ssize_t got = read(fd_, &count, sizeof count);
        return std::nullopt;
    }
    const Message message = messages_.front();
    messages_.pop_front();
    return message;
}

}  // namespace kinoverd
