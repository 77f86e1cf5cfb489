// SPDX-License-Identifier: GPL-3.0-or-later
// The video window: a small cinema stage (velvet curtains, a valance with
// the brand plate, footlights) around the picture, and the picture shown in
// it while nothing plays.
#pragma once

#include <QImage>
#include <QRect>

namespace kinoverd::artwork {

// Where the picture sits inside the 485 x 360 frame.
inline constexpr QRect kVideoArea{54, 29, 377, 302};

QImage DrawVideoFrame();

// 377 x 302: the calm picture with the emblem and the product's name.
QImage DrawIdlePicture();

}  // namespace kinoverd::artwork
