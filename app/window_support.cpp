// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/window_support.h"

#include <QMimeData>
#include <QRect>
#include <QUrl>

namespace kinoverd {

QStringList LocalPaths(const QMimeData* data)
{
    QStringList paths;
    if (!data || !data->hasUrls()) return paths;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) paths << url.toLocalFile();
    }
    return paths;
}

}  // namespace kinoverd
