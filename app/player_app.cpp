#include "app/player_app.h"

#include <QCommandLineParser>
#include <QEventLoop>
#include <QFileInfo>
#include <QStringList>
#include <QTimer>

#include "app/exit_signals.h"
#include "app/player_dlg.h"

namespace kinoverd {

CPlayerApp::CPlayerApp(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("kinoverd"));
    setApplicationVersion(QStringLiteral(KINOVERD_VERSION));
    // Closing windows never ends the program; only Exit does.
    setQuitOnLastWindowClosed(false);
}

int CPlayerApp::Run()
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "胶片花园 (Kinoverd): plays MPEG files and Video CD tracks by broadcasting them\n"
        "on a free channel of the local network and playing the broadcast received back."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("files"),
                                 QStringLiteral("Files to play, in order, as if dropped on the window."),
                                 QStringLiteral("[FILE...]"));
    parser.process(*this);

    QStringList files;
    for (const QString& file : parser.positionalArguments()) files << QFileInfo(file).absoluteFilePath();

    CPlayerDlg main_window;
    main_window.show();
    QEventLoop loop;
    connect(&main_window, &CPlayerDlg::finished, &loop, &QEventLoop::quit);
    ExitSignals exit_signals;
    connect(&exit_signals, &ExitSignals::exitRequested, &main_window, &CPlayerDlg::OnExit);
    // Once the windows are up: finding a channel takes a while.
    if (!files.isEmpty()) QTimer::singleShot(0, &main_window, [&] { main_window.PlayDroppedFiles(files); });
    loop.exec();
    return 0;
}

}  // namespace kinoverd
