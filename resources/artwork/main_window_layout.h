// SPDX-License-Identifier: GPL-3.0-or-later
// Where the main window's controls lie on its 484 x 120 skin, in pixels. The
// window's layout is in dialog units: 1.5 px across and 1.625 px down.
#pragma once

#include <QRect>

namespace kinoverd::artwork::layout {

constexpr QRect DialogRect(int x, int y, int width, int height)
{
    return QRect(x * 3 / 2, y * 13 / 8, width * 3 / 2, height * 13 / 8);
}

inline constexpr QSize kSkinSize{484, 120};
inline constexpr QRect kStatusPane = DialogRect(13, 3, 125, 37);
inline constexpr QSize kStatusPaneBitmap{188, 49};
inline constexpr QRect kMediaPane = DialogRect(143, 3, 163, 21);
inline constexpr QSize kMediaPaneBitmap{245, 31};
inline constexpr QRect kVolumeSlider = DialogRect(140, 27, 128, 14);
inline constexpr QRect kPositionSlider = DialogRect(9, 42, 300, 14);
inline constexpr QRect kChannelButton = DialogRect(273, 26, 29, 16);
inline constexpr QRect kLinkLabel = DialogRect(237, 61, 68, 10);
// File, Disc, Stop, Exit, About, Full screen, Loop: left to right.
inline constexpr int kButtonRowCount = 7;
inline constexpr QRect kButtonRow[kButtonRowCount] = {
    DialogRect(13, 57, 29, 16),  DialogRect(45, 57, 29, 16),  DialogRect(77, 57, 29, 16),
    DialogRect(109, 57, 29, 16), DialogRect(141, 57, 29, 16), DialogRect(173, 57, 29, 16),
    DialogRect(205, 57, 29, 16),
};

}  // namespace kinoverd::artwork::layout
