// SPDX-License-Identifier: GPL-3.0-or-later
// The two glass information panes of the main window and the parchment
// texture of the sliders.
#pragma once

#include <QImage>

namespace kinoverd::artwork {

// 188 x 49: dark green glass for the large green status word.
QImage DrawStatusPane();

// 245 x 31: dark teal glass for the media name.
QImage DrawMediaPane();

// 200 x 14: warm parchment for the slider channels.
QImage DrawSliderTexture();

}  // namespace kinoverd::artwork
