// SPDX-License-Identifier: GPL-3.0-or-later
// A file's path as the system gave it: bytes, not text. A name need not be
// valid in the locale's encoding (a GBK name on a UTF-8 system, an old
// disc's), and text decoded from such bytes no longer names the file; so
// paths travel as bytes from the command line, drops and dialogs to the
// broadcaster, and are decoded only to be shown.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>

namespace kinoverd {

using MediaPath = QByteArray;
using MediaPaths = QList<MediaPath>;

// How a path is shown: decoded as far as the locale's encoding allows.
inline QString DisplayName(const MediaPath& path) { return QFile::decodeName(path); }

// Paths already held as text, in the file system's encoding.
inline MediaPaths EncodeNames(const QStringList& paths)
{
    MediaPaths encoded;
    for (const QString& path : paths) encoded << QFile::encodeName(path);
    return encoded;
}

}  // namespace kinoverd
