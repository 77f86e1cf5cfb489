// SPDX-License-Identifier: GPL-3.0-or-later
// What a broadcaster reports to its owner, by name.
#pragma once

namespace kinoverd {

class BroadcasterEvents {
public:
    virtual ~BroadcasterEvents() = default;
    // Called once on the send thread, right after the end packet went out.
    // It must return promptly and must not stop the broadcaster itself.
    virtual void BroadcastEnded() = 0;
    // Called once on the restart thread when a RestartAt is done: the
    // broadcast waits for Run, or failed to start (error() says why).
    virtual void BroadcastRestarted(bool started) { (void)started; }
};

}  // namespace kinoverd
