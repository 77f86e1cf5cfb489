// SPDX-License-Identifier: GPL-3.0-or-later
// SIGINT and SIGTERM for a command-line tool, taken from a descriptor in its
// main loop instead of a handler. Construct before any thread starts, so
// every thread inherits the blocked mask.
#pragma once

#include <optional>

namespace kinoverd {

class StopSignals {
public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    bool is_open() const { return fd_ >= 0; }
    // Readable (for poll) while a stopping signal is pending.
    int fd() const { return fd_; }
    // The pending signal's number, if one is pending.
    std::optional<int> Take() const;

private:
    int fd_ = -1;
};

}  // namespace kinoverd
