// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/player_app.h"

#include <QCommandLineParser>
#include <QEventLoop>
#include <QLibraryInfo>
#include <QTimer>

#include <cstdio>
#include <optional>

#include "app/exit_signals.h"
#include "app/file_names.h"
#include "app/main_window.h"
#include "broadcast/wire_format.h"
#include "station/station.h"

namespace kinoverd {

PlayerApp::PlayerApp(int& argc, char** argv) : QApplication(argc, argv), argc_(argc), argv_(argv)
{
    setApplicationName(QStringLiteral("kinoverd"));
    setApplicationVersion(QStringLiteral(KINOVERD_VERSION));
    // Closing windows never ends the program; only Exit does.
    setQuitOnLastWindowClosed(false);
    // The program speaks Chinese whatever the desktop's language: so do
    // Qt's own dialogs and buttons, where the translations are installed.
    if (qt_translator_.load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                            QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        installTranslator(&qt_translator_);
}

int PlayerApp::Run()
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "胶片花园 (Kinoverd): plays MPEG files and Video CD tracks by broadcasting them\n"
        "on a free channel of the local network and playing the broadcast received back."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption watch(QStringLiteral("watch"),
                                   QStringLiteral("Watch what another station broadcasts on channel N (0 to 3)."),
                                   QStringLiteral("N"));
    parser.addOption(watch);
    parser.addPositionalArgument(QStringLiteral("files"),
                                 QStringLiteral("Files to play, in order, as if dropped on the window."),
                                 QStringLiteral("[FILE...]"));
    parser.process(*this);
    std::optional<int> watched;
    if (parser.isSet(watch)) {
        bool number = false;
        const int channel = parser.value(watch).toInt(&number);
        if (!number || channel < wire::kFirstChannel || channel > wire::kLastChannel) {
            std::fprintf(stderr, "kinoverd: --watch takes a channel from %d to %d, not '%s'\n",
                         wire::kFirstChannel, wire::kLastChannel, qPrintable(parser.value(watch)));
            return 2;
        }
        watched = channel;
    }

    const MediaPaths files = CommandLineFiles(parser.positionalArguments(), argc_, argv_);

    Station station;
    MainWindow main_window(station);
    main_window.show();
    QEventLoop loop;
    connect(&main_window, &MainWindow::finished, &loop, &QEventLoop::quit);
    ExitSignals exit_signals;
    connect(&exit_signals, &ExitSignals::exitRequested, &main_window, &MainWindow::Exit);
    // Once the windows are up: finding a channel takes a while.
    if (!files.isEmpty()) QTimer::singleShot(0, &main_window, [&] { main_window.PlayFiles(files); });
    if (watched) QTimer::singleShot(0, &station, [&] { station.Watch(*watched); });
    loop.exec();
    return 0;
}

}  // namespace kinoverd
