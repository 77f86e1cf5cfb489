// SPDX-License-Identifier: GPL-3.0-or-later
// Polls a condition that another thread makes true.
#pragma once

#include <chrono>
#include <thread>

namespace kinoverd::test {

// True as soon as `predicate()` holds; false once `timeout` has passed.
template <typename Predicate>
bool WaitUntil(Predicate predicate, std::chrono::milliseconds timeout = std::chrono::seconds(5))
{
    const auto give_up = std::chrono::steady_clock::now() + timeout;
    while (!predicate()) {
        if (std::chrono::steady_clock::now() > give_up) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace kinoverd::test
