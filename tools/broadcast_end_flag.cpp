// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/broadcast_end_flag.h"

#include <sys/eventfd.h>
#include <unistd.h>

namespace kinoverd {

BroadcastEndFlag::BroadcastEndFlag() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

BroadcastEndFlag::~BroadcastEndFlag()
{
    if (fd_ >= 0) close(fd_);
}

void BroadcastEndFlag::BroadcastEnded()
{
    ended_ = true;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(fd_, &one, sizeof one);
}

bool BroadcastEndFlag::Take()
{
    uint64_t count = 0;
    [[maybe_unused]] const ssize_t got = read(fd_, &count, sizeof count);
    return ended_.exchange(false);
}

}  // namespace kinoverd
