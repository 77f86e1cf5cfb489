#include "resources/artwork/artwork_catalog.h"

#include "resources/artwork/button_art.h"
#include "resources/artwork/emblem_art.h"
#include "resources/artwork/pane_art.h"
#include "resources/artwork/skin_art.h"
#include "resources/artwork/stage_art.h"

namespace kinoverd::artwork {

QString BitmapPath(int id)
{
    return QStringLiteral("bitmaps/%1.png").arg(id);
}

std::vector<DrawnPicture> DrawAllArtwork()
{
    std::vector<DrawnPicture> pictures = {
        {BitmapPath(185), QStringLiteral("185 main skin"), DrawMainSkin()},
        {BitmapPath(151), QStringLiteral("151 文件 File"), DrawFrameStrip(QStringLiteral("文件"))},
        {BitmapPath(176), QStringLiteral("176 影碟 Disc"), DrawFrameStrip(QStringLiteral("影碟"))},
        {BitmapPath(177), QStringLiteral("177 退出 Exit"), DrawFrameStrip(QStringLiteral("退出"))},
        {BitmapPath(143), QStringLiteral("143 停止 Stop"), DrawFrameStrip(QStringLiteral("停止"))},
        {BitmapPath(174), QStringLiteral("174 关于 About"), DrawFrameStrip(QStringLiteral("关于"))},
        {BitmapPath(175), QStringLiteral("175 声道 Channel"),
         DrawFrameStrip(QStringLiteral("声道"))},
        {BitmapPath(180), QStringLiteral("180 full screen off"),
         DrawToggle(QStringLiteral("全屏"), false)},
        {BitmapPath(181), QStringLiteral("181 full screen on"),
         DrawToggle(QStringLiteral("全屏"), true)},
        {BitmapPath(182), QStringLiteral("182 loop off"),
         DrawToggle(QStringLiteral("循环"), false)},
        {BitmapPath(183), QStringLiteral("183 loop on"), DrawToggle(QStringLiteral("循环"), true)},
        {BitmapPath(146), QStringLiteral("146 slider texture"), DrawSliderTexture()},
        {BitmapPath(171), QStringLiteral("171 status pane"), DrawStatusPane()},
        {BitmapPath(170), QStringLiteral("170 media-name pane"), DrawMediaPane()},
        {BitmapPath(139), QStringLiteral("139 video window frame"), DrawVideoFrame()},
        {BitmapPath(172), QStringLiteral("172 idle picture"), DrawIdlePicture()},
        {BitmapPath(161), QStringLiteral("161 logo banner"), DrawLogoBanner()},
        {QStringLiteral("icons/128.png"), QStringLiteral("128 icon"), DrawProgramIcon(256)},
    };
    for (const int size : kSmallIconSizes) {
        pictures.push_back({QStringLiteral("icons/128-%1.png").arg(size),
                            QStringLiteral("%1 px").arg(size), DrawProgramIcon(size)});
    }
    return pictures;
}

QImage FindPicture(const std::vector<DrawnPicture>& pictures, const QString& path)
{
    for (const DrawnPicture& picture : pictures) {
        if (picture.path == path)
            return picture.image;
    }
    return {};
}

}  // namespace kinoverd::artwork
