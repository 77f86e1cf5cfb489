// SPDX-License-Identifier: GPL-3.0-or-later
// Draws the player's artwork into a folder, with the .qrc that lists it:
//   kinoverd-artwork OUTPUT_DIR [--contact-sheet FILE]
// Fonts are read from fixed files so the bytes are the same on every build.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSaveFile>
#include <QTextStream>

#include <cstdio>

#include "resources/artwork/art_kit.h"
#include "resources/artwork/artwork_catalog.h"
#include "resources/artwork/contact_sheet.h"

namespace {

using kinoverd::artwork::DrawnPicture;

bool SavePng(const QImage& image, const QString& file)
{
    if (!QDir().mkpath(QFileInfo(file).absolutePath()))
        return false;
    return image.save(file, "PNG");
}

bool WriteQrc(const std::vector<DrawnPicture>& pictures, const QString& file)
{
    QSaveFile qrc(file);
    if (!qrc.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    QTextStream out(&qrc);
    out << "<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n<qresource prefix=\"/\">\n";
    for (const DrawnPicture& picture : pictures)
        out << "    <file>" << picture.path << "</file>\n";
    out << "</qresource>\n</RCC>\n";
    out.flush();
    return qrc.commit();
}

int Usage()
{
    std::fprintf(stderr, "usage: kinoverd-artwork OUTPUT_DIR [--contact-sheet FILE]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    // Nothing is shown; the fonts need a GUI application all the same.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const QStringList arguments = application.arguments().mid(1);
    if (arguments.size() != 1 && !(arguments.size() == 3 && arguments[1] == "--contact-sheet"))
        return Usage();
    const QDir output(arguments[0]);

    if (!kinoverd::artwork::LoadArtFonts(QStringLiteral(KINOVERD_CJK_FONT_FILE),
                                         QStringLiteral(KINOVERD_SERIF_FONT_FILE))) {
        std::fprintf(stderr, "kinoverd-artwork: cannot load %s or %s\n", KINOVERD_CJK_FONT_FILE,
                     KINOVERD_SERIF_FONT_FILE);
        return 1;
    }

    const std::vector<DrawnPicture> pictures = kinoverd::artwork::DrawAllArtwork();
    for (const DrawnPicture& picture : pictures) {
        if (!SavePng(picture.image, output.filePath(picture.path))) {
            std::fprintf(stderr, "kinoverd-artwork: cannot write %s\n",
                         qPrintable(output.filePath(picture.path)));
            return 1;
        }
    }
    // The icon again under the name the installed desktop entry uses.
    const QImage icon = kinoverd::artwork::FindPicture(pictures, kinoverd::ProgramIconPath());
    if (!SavePng(icon, output.filePath(QStringLiteral("kinoverd.png"))) ||
        !WriteQrc(pictures, output.filePath(QStringLiteral("artwork.qrc")))) {
        std::fprintf(stderr, "kinoverd-artwork: cannot write into %s\n", qPrintable(output.path()));
        return 1;
    }
    if (arguments.size() == 3 &&
        !SavePng(kinoverd::artwork::DrawContactSheet(pictures), arguments[2])) {
        std::fprintf(stderr, "kinoverd-artwork: cannot write %s\n", qPrintable(arguments[2]));
        return 1;
    }
    return 0;
}
