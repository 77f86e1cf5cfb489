#include "resources/bitmap_resource.h"

#include <QFile>
#include <QString>

// The artwork lives in a static library: nothing would pull its resource
// table into the program unless registered by name (outside any namespace,
// as the macro requires).
static void RegisterArtwork()
{
    Q_INIT_RESOURCE(kinoverd_artwork);
}

namespace kinoverd {

namespace {

constexpr int kIconSizes[] = {16, 32, 48, 64};

void EnsureArtworkRegistered()
{
    static const bool registered = (RegisterArtwork(), true);
    (void)registered;
}

}  // namespace

QPixmap LoadBitmapResource(int id)
{
    EnsureArtworkRegistered();
    const QString path = QStringLiteral(":/bitmaps/%1.png").arg(id);
    if (!QFile::exists(path))
        return {};
    return QPixmap(path);
}

QIcon LoadIconResource(int id)
{
    EnsureArtworkRegistered();
    const QString largest = QStringLiteral(":/icons/%1.png").arg(id);
    if (!QFile::exists(largest))
        return {};
    QIcon icon(largest);
    for (const int size : kIconSizes) {
        const QString path = QStringLiteral(":/icons/%1-%2.png").arg(id).arg(size);
        if (QFile::exists(path))
            icon.addFile(path, QSize(size, size));
    }
    return icon;
}

}  // namespace kinoverd
