// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/exit_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>

namespace kinoverd {

namespace {

// Written by the handler, read by the notifier; one pair per process.
int signal_pipe[2] = {-1, -1};

void OnSignal(int signal_number)
{
    const int saved_errno = errno;
    const unsigned char byte = static_cast<unsigned char>(signal_number);
    [[maybe_unused]] const ssize_t written = write(signal_pipe[1], &byte, 1);
    errno = saved_errno;
}

}  // namespace

ExitSignals::ExitSignals(QObject* parent) : QObject(parent)
{
    if (signal_pipe[0] < 0 &&
        socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signal_pipe) != 0)
        return;
    notifier_ = new QSocketNotifier(signal_pipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &ExitSignals::Drain);
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

ExitSignals::~ExitSignals()
{
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
}

void ExitSignals::Drain()
{
    unsigned char byte = 0;
    while (read(signal_pipe[0], &byte, 1) == 1) emit exitRequested(byte);
}

}  // namespace kinoverd
