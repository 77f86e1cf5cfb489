// SPDX-License-Identifier: GPL-3.0-or-later
// An event that stays signalled until it is reset. Waiters arm the wait by
// resetting, re-test their condition, then wait, so no signal is missed.
#pragma once

#include <condition_variable>
#include <mutex>

namespace kinoverd {

class ManualResetEvent {
public:
    void Set();
    void Reset();
    void Wait();

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool signalled_ = false;  // guarded by mutex_
};

}  // namespace kinoverd
