// SPDX-License-Identifier: GPL-3.0-or-later
// The files the user names, as the paths the system knows them by
// (station/media_path.h): the local files of a dropped URI list, the files
// of the command line, and those the file dialog chose.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

#include "station/media_path.h"

namespace kinoverd {

// The local file a URI names ("file:///a/b%20c.mpg", "file://localhost/..."),
// its escapes decoded to the name's bytes; none for any other URI.
std::optional<MediaPath> LocalFileOfUri(const QByteArray& uri);

// The local files of a text/uri-list, in its order.
MediaPaths LocalFilesOfUriList(const QByteArray& list);

// The command line's files, made absolute: `names` as the parser read them,
// each taken from `argv` as the system gave it; a file URI stands for its
// local file.
MediaPaths CommandLineFiles(const QStringList& names, int argc, const char* const* argv);

// A path the file dialog chose. The dialog lists names as text, and a name
// not valid in the locale's encoding no longer names its file once decoded:
// such a path is the entry of its folder that is shown as it is.
MediaPath ChosenFilePath(const QString& chosen);

}  // namespace kinoverd
