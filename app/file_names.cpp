// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/file_names.h"

#include <QFile>
#include <QFileInfo>

#include <filesystem>
#include <string>
#include <system_error>

namespace kinoverd {

namespace {

MediaPath AbsolutePath(const MediaPath& path)
{
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path.toStdString(), error);
    return error ? path : MediaPath::fromStdString(absolute.lexically_normal().native());
}

}  // namespace

std::optional<MediaPath> LocalFileOfUri(const QByteArray& uri)
{
    constexpr qsizetype kSchemeLength = 5;
    if (uri.left(kSchemeLength).toLower() != "file:") return std::nullopt;
    QByteArray rest = uri.mid(kSchemeLength);
    if (rest.startsWith("//")) {
        const qsizetype path_start = rest.indexOf('/', 2);
        if (path_start < 0) return std::nullopt;
        const QByteArray host = rest.mid(2, path_start - 2).toLower();
        if (!host.isEmpty() && host != "localhost") return std::nullopt;
        rest = rest.mid(path_start);
    }
    // A query or fragment is no part of the file's name (its own '#' and '?' are escaped).
    for (const char mark : {'?', '#'}) {
        if (const qsizetype at = rest.indexOf(mark); at >= 0) rest.truncate(at);
    }
    if (!rest.startsWith('/')) return std::nullopt;
    return QByteArray::fromPercentEncoding(rest);
}

MediaPaths LocalFilesOfUriList(const QByteArray& list)
{
    MediaPaths files;
    for (const QByteArray& line : list.split('\n')) {
        const QByteArray uri = line.trimmed();
        if (uri.isEmpty() || uri.startsWith('#')) continue;
        if (const std::optional<MediaPath> file = LocalFileOfUri(uri)) files << *file;
    }
    return files;
}

MediaPaths CommandLineFiles(const QStringList& names, int argc, const char* const* argv)
{
    // The parser's text was decoded from argv in order: each name is the
    // next argument that decodes to it.
    MediaPaths files;
    for (int i = 1; i < argc && files.size() < names.size(); ++i) {
        if (QFile::decodeName(argv[i]) != names[files.size()]) continue;
        const MediaPath given(argv[i]);
        files << AbsolutePath(LocalFileOfUri(given).value_or(given));
    }
    return files;
}

MediaPath ChosenFilePath(const QString& chosen)
{
    const MediaPath encoded = QFile::encodeName(chosen);
    std::error_code error;
    const QFileInfo shown(chosen);
    if (std::filesystem::exists(encoded.toStdString(), error) || shown.path() == chosen) return encoded;
    // The folder's own name may have been decoded too.
    const std::filesystem::path folder = ChosenFilePath(shown.path()).toStdString();
    for (auto entry = std::filesystem::directory_iterator(folder, error);
         !error && entry != std::filesystem::directory_iterator(); entry.increment(error)) {
        const std::string name = entry->path().filename().native();
        if (QFile::decodeName(name.c_str()) == shown.fileName())
            return MediaPath::fromStdString((folder / name).native());
    }
    return encoded;
}

}  // namespace kinoverd
