// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <thread>

extern char** environ;

namespace kinoverd::test {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const std::string& directory)
{
    int out[2];
    int err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return;
    out_fd_ = out[0];
    err_fd_ = err[0];
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    if (!directory.empty()) posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());

    std::vector<std::string> words = {program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
}

ChildProcess::~ChildProcess()
{
    if (pid_ > 0 && !status_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (out_fd_ >= 0) close(out_fd_);
    if (err_fd_ >= 0) close(err_fd_);
}

std::optional<int> ChildProcess::WaitForExit(std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (!status_ && Clock::now() < deadline) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
            break;
        }
        Pump(20);
    }
    if (status_) {
        while (out_fd_ >= 0 || err_fd_ >= 0) Pump(-1);  // everything it wrote
    }
    return status_;
}

bool ChildProcess::WaitForOutput(const std::string& text, std::chrono::milliseconds timeout)
{
    return WaitForText(text, out_, timeout);
}

bool ChildProcess::WaitForError(const std::string& text, std::chrono::milliseconds timeout)
{
    return WaitForText(text, err_, timeout);
}

bool ChildProcess::WaitForText(const std::string& text, const std::string& stream,
                               std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (stream.find(text) == std::string::npos) {
        if (Clock::now() >= deadline || (out_fd_ < 0 && err_fd_ < 0)) return false;
        Pump(20);
    }
    return true;
}

void ChildProcess::Signal(int signal_number) const { kill(pid_, signal_number); }

bool ChildProcess::WaitUntilSignalsAreBlocked(std::chrono::milliseconds timeout) const
{
    const uint64_t wanted = 1ull << (SIGINT - 1) | 1ull << (SIGTERM - 1);
    const auto deadline = Clock::now() + timeout;
    do {
        std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("SigBlk:", 0) == 0 && (std::stoull(line.substr(7), nullptr, 16) & wanted) == wanted) {
                return true;
            }
        }
        std::this_thread::sleep_for(10ms);
    } while (Clock::now() < deadline);
    return false;
}

void ChildProcess::Pump(int timeout_ms)
{
    pollfd fds[] = {{out_fd_, POLLIN, 0}, {err_fd_, POLLIN, 0}};
    if (poll(fds, 2, timeout_ms) <= 0) return;
    int* fd_of[] = {&out_fd_, &err_fd_};
    std::string* text_of[] = {&out_, &err_};
    for (int i = 0; i < 2; ++i) {
        if (!fds[i].revents) continue;
        char buffer[4096];
        const ssize_t got = read(*fd_of[i], buffer, sizeof buffer);
        if (got > 0) {
            text_of[i]->append(buffer, size_t(got));
        } else {
            close(*fd_of[i]);
            *fd_of[i] = -1;
        }
    }
}

}  // namespace kinoverd::test
