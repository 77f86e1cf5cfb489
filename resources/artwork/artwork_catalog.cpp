// SPDX-License-Identifier: GPL-3.0-or-later
#include "resources/artwork/artwork_catalog.h"

#include "resources/artwork/button_art.h"
#include "resources/artwork/emblem_art.h"
#include "resources/artwork/pane_art.h"
#include "resources/artwork/skin_art.h"
#include "resources/artwork/stage_art.h"

namespace kinoverd::artwork {

std::vector<DrawnPicture> DrawAllArtwork()
{
    std::vector<DrawnPicture> pictures = {
        {BitmapPath(Bitmap::MainSkin), QStringLiteral("main skin"), DrawMainSkin()},
        {BitmapPath(Bitmap::FileButton), QStringLiteral("文件 File"), DrawFrameStrip(QStringLiteral("文件"))},
        {BitmapPath(Bitmap::DiscButton), QStringLiteral("影碟 Disc"), DrawFrameStrip(QStringLiteral("影碟"))},
        {BitmapPath(Bitmap::ExitButton), QStringLiteral("退出 Exit"), DrawFrameStrip(QStringLiteral("退出"))},
        {BitmapPath(Bitmap::StopButton), QStringLiteral("停止 Stop"), DrawFrameStrip(QStringLiteral("停止"))},
        {BitmapPath(Bitmap::AboutButton), QStringLiteral("关于 About"), DrawFrameStrip(QStringLiteral("关于"))},
        {BitmapPath(Bitmap::ChannelButton), QStringLiteral("声道 Channel"),
         DrawFrameStrip(QStringLiteral("声道"))},
        {BitmapPath(Bitmap::FullScreenOff), QStringLiteral("full screen off"),
         DrawToggle(QStringLiteral("全屏"), false)},
        {BitmapPath(Bitmap::FullScreenOn), QStringLiteral("full screen on"),
         DrawToggle(QStringLiteral("全屏"), true)},
        {BitmapPath(Bitmap::LoopOff), QStringLiteral("loop off"),
         DrawToggle(QStringLiteral("循环"), false)},
        {BitmapPath(Bitmap::LoopOn), QStringLiteral("loop on"), DrawToggle(QStringLiteral("循环"), true)},
        {BitmapPath(Bitmap::SliderTexture), QStringLiteral("slider texture"), DrawSliderTexture()},
        {BitmapPath(Bitmap::StatusPane), QStringLiteral("status pane"), DrawStatusPane()},
        {BitmapPath(Bitmap::MediaPane), QStringLiteral("media-name pane"), DrawMediaPane()},
        {BitmapPath(Bitmap::VideoFrame), QStringLiteral("video window frame"), DrawVideoFrame()},
        {BitmapPath(Bitmap::IdlePicture), QStringLiteral("idle picture"), DrawIdlePicture()},
        {BitmapPath(Bitmap::LogoBanner), QStringLiteral("logo banner"), DrawLogoBanner()},
        {ProgramIconPath(), QStringLiteral("program icon"), DrawProgramIcon(256)},
    };
    for (const int size : kSmallIconSizes) {
        pictures.push_back({ProgramIconPath(size),
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
