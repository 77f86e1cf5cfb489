// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/channel_watch.h"

#include "broadcast/broadcaster.h"
#include "broadcast/wire_format.h"

namespace kinoverd {

ChannelWatch::ChannelWatch() : reception_(wire::kBlockSize, kRingKib) {}

ChannelWatch::~ChannelWatch() { reception_.Stop(); }

bool ChannelWatch::Start(int channel, const Broadcaster& broadcaster)
{
    conflict_ = false;
    reception_.KeepToSender(broadcaster.sender_address());
    return reception_.Start(channel, this);
}

void ChannelWatch::Stop() { reception_.Stop(); }

std::optional<SenderAddress> ChannelWatch::TakeConflict()
{
    if (!conflict_.exchange(false)) return std::nullopt;
    std::lock_guard lock(mutex_);
    return other_;
}

void ChannelWatch::SenderConflict(SenderAddress other)
{
    {
        std::lock_guard lock(mutex_);
        other_ = other;
    }
    conflict_ = true;
}

}  // namespace kinoverd
