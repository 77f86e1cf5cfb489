// SPDX-License-Identifier: GPL-3.0-or-later
#include "resources/bitmap_resource.h"

// The artwork lives in a static library: nothing would pull its resource
// table into the program unless registered by name (outside any namespace,
// as the macro requires).
static void RegisterArtwork()
{
    Q_INIT_RESOURCE(kinoverd_artwork);
}

namespace kinoverd {

namespace {

QString ResourcePath(const QString& path)
{
    static const bool registered = (RegisterArtwork(), true);
    (void)registered;
    return QStringLiteral(":/") + path;
}

}  // namespace

QPixmap LoadBitmap(Bitmap bitmap) { return QPixmap(ResourcePath(BitmapPath(bitmap))); }

QIcon LoadProgramIcon()
{
    QIcon icon(ResourcePath(ProgramIconPath()));
    for (const int size : kSmallIconSizes)
        icon.addFile(ResourcePath(ProgramIconPath(size)), QSize(size, size));
    return icon;
}

}  // namespace kinoverd
