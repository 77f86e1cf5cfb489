// SPDX-License-Identifier: GPL-3.0-or-later
// The player's pictures by what they show, and where each lies in the
// resources. The artwork generator draws them to these paths and the
// program loads them from there (resources/bitmap_resource.h).
#pragma once

#include <QString>

namespace kinoverd {

enum class Bitmap {
    MainSkin,       // 484 x 120, the main window's background
    FileButton,     // frame strips of the push buttons: four 44 x 24 frames
    DiscButton,
    ExitButton,
    StopButton,
    AboutButton,
    ChannelButton,
    FullScreenOff,  // the toggles' faces, 44 x 24
    FullScreenOn,
    LoopOff,
    LoopOn,
    SliderTexture,  // 200 x 14, the sliders' channel and thumb
    StatusPane,     // 188 x 49
    MediaPane,      // 245 x 31
    VideoFrame,     // 485 x 360, the video window's skin
    IdlePicture,    // 377 x 302, the video area while nothing plays
    LogoBanner,     // 300 x 41, in the about box's credits
};

// "bitmaps/<name>.png", relative to the resources' root.
inline QString BitmapPath(Bitmap bitmap)
{
    const char* name = "";
    switch (bitmap) {
    case Bitmap::MainSkin: name = "main_skin"; break;
    case Bitmap::FileButton: name = "file_button"; break;
    case Bitmap::DiscButton: name = "disc_button"; break;
    case Bitmap::ExitButton: name = "exit_button"; break;
    case Bitmap::StopButton: name = "stop_button"; break;
    case Bitmap::AboutButton: name = "about_button"; break;
    case Bitmap::ChannelButton: name = "channel_button"; break;
    case Bitmap::FullScreenOff: name = "full_screen_off"; break;
    case Bitmap::FullScreenOn: name = "full_screen_on"; break;
    case Bitmap::LoopOff: name = "loop_off"; break;
    case Bitmap::LoopOn: name = "loop_on"; break;
    case Bitmap::SliderTexture: name = "slider_texture"; break;
    case Bitmap::StatusPane: name = "status_pane"; break;
    case Bitmap::MediaPane: name = "media_pane"; break;
    case Bitmap::VideoFrame: name = "video_frame"; break;
    case Bitmap::IdlePicture: name = "idle_picture"; break;
    case Bitmap::LogoBanner: name = "logo_banner"; break;
    }
    return QStringLiteral("bitmaps/%1.png").arg(QLatin1String(name));
}

// The program icon: 256 pixels square at ProgramIconPath(), and each of
// these smaller sizes at ProgramIconPath(size).
inline constexpr int kSmallIconSizes[] = {16, 32, 48, 64};

inline QString ProgramIconPath() { return QStringLiteral("icons/kinoverd.png"); }
inline QString ProgramIconPath(int size) { return QStringLiteral("icons/kinoverd-%1.png").arg(size); }

}  // namespace kinoverd
