// SPDX-License-Identifier: GPL-3.0-or-later
// SIGINT and SIGTERM end the player the way its Exit button does, so that a
// session logout or Ctrl-C in a terminal still sends the broadcast's close
// packets. The handler only writes to a pipe; the user-interface thread reads
// it through a socket notifier. No signal is blocked, so programs the player
// launches (the web browser) get the default dispositions back on exec.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace kinoverd {

class ExitSignals : public QObject {
    Q_OBJECT

public:
    explicit ExitSignals(QObject* parent = nullptr);
    ~ExitSignals() override;

signals:
    void exitRequested(int signal_number);

private:
    void Drain();

    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace kinoverd
