// SPDX-License-Identifier: GPL-3.0-or-later
// kinoverd-screen-grab FILE.png: saves what the display ($DISPLAY or the
// Wayland compositor) shows on its primary screen. The demo uses it to
// picture the player running on a virtual X server.
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <cstdio>

int main(int argc, char** argv)
{
    QGuiApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: kinoverd-screen-grab FILE.png\n");
        return 2;
    }
    QScreen* screen = QGuiApplication::primaryScreen();
    const QPixmap picture = screen ? screen->grabWindow(0) : QPixmap();
    if (picture.isNull() || !picture.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "kinoverd-screen-grab: cannot grab the screen into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
