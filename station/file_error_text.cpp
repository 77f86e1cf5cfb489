// SPDX-License-Identifier: GPL-3.0-or-later
#include "station/file_error_text.h"

#include <QRegularExpression>

#include <cerrno>
#include <cstring>
#include <utility>

#include "broadcast/broadcaster.h"
#include "broadcast/media_stream_file.h"

namespace kinoverd {

namespace {

// What the system's error texts say, by error number. The reasons carry
// strerror()'s words, in whatever language the C library speaks here.
QString SystemErrorText(const QString& words)
{
    static const std::pair<int, const char*> kPhrases[] = {
        {ENOENT, "文件不存在"},
        {EACCES, "没有读取的权限"},
        {EPERM, "不允许这样操作"},
        {EISDIR, "这是一个文件夹"},
        {ENOTDIR, "路径中有一段不是文件夹"},
        {ELOOP, "符号链接层数太多"},
        {ENAMETOOLONG, "文件名太长"},
        {EMFILE, "打开的文件太多"},
        {ENFILE, "系统打开的文件太多"},
        {ENOMEM, "内存不足"},
        {EIO, "读盘出错"},
        {ENXIO, "设备不存在"},
        {ENODEV, "没有这个设备"},
        {ENOMEDIUM, "驱动器里没有光盘"},
        {EBUSY, "设备正忙"},
        {EOVERFLOW, "文件太大"},
        {ESTALE, "网络文件已经失效"},
        {ETIMEDOUT, "等待超时"},
    };
    for (const auto& [number, phrase] : kPhrases)
        if (words == QString::fromLocal8Bit(std::strerror(number))) return QString::fromUtf8(phrase);
    return words;
}

// Each reason's pattern, and its Chinese with the pattern's numbers in
// place of %1, %2, %3. A trailing "(...)" holds the disc libraries' own
// words, which are dropped. "%E" takes the system's error text.
struct Phrase {
    const char* pattern;
    const char* chinese;
};

constexpr Phrase kPhrases[] = {
    {"cannot open: (.+)", "无法打开: %E"},
    {"cannot read: (.+)", "无法读取: %E"},
    {"not a regular file", "不是普通文件"},
    {"file is 4 GiB or larger", "文件太大 (4 GiB 或更大)"},
    {"track is 4 GiB or larger", "音轨太大 (4 GiB 或更大)"},
    {"the stream does not begin in a sector's user data", "流的开头不在扇区的用户数据里"},
    {"nothing to broadcast: the stream is empty", "文件是空的, 没有可以广播的内容"},
    {"unsupported block size", "不支持这个块大小"},
    {"cannot open a multicast socket with time-to-live 1", "无法打开组播套接字"},
    {"the file shrank to (\\d+) bytes while it was being broadcast", "广播时文件缩小到了 %1 字节"},
    {"read past the end of the track", "读取超出了音轨的末尾"},
    {"not a track name", "不是影碟音轨的名字"},
    {"the Video CD has no track (\\d+), only tracks 1 to (\\d+)", "影碟没有第 %1 轨, 只有第 1 到第 %2 轨"},
    {"the Video CD has no MPEG tracks", "影碟上没有 MPEG 音轨"},
    {"not a Video CD( \\(.*\\))?", "不是影碟"},
    {"not a disc image or drive that can be read( \\(.*\\))?", "不是可以读取的光盘映像或光驱"},
    {"track (\\d+) cannot be located on the disc( \\(.*\\))?", "在光盘上找不到第 %1 轨"},
    {"the disc ends at sector (\\d+), inside track (\\d+) .*",
     "光盘在第 %1 扇区就结束了, 在第 %2 轨的中间: 映像是否不完整?"},
    {"cannot read sectors (\\d+) to (\\d+): sector (\\d+) holds no Mode 2 Form 2 data.*",
     "无法读取第 %1 到第 %2 扇区: 第 %3 扇区没有 Mode 2 Form 2 数据 (映像是否不完整?)"},
    {"cannot read sectors (\\d+) to (\\d+)( \\(.*\\))?", "无法读取第 %1 到第 %2 扇区"},
};

QString ChineseReason(const QString& reason)
{
    if (reason == QLatin1String(MediaStreamFile::kNoPackText))
        return QStringLiteral("前 512 KiB 里没有 MPEG 包起始码: 不是 MPEG 系统流, 也不是影碟音轨");
    for (const Phrase& phrase : kPhrases) {
        const QRegularExpression pattern(QRegularExpression::anchoredPattern(QLatin1String(phrase.pattern)));
        const QRegularExpressionMatch match = pattern.match(reason);
        if (!match.hasMatch()) continue;
        QString text = QString::fromUtf8(phrase.chinese);
        if (text.contains(QLatin1String("%E")))
            return text.replace(QLatin1String("%E"), SystemErrorText(match.captured(1)));
        for (int i = 1; i <= pattern.captureCount(); ++i)
            text.replace(QLatin1Char('%') + QString::number(i), match.captured(i));
        return text;
    }
    return reason;
}

}  // namespace

QString FileErrorText(const std::string& reason)
{
    return QString::fromLatin1(Broadcaster::kFileErrorText) + QLatin1Char('\n') +
           ChineseReason(QString::fromStdString(reason));
}

}  // namespace kinoverd
