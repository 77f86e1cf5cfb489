// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/window_support.h"

#include <QMimeData>

#include "app/file_names.h"

namespace kinoverd {

// From the list's own bytes: QUrl would decode a name that is not valid
// text into one that names no file.
MediaPaths LocalPaths(const QMimeData* data)
{
    return data ? LocalFilesOfUriList(data->data(QStringLiteral("text/uri-list"))) : MediaPaths();
}

}  // namespace kinoverd
