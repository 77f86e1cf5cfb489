// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/disc_images.h"

#include <QFile>

#include "disc/track_name.h"

namespace kinoverd {

QStringList ExpandDiscImages(const QStringList& paths)
{
    QStringList expanded;
    for (const QString& path : paths) {
        for (const std::string& name : ExpandDiscPath(QFile::encodeName(path).toStdString()))
            expanded << QFile::decodeName(QByteArray::fromStdString(name));
    }
    return expanded;
}

}  // namespace kinoverd
