// SPDX-License-Identifier: GPL-3.0-or-later
// The application: reads the command line, runs the main window until the
// user exits, and plays the files named on the command line as if they had
// been dropped on the window.
#pragma once

#include <QApplication>
#include <QTranslator>

namespace kinoverd {

class PlayerApp : public QApplication {
public:
    PlayerApp(int& argc, char** argv);

    // Runs the main window until Exit; the process's exit status. --help and
    // --version print their text and end the process with status 0.
    int Run();

private:
    QTranslator qt_translator_;
    // The arguments as the system gave them, once Qt has taken its own:
    // file names are bytes that text may not hold.
    int& argc_;
    char** argv_;
};

}  // namespace kinoverd
