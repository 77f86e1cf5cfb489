// SPDX-License-Identifier: GPL-3.0-or-later
// A command-line program run from a test as a user would run it, with its
// standard output and error collected and standard input from /dev/null.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace kinoverd::test {

class ChildProcess {
public:
    ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                 const std::string& directory = "");
    // Kills a program still running.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }

    // The exit code (minus the signal number when a signal killed it), or
    // empty when it is still running after `timeout`.
    std::optional<int> WaitForExit(std::chrono::milliseconds timeout);

    // True as soon as standard output holds `text`; false after `timeout`.
    bool WaitForOutput(const std::string& text, std::chrono::milliseconds timeout);
    // The same for standard error.
    bool WaitForError(const std::string& text, std::chrono::milliseconds timeout);

    void Signal(int signal_number) const;

    // True once the program blocks SIGINT and SIGTERM to take them itself;
    // false after `timeout`.
    bool WaitUntilSignalsAreBlocked(std::chrono::milliseconds timeout) const;

    const std::string& out() const { return out_; }
    const std::string& err() const { return err_; }

private:
    bool WaitForText(const std::string& text, const std::string& stream, std::chrono::milliseconds timeout);
    // Moves whatever the pipes hold into out_ and err_; a pipe at its end is closed.
    void Pump(int timeout_ms);

    pid_t pid_ = -1;
    int out_fd_ = -1;
    int err_fd_ = -1;
    std::string out_;
    std::string err_;
    std::optional<int> status_;
};

}  // namespace kinoverd::test
