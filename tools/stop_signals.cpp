// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/stop_signals.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace kinoverd {

StopSignals::StopSignals()
{
    sigset_t stopping;
    sigemptyset(&stopping);
    sigaddset(&stopping, SIGINT);
    sigaddset(&stopping, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopping, nullptr);
    fd_ = signalfd(-1, &stopping, SFD_CLOEXEC | SFD_NONBLOCK);
}

StopSignals::~StopSignals()
{
    if (fd_ >= 0) close(fd_);
}

std::optional<int> StopSignals::Take() const
{
    signalfd_siginfo info{};
    if (read(fd_, &info, sizeof info) != ssize_t(sizeof info)) return std::nullopt;
    return int(info.ssi_signo);
}

}  // namespace kinoverd
